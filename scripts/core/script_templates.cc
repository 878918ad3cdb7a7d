// The single-statement templates of the wizard commands.
#include "scripts/core/script_templates.h"

namespace tablorix::scripts {

std::string SelectTemplate(const std::string& table, const std::vector<std::string>& fields) {
  std::string s;
  AddLine(&s, "SELECT");
  for (size_t i = 0; i < fields.size(); ++i)
    AddLine(&s, " " + fields[i] + (i + 1 < fields.size() ? "," : ""));
  AddLine(&s, "FROM " + table);
  AddLine(&s, "WHERE <conditions>");
  return s;
}

std::string SelectTemplate(const Session& session, const std::string& table) {
  return SelectTemplate(table, session.DbListFields(table));
}

std::string InsertTemplate(const std::string& table, const std::vector<std::string>& fields) {
  std::string s;
  AddLine(&s, "INSERT INTO " + table);
  std::string list = " (";
  for (size_t i = 0; i < fields.size(); ++i) {
    list += " " + fields[i];
    if (i + 1 < fields.size()) list += ",";
  }
  AddLine(&s, list + ")");
  return s;
}

std::string InsertTemplate(const Session& session, const std::string& table) {
  return InsertTemplate(table, session.DbListFields(table));
}

std::string UpdateTemplate(const std::string& table) {
  std::string s;
  AddLine(&s, "UPDATE " + table + " SET");
  AddLine(&s, "WHERE <conditions>");
  return s;
}

std::string DeleteTemplate(const std::string& table) {
  std::string s;
  AddLine(&s, "DELETE FROM " + table);
  AddLine(&s, "WHERE <conditions>");
  return s;
}

std::string DropTableTemplate(const std::string& table) {
  std::string s;
  AddLine(&s, "DROP TABLE " + table + ";");
  return s;
}

std::string AlterTemplate(const std::string& table) {
  std::string s;
  AddLine(&s, "ALTER TABLE " + table + " DROP ADD <FieldName Datatype>;");
  return s;
}

std::string DropFieldStatement(const std::string& table, const std::string& field) {
  std::string s;
  AddLine(&s, "ALTER TABLE " + table + " DROP " + field + ";");
  return s;
}

}  // namespace tablorix::scripts
