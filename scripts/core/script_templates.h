// Generated SQL text: the line form every script shares, and the single-statement templates the
// wizard commands build from a table's name and fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"

namespace tablorix::scripts {

// The two SQL dialects a script is written in: the engine's local SQL, or one MySQL loads.
enum class SqlFlavour { kEngine, kMySql };

// A script's text is its lines, each followed by CR LF (the last one too).
inline void AddLine(std::string* script, std::string_view line) {
  script->append(line);
  script->append("\r\n");
}

// Field names come in the table's field order as the engine lists them (DbListFields).
std::string SelectTemplate(const std::string& table, const std::vector<std::string>& fields);
std::string SelectTemplate(const Session& session, const std::string& table);
std::string InsertTemplate(const std::string& table, const std::vector<std::string>& fields);
std::string InsertTemplate(const Session& session, const std::string& table);
std::string UpdateTemplate(const std::string& table);
std::string DeleteTemplate(const std::string& table);
std::string DropTableTemplate(const std::string& table);
std::string AlterTemplate(const std::string& table);
std::string DropFieldStatement(const std::string& table, const std::string& field);

// The window a wizard command opens is named by its prefix and the table name as listed.
inline constexpr char kSelectFilePrefix[] = "SEL_";
inline constexpr char kUpdateFilePrefix[] = "UPD_";
inline constexpr char kInsertFilePrefix[] = "INS_";
inline constexpr char kDeleteFilePrefix[] = "DEL_";
inline constexpr char kCreateFilePrefix[] = "Create_";
inline constexpr char kDropFilePrefix[] = "Drop_";
inline constexpr char kAlterFilePrefix[] = "Alter_";
inline constexpr char kAddFieldFilePrefix[] = "ALTER_";
inline constexpr char kDropFieldFilePrefix[] = "DropField_";
inline constexpr char kNewTableFileName[] = "CREATE_NewTable.sql";
inline constexpr char kDatabaseScriptFileName[] = "DATA01.sql";

inline std::string ScriptFileName(std::string_view prefix, const std::string& table) {
  return std::string(prefix) + table + ".sql";
}

}  // namespace tablorix::scripts
