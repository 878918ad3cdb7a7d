// tablorix-cli script: the whole-database script of a directory, as the program writes it.
#pragma once

#include <string>
#include <vector>

#include "engine/session.h"

namespace tablorix::cli {

// script DIR [--mysql] [--data] [-o FILE]. Arguments after the subcommand, DIR first (UTF-8).
// Returns the exit status.
int CmdScript(Session& session, const std::vector<std::string>& args);

}  // namespace tablorix::cli
