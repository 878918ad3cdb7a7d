// The whole-database script: every table's CREATE TABLE script, optionally followed by its rows
// as INSERT statements, in the engine's SQL or in MySQL's.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "engine/format_settings.h"
#include "engine/session.h"
#include "scripts/core/script_templates.h"

namespace tablorix::scripts {

// Rows per INSERT statement of the MySQL flavour (the first statement holds one row less).
inline constexpr int kMySqlBatchRows = 50;

// The rows of `table` as INSERT statements, appended to `out`; nothing for a table without
// rows. Values are taken as the dataset layer shows them in `settings`' formats.
//   engine flavour: one statement per row, null fields left out;
//   MySQL flavour:  statements of up to 50 rows, nulls written as null.
// Throws EngineError when the table cannot be opened or read; the table is closed either way.
void AppendTableDataScript(Session& session, const std::string& table, SqlFlavour flavour,
                           const FormatSettings& settings, std::string* out);
std::string TableDataScript(Session& session, const std::string& table, SqlFlavour flavour,
                            const FormatSettings& settings);

// Every table of the session's directory in DbListTables order: its CREATE TABLE script and,
// with `with_data`, its data script, each part followed by an empty line. An error at any
// table throws and leaves nothing.
std::string DatabaseScript(Session& session, SqlFlavour flavour, bool with_data,
                           const FormatSettings& settings);

// The same text, asking `go_on` before each table (tables done so far, how many in all, the next
// one's name) and once more at the end (its name empty); false from it stops the run and gives
// no text. For callers that show progress.
using ScriptProgress =
    std::function<bool(size_t done, size_t total, const std::string& next_table)>;
std::optional<std::string> DatabaseScript(Session& session, SqlFlavour flavour, bool with_data,
                                          const FormatSettings& settings,
                                          const ScriptProgress& go_on);

}  // namespace tablorix::scripts
