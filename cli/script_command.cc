// tablorix-cli script: DatabaseScript's text in the engine flavour or MySQL's, with or without
// the rows, on standard output or into a file; Windows-1250 bytes with CR LF lines, unchanged.
#include "cli/script_command.h"

#include <cstdio>

#include "engine/format_settings.h"
#include "scripts/core/database_script.h"

namespace tablorix::cli {

int CmdScript(Session& session, const std::vector<std::string>& args) {
  scripts::SqlFlavour flavour = scripts::SqlFlavour::kEngine;
  bool with_data = false;
  std::string file;
  bool usage = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--mysql") {
      flavour = scripts::SqlFlavour::kMySql;
    } else if (args[i] == "--data") {
      with_data = true;
    } else if (args[i] == "-o" && i + 1 < args.size() && file.empty()) {
      file = args[++i];
    } else {
      usage = true;
    }
  }
  if (usage) {
    std::fputs("usage: tablorix-cli script DIR [--mysql] [--data] [-o FILE]\n", stderr);
    return 2;
  }
  // Built whole before anything is written: a failing table leaves no half script behind.
  const std::string text = scripts::DatabaseScript(session, flavour, with_data, FormatSettings{});
  std::FILE* out = file.empty() ? stdout : std::fopen(file.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "tablorix-cli: cannot write %s\n", file.c_str());
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool flushed = file.empty() ? std::fflush(out) == 0 : std::fclose(out) == 0;
  if (!written || !flushed) {
    std::fprintf(stderr, "tablorix-cli: write error%s%s\n", file.empty() ? "" : ": ", file.c_str());
    return 1;
  }
  return 0;
}

}  // namespace tablorix::cli
