// The new-field dialog's core: its type list (also the reference list of the engine's SQL column
// types) and the ALTER TABLE ... ADD statement it composes from the dialog's inputs.
#pragma once

#include <string>
#include <vector>

namespace tablorix::scripts {

// The dialog's type list in its order: a readable name, " - ", and the SQL type text, "(n)"
// standing for the length.
const std::vector<std::string>& NewFieldTypeList();

// The SQL type text of a type list entry: the text between the entry's first and second "-",
// trimmed, with every "(n)" (any letter case) replaced by "(" + length + ")". An empty entry
// gives an empty text.
std::string SqlTypeText(const std::string& entry, const std::string& length);

// What the dialog holds when OK is pressed. The texts are used exactly as typed.
struct NewFieldInput {
  std::string field_name;  // Edit1
  int type_index = -1;     // ComboBox1's chosen entry, -1 for none
  std::string size = "0";  // Edit2
};

// "ALTER TABLE " + table + " ADD " + field + " " + type + ";" followed by CR LF.
std::string NewFieldStatement(const std::string& table, const NewFieldInput& input);

// The file name the new-window variant opens the statement under: "ALTER_" + table + ".sql".
std::string NewFieldFileName(const std::string& table);

}  // namespace tablorix::scripts
