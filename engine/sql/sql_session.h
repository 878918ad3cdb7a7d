// Local SQL over the open directory: SQLite executes the statements, every table of the
// directory is a virtual table over the engine's cursors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/value.h"

namespace tablorix {

namespace sql {
struct Connection;
struct StatementHandle;
}  // namespace sql

// Rows of a SELECT, fetched one step at a time. Text values are Windows-1250; dates and times
// come back as SQLite sees them (ISO text), logical fields as 0/1.
class SqlResult {
 public:
  explicit SqlResult(std::shared_ptr<sql::StatementHandle> h);
  ~SqlResult();
  const std::vector<std::string>& column_names() const { return names_; }  // Windows-1250
  // Moves to the next row; false after the last one. Throws EngineError on a failing step.
  bool Next();
  const std::vector<Value>& row() const { return row_; }
  // The field of a table of the directory that column `i` comes straight from (not computed);
  // false for other columns. The field keeps its name in the table.
  bool SourceField(int i, TFieldDef* field) const;

 private:
  std::shared_ptr<sql::StatementHandle> h_;
  std::vector<std::string> names_;
  std::vector<Value> row_;
  bool done_ = false;
};

class SqlStatement {
 public:
  explicit SqlStatement(std::shared_ptr<sql::StatementHandle> h);
  ~SqlStatement();
  // Names of the named parameters without their ':' in order of first appearance (Windows-1250).
  const std::vector<std::string>& param_names() const { return params_; }
  // `name` with or without ':', case-insensitively; throws EngineError for an unknown name.
  void SetParam(const std::string& name, const Value& value);
  // Runs the statement again from the start with the parameters set so far. The result reads
  // through this statement: run the statement again only after the result is done with.
  // A CREATE, DROP or ALTER statement is carried out here and gives an empty result.
  std::unique_ptr<SqlResult> Query();
  // Runs the statement to its end; the rows it inserted, changed or deleted.
  int64_t Exec();

 private:
  std::shared_ptr<sql::StatementHandle> h_;
  std::vector<std::string> params_;
};

// One in-memory SQLite connection over a session's open directory. Each table of the directory
// is reachable as NAME and "NAME.DB" (quoted), in any letter case.
//
// Rows of a virtual table carry a rowid that names the row's identity: its key values in a
// keyed table, all its values in an unkeyed one. UPDATE and DELETE find the row again by that
// identity through a writable cursor, so rows that moved since the scan (key order, deletes
// before them) are still found. Each changed row is posted at once: a statement that fails half
// way keeps the rows it already changed.
class SqlSession {
 public:
  // The session must stay open (on the same directory) while this object lives.
  explicit SqlSession(Session& session);
  ~SqlSession();
  SqlSession(const SqlSession&) = delete;
  SqlSession& operator=(const SqlSession&) = delete;

  // Recreates the virtual tables after tables were created or deleted in the directory.
  void Refresh();
  // `sql` in Windows-1250. Throws EngineError with SQLite's message and, where SQLite knows the
  // place, "Line Number: N" counted in `sql`. CREATE TABLE, CREATE INDEX, DROP and ALTER TABLE
  // are read by the engine (engine/sql/ddl.h) and change the directory's tables when run; the
  // virtual tables are recreated after each.
  std::unique_ptr<SqlStatement> Prepare(const std::string& sql);

 private:
  std::shared_ptr<sql::Connection> conn_;
};

}  // namespace tablorix
