// The CREATE TABLE script of an existing table, in the engine's SQL or in MySQL's, and the
// mapping of the engine's field types to SQL type names.
#pragma once

#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/types.h"
#include "scripts/core/script_templates.h"

namespace tablorix::scripts {

// Type text of a field, with its leading space (" CHAR(30)"); `size` is a string's width or
// the byte count of a bytes field.
std::string SqlTypeText(TFieldType type, int size, SqlFlavour flavour);

// A table, field or index name as the MySQL flavour writes it: in backquotes when MySQL would
// not read it bare (a reserved word such as CASE or LONG, a blank or a sign in it, digits
// only), otherwise as it stands.
std::string MySqlName(const std::string& name);

// The statement that makes the table again, its primary key and one CREATE INDEX per named
// index. `fields` are the field names in the order the script lists them (the table's own
// order as DbListFields gives it, by the overload without them). Throws EngineError when the
// table cannot be opened or lacks one of the fields; the table is closed again either way.
std::string CreateTableScript(Session& session, const std::string& table,
                              const std::vector<std::string>& fields, SqlFlavour flavour);
std::string CreateTableScript(Session& session, const std::string& table, SqlFlavour flavour);

}  // namespace tablorix::scripts
