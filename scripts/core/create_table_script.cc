// CREATE TABLE scripts from a table's field and index definitions.
#include "scripts/core/create_table_script.h"

#include <algorithm>

#include "common/core/Seged.h"

namespace tablorix::scripts {

namespace {

// An index's field list as the statements write it: "A;B" becomes "a,b".
std::string IndexFieldList(const std::string& fields) {
  std::string list = fields;
  std::replace(list.begin(), list.end(), ';', ',');
  return common::LowerCase(list);
}

}  // namespace

std::string SqlTypeText(TFieldType type, int size, SqlFlavour flavour) {
  const bool my = flavour == SqlFlavour::kMySql;
  const std::string n = std::to_string(size);
  switch (type) {
    case TFieldType::ftString:
      return (my ? " VARCHAR(" : " CHAR(") + n + ")";
    case TFieldType::ftSmallint:
      return " SMALLINT";
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
      return " INT";
    case TFieldType::ftBoolean:
      return " BOOLEAN";
    case TFieldType::ftFloat:
    case TFieldType::ftBCD:
      return " FLOAT";
    case TFieldType::ftCurrency:
      return my ? " DECIMAL(19,4)" : " MONEY";
    case TFieldType::ftDate:
      return " DATE";
    case TFieldType::ftTime:
      return " TIME";
    case TFieldType::ftDateTime:
      return my ? " DATETIME" : " TIMESTAMP";
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes:
      return (my ? " VARBINARY(" : " BYTES(") + n + ")";
    case TFieldType::ftAutoInc:
      return my ? " INT" : " AUTOINC";
    case TFieldType::ftBlob:
      return my ? " LONGBLOB" : " BLOB";
    case TFieldType::ftMemo:
      return my ? " LONGTEXT" : " BLOB(0,1)";
    case TFieldType::ftFmtMemo:
      return my ? " LONGTEXT" : " BLOB(0,3)";
    case TFieldType::ftGraphic:
      return my ? " LONGBLOB" : " BLOB(0,5)";
    case TFieldType::ftParadoxOle:
      return my ? " LONGBLOB" : " BLOB(0,4)";
    case TFieldType::ftTypedBinary:
    case TFieldType::ftUnknown:
      break;
  }
  return my ? " LONGBLOB" : " BLOB(0,2)";
}

std::string CreateTableScript(Session& session, const std::string& table,
                              const std::vector<std::string>& fields, SqlFlavour flavour) {
  auto cursor = session.DbOpenTable(table);  // closed when it goes out of scope, also on errors
  const auto& defs = cursor->DbFieldDefs();
  std::string s;
  AddLine(&s, "CREATE TABLE " + common::LowerCase(table) + "(");
  for (size_t i = 0; i < fields.size(); ++i) {
    const TFieldDef& f = defs[size_t(cursor->FieldIndex(fields[i]))];
    std::string line = " " + common::LowerCase(fields[i]) + SqlTypeText(f.type, f.size, flavour);
    if (i + 1 < fields.size()) line += ",";
    AddLine(&s, line);
  }
  const std::vector<TIndexDef> indexes = cursor->DbIndexDefs();
  if (!indexes.empty() && (indexes[0].options & ixPrimary)) {
    s.insert(s.size() - 2, ",");  // after the last field line, before its CR LF
    AddLine(&s, "PRIMARY KEY (" + IndexFieldList(indexes[0].fields) + "));");
  } else {
    AddLine(&s, ");");
  }
  // MySQL compares table names by letter case on Linux: the name stays the one CREATE TABLE gave.
  const std::string on_table = flavour == SqlFlavour::kMySql ? common::LowerCase(table) : table;
  for (const TIndexDef& ix : indexes) {
    if (ix.name.empty()) continue;
    AddLine(&s, "CREATE INDEX " + ix.name + " ON " + on_table + " (" + IndexFieldList(ix.fields) +
                    ");");
  }
  session.DbCloseTable(*cursor);
  return s;
}

std::string CreateTableScript(Session& session, const std::string& table, SqlFlavour flavour) {
  return CreateTableScript(session, table, session.DbListFields(table), flavour);
}

}  // namespace tablorix::scripts
