// The MySQL-flavour whole-database scripts, as `tablorix-cli script --mysql` writes them, loaded
// into a real MariaDB server: every table comes back with its columns, primary key, row count and
// values (text, numbers, money, dates, times, timestamps, memos, blobs, nulls) as our engine reads
// them from the source tables. The test starts a private server of its own (Debian's
// mariadb-server) and fails when the server or the client is not installed.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/core/Seged.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/value.h"
#include "scripts/tests/script_fixture.h"

namespace tablorix::scripts {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The first of `names` found in PATH or the usual Debian binary folders, or "".
std::string FindProgram(const std::vector<std::string>& names) {
  std::vector<std::string> dirs;
  if (const char* path = getenv("PATH")) {
    std::stringstream s(path);
    for (std::string d; std::getline(s, d, ':');)
      if (!d.empty()) dirs.push_back(d);
  }
  for (const char* d : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin", "/sbin"})
    dirs.push_back(d);
  for (const auto& name : names)
    for (const auto& d : dirs)
      if (access((d + "/" + name).c_str(), X_OK) == 0) return d + "/" + name;
  return {};
}

// Runs `command` in the shell; its standard output (and error, merged) in `out`. Exit status.
int Shell(const std::string& command, std::string* out) {
  out->clear();
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string h;
  for (unsigned char b : bytes) {
    h.push_back(kDigits[b >> 4]);
    h.push_back(kDigits[b & 15]);
  }
  return h;
}

// A private server on a scratch data directory, reached through a socket only; stopped (and its
// files removed) by the destructor.
class MariaDbServer {
 public:
  MariaDbServer() {
    // In memory where the machine has a tmpfs; a short path, as a socket's has ~100 bytes.
    std::string t = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    t += "/tablorix-mariadb-XXXXXX";
    dir_ = mkdtemp(t.data()) ? t : std::string();
  }
  ~MariaDbServer() {
    Stop();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Empty when the server answers; else what went wrong.
  std::string Start() {
    const std::string server = FindProgram({"mariadbd", "mysqld"});
    client_ = FindProgram({"mariadb", "mysql"});
    if (server.empty()) return "no mariadbd: install mariadb-server (scripts/deps.sh does)";
    if (client_.empty()) return "no mariadb client: install mariadb-client (scripts/deps.sh does)";
    if (dir_.empty()) return "cannot make a scratch directory";
    // The server runs without the system tables: grants are skipped and nothing else here
    // needs them, which saves the seconds mariadb-install-db takes.
    fs::create_directories(dir_ + "/data");
    std::vector<std::string> args{server, "--no-defaults", "--datadir=" + dir_ + "/data",
                                  "--socket=" + socket(), "--pid-file=" + dir_ + "/server.pid",
                                  "--log-error=" + dir_ + "/server.log", "--skip-networking",
                                  "--skip-grant-tables", "--innodb-buffer-pool-size=32M",
                                  "--innodb-log-file-size=16M",
                                  // Scratch data: no waiting for the disk at each statement.
                                  "--innodb-flush-log-at-trx-commit=0", "--innodb-doublewrite=0",
                                  "--innodb-flush-method=nosync", "--character-set-server=utf8mb4",
                                  "--collation-server=utf8mb4_bin"};
    if (geteuid() == 0) args.push_back("--user=root");
    pid_ = fork();
    if (pid_ == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid_ < 0) return "fork failed";
    std::string out;
    for (int i = 0; i < 600; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return "the server stopped at start:\n" + ReadFile(dir_ + "/server.log");
      }
      if (access(socket().c_str(), F_OK) == 0 && Run("", "SELECT 1;", &out) == 0) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "the server did not answer within 60 s:\n" + ReadFile(dir_ + "/server.log");
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300 && waitpid(pid_, &status, WNOHANG) != pid_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (kill(pid_, 0) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }

  // Runs `sql` (Windows-1250 bytes) through the client in `database` (none when empty); the
  // output rows tab-separated with nulls as NULL, no header. Exit status.
  // With `force` the client goes on after a failing statement (and still exits non-zero), so a
  // script's every fault is reported at once.
  int Run(const std::string& database, const std::string& sql, std::string* out,
          bool force = false) {
    const std::string input = dir_ + "/input.sql";
    WriteFile(input, sql);
    return Shell("'" + client_ + "' --no-defaults --socket='" + socket() +
                     "' -uroot --default-character-set=cp1250 --batch --skip-column-names " +
                     (force ? "--force " : "") + (database.empty() ? "" : "'" + database + "'") +
                     " < '" + input + "'",
                 out);
  }

  // Output lines of a query that must succeed (a failure is reported and gives no lines).
  std::vector<std::string> Lines(const std::string& database, const std::string& sql) {
    std::string out;
    if (Run(database, sql, &out) != 0) {
      ADD_FAILURE() << "query failed: " << sql << "\n" << out;
      return {};
    }
    std::vector<std::string> lines;
    std::stringstream s(out);
    for (std::string l; std::getline(s, l);) lines.push_back(l);
    return lines;
  }

  const std::string& dir() const { return dir_; }

 private:
  std::string socket() const { return dir_ + "/sock"; }
  std::string dir_;
  std::string client_;
  pid_t pid_ = -1;
};

// What the server is asked for one column, and what the engine's value must look like in its
// answer. Text comes back as the hex of its stored UTF-8, binary values as the hex of their
// bytes, so no byte is lost to the client's escaping.
std::string ColumnExpression(const TFieldDef& f) {
  const std::string c = "`" + common::LowerCase(f.name) + "`";
  switch (f.type) {
    case TFieldType::ftString:
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes:
    case TFieldType::ftBlob:
    case TFieldType::ftGraphic:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftTypedBinary:
    case TFieldType::ftUnknown:
      return "HEX(" + c + ")";
    case TFieldType::ftFloat:
    case TFieldType::ftBCD:
      return "CAST(" + c + " AS DOUBLE)";
    default:
      return c;
  }
}

std::string Clock(int64_t ms) {
  char b[32];
  std::snprintf(b, sizeof b, "%02d:%02d:%02d", int(ms / 3600000), int(ms / 60000 % 60),
                int(ms / 1000 % 60));
  return b;
}

std::string IsoDate(int32_t day) {
  const CivilDate d = CivilFromDayNumber(day);
  char b[32];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.year, d.month, d.day);
  return b;
}

// Numbers in one form on both sides: doubles to their round-trip precision (a column that kept
// fewer digits shows), money to the four decimals of its column.
std::string NumberText(double v, TFieldType type) {
  char b[64];
  std::snprintf(b, sizeof b, type == TFieldType::ftCurrency ? "%.4f" : "%.17g", v);
  return b;
}

bool IsNumber(TFieldType t) {
  return t == TFieldType::ftFloat || t == TFieldType::ftBCD || t == TFieldType::ftCurrency;
}

// The engine's value of field `i` of the cursor's row as the server must give it back.
std::string Expected(const Cursor& c, int i, const TFieldDef& f) {
  if (c.IsNull(i)) return "NULL";
  if (IsNumber(f.type)) return NumberText(c.AsNumber(i), f.type);
  const Value v = c.AsVariant(i);
  switch (f.type) {
    case TFieldType::ftString:
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
      return Hex(paradox::Win1250ToUtf8(v.as_string()));
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
      return std::to_string(v.as_int());
    case TFieldType::ftBoolean:
      return v.as_bool() ? "1" : "0";
    case TFieldType::ftDate:
      return IsoDate(int32_t(v.as_int()));
    case TFieldType::ftTime:
      return Clock(v.as_int());
    case TFieldType::ftDateTime: {
      const double t = v.as_double();
      if (!DateTimeInRange(t)) return "NULL";
      const double day = std::floor(t / double(kMsPerDay));
      return IsoDate(int32_t(day)) + " " + Clock(int64_t(t - day * double(kMsPerDay)));
    }
    default:
      return Hex(v.as_string());
  }
}

// A row of the server's answer, numbers in NumberText's form.
std::vector<std::string> ServerRow(const std::string& line, const std::vector<TFieldDef>& defs) {
  std::vector<std::string> cells;
  size_t from = 0;
  for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
    cells.push_back(line.substr(from, tab - from));
  cells.push_back(line.substr(from));
  for (size_t i = 0; i < cells.size() && i < defs.size(); ++i)
    if (IsNumber(defs[i].type) && cells[i] != "NULL")
      cells[i] = NumberText(std::strtod(cells[i].c_str(), nullptr), defs[i].type);
  return cells;
}

const std::string kCli = TABLORIX_CLI;

// Loads the MySQL script of `source` (with or without rows) into a fresh database of the server
// and compares every table with the source tables read through our engine.
void LoadAndCompare(MariaDbServer& server, const std::string& source, bool with_data,
                    const std::string& database) {
  const std::string script_file = server.dir() + "/" + database + ".sql";
  std::string out;
  ASSERT_EQ(Shell("'" + kCli + "' script '" + source + "' --mysql" + (with_data ? " --data" : "") +
                      " -o '" + script_file + "'",
                  &out),
            0)
      << out;
  ASSERT_EQ(server.Run("", "CREATE DATABASE " + database + ";", &out), 0) << out;
  // The statements print nothing: any output is the server's complaint (with --force the
  // client's exit status does not tell).
  EXPECT_EQ(server.Run(database, ReadFile(script_file), &out, true), 0) << out;
  EXPECT_TRUE(out.empty()) << "the server rejected statements of the script:\n" << out;

  Session s;
  s.DbOpenDatabase(source);
  const std::vector<std::string> tables = s.DbListTables();
  ASSERT_FALSE(tables.empty());
  EXPECT_EQ(server.Lines(database, "SHOW TABLES;").size(), tables.size());
  for (const std::string& table : tables) {
    SCOPED_TRACE(paradox::Win1250ToUtf8(table));
    auto c = s.DbOpenTable(table);
    const auto& defs = c->DbFieldDefs();
    const std::string name = common::LowerCase(table);

    // Columns in field order, and the primary key on the key fields.
    std::vector<std::string> want_columns, want_key;
    for (const auto& f : defs) want_columns.push_back(common::LowerCase(f.name));
    const auto indexes = c->DbIndexDefs();
    if (!indexes.empty() && (indexes[0].options & ixPrimary)) {
      std::stringstream k(common::LowerCase(indexes[0].fields));
      for (std::string f; std::getline(k, f, ';');) want_key.push_back(f);
    }
    const std::string where =
        "WHERE table_schema = '" + database + "' AND table_name = '" + name + "'";
    EXPECT_EQ(server.Lines("", "SELECT LOWER(column_name) FROM information_schema.columns " +
                                   where + " ORDER BY ordinal_position;"),
              want_columns);
    EXPECT_EQ(server.Lines("", "SELECT LOWER(column_name) FROM information_schema.statistics " +
                                   where + " AND index_name = 'PRIMARY' ORDER BY seq_in_index;"),
              want_key);

    // Every row, compared as sorted lists: the server keeps no row order.
    std::string select = "SELECT ";
    for (size_t i = 0; i < defs.size(); ++i) select += (i ? "," : "") + ColumnExpression(defs[i]);
    std::vector<std::string> got = server.Lines(database, select + " FROM `" + name + "`;");
    std::vector<std::vector<std::string>> want;
    if (with_data)
      for (c->First(); !c->Eof(); c->Next()) {
        std::vector<std::string> row;
        for (int i = 0; i < int(defs.size()); ++i) row.push_back(Expected(*c, i, defs[size_t(i)]));
        want.push_back(row);
      }
    s.DbCloseTable(*c);
    ASSERT_EQ(got.size(), want.size()) << "row count";
    std::vector<std::vector<std::string>> rows;
    for (const auto& line : got) rows.push_back(ServerRow(line, defs));
    std::sort(want.begin(), want.end());
    std::sort(rows.begin(), rows.end());
    std::vector<int> reported(defs.size());  // the first three differences of each field
    for (size_t r = 0; r < rows.size(); ++r) {
      ASSERT_EQ(rows[r].size(), defs.size()) << got[r];
      for (size_t i = 0; i < defs.size(); ++i)
        if (want[r][i] != rows[r][i] && reported[i]++ < 3)
          ADD_FAILURE() << "row " << r << " (sorted) field " << paradox::Win1250ToUtf8(defs[i].name)
                        << ": engine " << want[r][i] << ", server " << rows[r][i];
    }
  }
}

// Values that are easy to get wrong on the way: Hungarian letters, quotes, backslashes, line
// breaks, nulls, doubles that a single-precision column would round, money, the day's last
// second, binary bytes; 120 rows so that the rows cross two statement boundaries (49, 50, 21).
void WriteHardTable(const std::string& dir) {
  Session s;
  s.DbOpenDatabase(dir);
  const double stamp = double(testing::Day(1999, 12, 31)) * double(kMsPerDay) + 86399999;
  std::vector<std::vector<Value>> rows;
  rows.push_back({Value::Int(1), Value::Text("\xF5r\xFClt \xD5R\xDCLT \xE1rv\xEDzt\xFBr\xF5"),
                  Value::Text("O'Brien C:\\Temp\\ \"x\";\r\nk\xF6vetkez\xF5 sor\n"),
                  Value::Double(-1.0 / 3), Value::Double(12.3456),
                  Value::Date(testing::Day(2007, 1, 5)), Value::Time(3723004),
                  Value::DateTime(stamp), Value::Bytes(std::string("\0\1'\\\xFF", 5)),
                  Value::Bytes("\x89PNG\r\n\x1A\n"), Value::Bool(true)});
  rows.push_back({Value::Int(2), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
                  Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
                  Value::Null()});
  for (int i = 3; i <= 120; ++i)
    rows.push_back({Value::Int(i), Value::Text("sor " + std::to_string(i)), Value::Null(),
                    Value::Double(1234567.891 * i), Value::Double(i * 0.01),
                    Value::Date(testing::Day(2000, 1, 1) + i), Value::Null(), Value::Null(),
                    Value::Null(), Value::Null(), Value::Bool(i % 2 == 0)});
  testing::MakeTable(s, "Kem\xE9ny",
                     {{"Id", paradox::kAutoInc, 0},
                      {"N\xE9v", paradox::kAlpha, 40},
                      {"Megjegyz\xE9s", paradox::kMemo, 10},
                      {"Sz\xE1m", paradox::kNumber, 0},
                      {"\xC1r", paradox::kCurrency, 0},
                      {"Nap", paradox::kDate, 0},
                      {"Ido", paradox::kTime, 0},
                      {"Pont", paradox::kTimestamp, 0},
                      {"Nyers", paradox::kBytes, 5},
                      {"Kep", paradox::kGraphic, 10},
                      {"Igaz", paradox::kLogical, 0}},
                     1, rows);
}

TEST(MariaDbScripts, LoadIntoARealServer) {
  MariaDbServer server;
  const std::string error = server.Start();
  ASSERT_EQ(error, "") << "a MariaDB server is needed for this test";

  // The sources: the demo database, the fixture tables by folder, and the hard values.
  testing::ScratchDir demo, hard;
  std::string out;
  ASSERT_EQ(Shell("'" + kCli + "' demo '" + demo.path() + "' --force", &out), 0) << out;
  WriteHardTable(hard.path());
  std::vector<std::pair<std::string, std::string>> sources{{"demo", demo.path()},
                                                           {"hard", hard.path()}};
  std::vector<std::unique_ptr<testing::ScratchDir>> copies;
  for (const char* folder : {"fields", "indexes", "encrypted"}) {
    copies.push_back(std::make_unique<testing::ScratchDir>());
    for (const auto& e :
         fs::directory_iterator(std::string(TABLORIX_TEST_DATA) + "/paradox/" + folder))
      fs::copy_file(e.path(), copies.back()->path() + "/" + e.path().filename().string());
    sources.emplace_back(folder, copies.back()->path());
  }
  for (const auto& [label, dir] : sources)
    for (bool with_data : {false, true}) {
      SCOPED_TRACE(label + (with_data ? " with data" : " structure only"));
      LoadAndCompare(server, dir, with_data, label + (with_data ? "_data" : "_bare"));
    }

  // The Windows-1250 letters of the script reached the server as the right letters, stored as
  // their UTF-8 forms: "őrült ŐRÜLT árvíztűrő".
  const auto stored =
      server.Lines("hard_data", "SELECT HEX(`n\xE9v`) FROM `kem\xE9ny` WHERE id = 1;");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0], Hex("\xC5\x91r\xC3\xBClt \xC5\x90R\xC3\x9CLT \xC3\xA1rv\xC3\xADzt"
                           "\xC5\xB1r\xC5\x91"));
}

}  // namespace
}  // namespace tablorix::scripts
