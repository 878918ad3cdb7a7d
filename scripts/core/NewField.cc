// The new-field dialog's type list and statement.
#include "scripts/core/NewField.h"

#include <cctype>

namespace tablorix::scripts {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

}  // namespace

const std::vector<std::string>& NewFieldTypeList() {
  static const std::vector<std::string> kList = {
      "Smallint - SMALLINT",    "Integer - INT",       "Float - FLOAT",
      "String - CHAR(n)",       "Date - DATE",         "Logical - BOOLEAN",
      "Memo - BLOB(0,1)",       "Binary - BLOB(0,2)",  "Formatted memo - BLOB(0,3)",
      "Ole object - BLOB(0,4)", "Graphic - BLOB(0,5)", "Time - TIME",
      "Timestamp - TIMESTAMP",  "Money - MONEY",       "Autoinc - AUTOINC",
      "Bytes - BYTES(n)",
  };
  return kList;
}

std::string SqlTypeText(const std::string& entry, const std::string& length) {
  // The second "-"-separated token: an entry without "-" has none.
  const size_t first = entry.find('-');
  if (first == std::string::npos) return "";
  const size_t second = entry.find('-', first + 1);
  const std::string type = Trim(entry.substr(
      first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
  std::string out;
  for (size_t i = 0; i < type.size();) {
    if (i + 3 <= type.size() && type[i] == '(' && (type[i + 1] == 'n' || type[i + 1] == 'N') &&
        type[i + 2] == ')') {
      out += "(" + length + ")";
      i += 3;
    } else {
      out += type[i++];
    }
  }
  return out;
}

std::string NewFieldStatement(const std::string& table, const NewFieldInput& input) {
  const auto& list = NewFieldTypeList();
  std::string type;
  if (input.type_index >= 0 && size_t(input.type_index) < list.size())
    type = SqlTypeText(list[size_t(input.type_index)], input.size);
  return "ALTER TABLE " + table + " ADD " + input.field_name + " " + type + ";\r\n";
}

std::string NewFieldFileName(const std::string& table) { return "ALTER_" + table + ".sql"; }

}  // namespace tablorix::scripts
