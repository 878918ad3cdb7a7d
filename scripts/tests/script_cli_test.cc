// tablorix-cli script run as a subprocess: its output is DatabaseScript's text byte for byte,
// on standard output and with -o, for every flag combination.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/demo_database.h"
#include "scripts/core/database_script.h"
#include "scripts/tests/script_fixture.h"

namespace tablorix::scripts {
namespace {

// Standard output of the command, and its exit status.
std::string RunCli(const std::string& args, int* status) {
  std::string out;
  std::FILE* p = popen((std::string(TABLORIX_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  *status = pclose(p);
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ScriptCommand, PrintsTheDatabaseScript) {
  testing::ScratchDir dir;
  demo::WriteDemoDatabase(dir.path(), false);
  Session s;
  s.DbOpenDatabase(dir.path());
  struct Case {
    const char* flags;
    SqlFlavour flavour;
    bool data;
  } cases[] = {{"", SqlFlavour::kEngine, false},
               {"--data", SqlFlavour::kEngine, true},
               {"--mysql", SqlFlavour::kMySql, false},
               {"--data --mysql", SqlFlavour::kMySql, true}};
  for (const auto& c : cases) {
    const std::string expected = DatabaseScript(s, c.flavour, c.data, FormatSettings{});
    int status = -1;
    EXPECT_EQ(RunCli("script " + dir.path() + " " + c.flags, &status), expected) << c.flags;
    EXPECT_EQ(status, 0) << c.flags;
    const std::string file = dir.path() + "/out.sql";
    EXPECT_EQ(RunCli("script " + dir.path() + " " + c.flags + " -o " + file, &status), "");
    EXPECT_EQ(status, 0) << c.flags;
    EXPECT_EQ(ReadFile(file), expected) << c.flags;
  }
  int status = 0;
  RunCli("script " + dir.path() + " --sqlite", &status);
  EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace tablorix::scripts
