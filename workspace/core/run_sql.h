// Running the text of an SQL window: a SELECT opens a result, anything else is cut at ";" and
// run statement by statement, with a prompt for each parameter. The windows supply the host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/sql/sql_session.h"

namespace tablorix::workspace {

// What RunSql needs from the window it runs for. Texts are Windows-1250.
class RunSqlHost {
 public:
  virtual ~RunSqlHost() = default;
  // The one-line input dialog; true for OK. `value` holds what was entered in either case.
  virtual bool InputText(const std::string& caption, const std::string& prompt,
                         std::string* value) = 0;
  virtual void ShowError(const std::string& text) = 0;
  virtual void ShowInfo(const std::string& text) = 0;
  // The window's caption after an error: the line number the engine reported.
  virtual void SetCaption(const std::string& text) = 0;
  // A SELECT: show its rows. May throw EngineError while it reads the first rows.
  virtual void OpenResult(std::unique_ptr<SqlStatement> statement) = 0;
  // The statements may have created or dropped tables.
  virtual void RefreshLists() = 0;
};

inline constexpr char kParamCaption[] = "Add param value";

// Blanks and control characters trimmed at both ends.
std::string TrimText(const std::string& text);

// True when the first six characters of the trimmed text spell SELECT in any case.
bool IsSelectText(const std::string& text);

// The statements of `text`: everything before each ";" (the ";" dropped), in order. A ";" in a
// quoted string or a comment ends a statement too; `rest` gets what follows the last ";",
// which is not run.
std::vector<std::string> CutStatements(const std::string& text, std::string* rest = nullptr);

// The line number in an engine message: the message from the first `marker` on (all of it when
// the marker is missing), less its first 13 characters, trimmed, read as an integer. Throws
// EngineError when no integer is left.
int ErrorLineNumber(const std::string& message, const std::string& marker);

// Where the engine's messages carry the line number ("Line Number: N").
inline constexpr char kLineMarker[] = "Line Number:";

// True when the statement holds nothing to run (blanks and comments only).
bool IsEmptyStatement(const std::string& statement);

// Runs one statement that is not a SELECT as RunSql runs each statement of a script: prompts
// for its parameters, executes it, and returns the rows it affected. Throws EngineError.
int64_t RunStatement(SqlSession& sql, const std::string& statement, RunSqlHost& host);

// The message after statements ran, the rows count being that of the last one.
std::string DoneMessage(int64_t rows);

// Shows an engine error as RunSql does: the "SQL error:" box, then the line number into the
// caption when the message carries one.
void ReportSqlError(RunSqlHost& host, const std::string& message);

// Runs `text` for `host` as described above. Errors end the run through host.ShowError; the
// statements already run stay done.
void RunSql(SqlSession& sql, const std::string& text, RunSqlHost& host);

}  // namespace tablorix::workspace
