// tablorix-cli export and import: the export dialog's and the import window's work from the
// command line.
#pragma once

#include <string>
#include <vector>

#include "engine/session.h"

namespace tablorix::cli {

// export DIR (TABLE | --sql "SELECT ...") FILE [--separator=;|tab|,||] [--quote=double|single|none]
// [--names] [--no-header] [--memo]; FILE ending in .xls/.xlsx gives a worksheet.
int CmdExport(Session& session, const std::vector<std::string>& args);
// import DIR TABLE FILE [--columns=a,b,...]: prints the load's log.
int CmdImport(Session& session, const std::vector<std::string>& args);

}  // namespace tablorix::cli
