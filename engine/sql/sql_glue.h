// Internals shared by the SQL session and its virtual-table module.
#pragma once

#include <sqlite3.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/types.h"

namespace tablorix::sql {

struct DdlStatement;

struct Connection {
  Session* session = nullptr;
  sqlite3* db = nullptr;
  std::vector<std::string> tables;  // Windows-1250 names; the module's argument indexes this
  // The fields of each table as its virtual table declared them (same index as `tables`).
  std::vector<std::vector<TFieldDef>> fields;
  std::string refusal;    // why the authorizer refused the last statement
  bool internal = false;  // our own statements pass the authorizer
  ~Connection() {
    if (db) sqlite3_close(db);
  }
};

struct StatementHandle {
  std::shared_ptr<Connection> conn;
  sqlite3_stmt* stmt = nullptr;
  std::string utf8;                         // the statement's text as SQLite got it
  std::shared_ptr<const DdlStatement> ddl;  // set (and stmt null) for CREATE, DROP and ALTER
  ~StatementHandle() {
    if (stmt) sqlite3_finalize(stmt);
  }
};

// The one place where exceptions turn into SQLite error codes: runs f, and for a thrown
// exception stores its message (UTF-8) in *message and returns SQLITE_ERROR.
template <class F>
int Guarded(std::string* message, F&& f) noexcept {
  try {
    return f();
  } catch (const std::exception& e) {
    *message = e.what();
  } catch (...) {
    *message = "Unknown error";
  }
  return SQLITE_ERROR;
}

void RegisterModule(Connection* conn);
// Recreates the virtual tables from the tables of the directory.
void RefreshTables(Connection& conn);
void RegisterTextFunctions(sqlite3* db);
// Windows-1250 message text into UTF-8 for SQLite.
std::string ToUtf8(const std::string& text);
std::string FromUtf8(const char* text, int n);

}  // namespace tablorix::sql
