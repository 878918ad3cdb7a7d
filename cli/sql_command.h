// tablorix-cli sql: statements and scripts run as the SQL window runs them.
#pragma once

#include <string>
#include <vector>

#include "engine/session.h"

namespace tablorix::cli {

// A UTF-8 text as a JSON string literal, quotes included.
std::string JsonString(const std::string& utf8);

// sql DIR "STATEMENT" | -f FILE, [--format=text|csv|jsonl] [--param NAME=VALUE]...
// Arguments after the subcommand, DIR first (UTF-8). Returns the exit status.
int CmdSql(Session& session, const std::vector<std::string>& args);

}  // namespace tablorix::cli
