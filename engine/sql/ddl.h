// Data definition statements of local SQL: CREATE TABLE, CREATE INDEX, DROP TABLE, DROP INDEX
// and ALTER TABLE. SQLite cannot make or remove the tables of the directory, so these are read
// here and carried out by the session's operations on closed tables.
#pragma once

#include <memory>
#include <string>

#include "engine/session.h"

namespace tablorix::sql {

struct DdlStatement;

// True when the first keyword of `text` (after blanks and comments) is CREATE, DROP or ALTER.
bool IsDdl(const std::string& text);

// Reads one statement (Windows-1250 text, an optional ';' at its end). Throws EngineError with
// the message and "\nLine Number: N" (counted in `text`) for a statement it cannot read, an
// unknown type, a size out of range, a duplicate column or a name outside the directory.
std::shared_ptr<const DdlStatement> ParseDdl(const std::string& text);

// Carries the statement out on the session's directory; the tables it names must be closed.
void RunDdl(const DdlStatement& statement, Session& session);

}  // namespace tablorix::sql
