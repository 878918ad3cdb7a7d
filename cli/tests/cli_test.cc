// tablorix-cli run as a subprocess on scratch directories: the demo database, the maintenance
// subcommands with their messages and effects, and their refusals while the table is held.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "engine/paradox/codepage.h"
#include "engine/session.h"

using namespace tablorix;
namespace fs = std::filesystem;

namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tablorix-cli-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Result {
  int status = -1;
  std::string out, err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Runs tablorix-cli with `args`, its output going to files (dumps can be larger than a pipe).
Result Cli(const std::vector<std::string>& args) {
  TempDir io;
  const std::string out = io.path() + "/out", err = io.path() + "/err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(127);
    std::vector<char*> argv{const_cast<char*>(TABLORIX_CLI)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(TABLORIX_CLI, argv.data());
    _exit(127);
  }
  Result r;
  int st = 0;
  if (pid > 0 && waitpid(pid, &st, 0) == pid && WIFEXITED(st)) r.status = WEXITSTATUS(st);
  r.out = ReadAll(out);
  r.err = ReadAll(err);
  return r;
}

std::string Dump(const std::string& dir, const std::string& table) {
  Result r = Cli({"dump", dir, table});
  EXPECT_EQ(r.status, 0) << table << ": " << r.err;
  return r.out;
}

int64_t Rows(const std::string& dir, const std::string& table) {
  Session s;
  s.DbOpenDatabase(dir);
  return s.DbOpenTable(table)->RowCount();
}

const std::vector<std::string> kDemoTables = {"RENDELES", "TERMEKEK", "TETELEK", "VEVOK"};

TEST(CliDemo, WritesTheSameRelatedTablesEveryTime) {
  TempDir a, b;
  Result r = Cli({"demo", a.path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("VEVOK"), std::string::npos) << r.out;
  ASSERT_EQ(Cli({"demo", b.path() + "/new/dir"}).status, 0);  // missing directories are made

  EXPECT_EQ(Cli({"tables", a.path()}).out, "RENDELES\nTERMEKEK\nTETELEK\nVEVOK\n");
  int64_t total = 0;
  for (const auto& t : kDemoTables) {
    const std::string dump = Dump(a.path(), t);
    EXPECT_EQ(dump, Dump(b.path() + "/new/dir", t)) << t;
    EXPECT_EQ(Cli({"dump", a.path(), t, "--format=jsonl"}).out,
              Cli({"dump", b.path() + "/new/dir", t, "--format=jsonl"}).out)
        << t;
    total += Rows(a.path(), t);
  }
  EXPECT_GE(total, 3000);

  // Hungarian text survives the trip through Windows-1250, in data and index names alike.
  const std::string customers = Dump(a.path(), "VEVOK");
  for (const char* text : {"Kovács Ödön", "Győr", "Székesfehérvár", "Szőlőhegy utca", "Árvíztűrő"})
    EXPECT_NE(customers.find(text), std::string::npos) << text;
  EXPECT_NE(Dump(a.path(), "TERMEKEK").find("Szőlő"), std::string::npos);

  const std::string vevok = Cli({"describe", a.path(), "VEVOK", "--json"}).out;
  EXPECT_NE(vevok.find("\"keyed\":true"), std::string::npos) << vevok;
  EXPECT_NE(vevok.find("{\"name\":\"VAROS\",\"fields\":[\"VAROS\"]"), std::string::npos) << vevok;
  EXPECT_NE(vevok.find("{\"name\":\"NevVaros\",\"fields\":[\"NEV\",\"VAROS\"]"), std::string::npos)
      << vevok;
  for (const char* type : {"\"AutoInc\"", "\"Memo\"", "\"Graphic\"", "\"Date\"", "\"Timestamp\""})
    EXPECT_NE(vevok.find(type), std::string::npos) << type << " in " << vevok;
  const std::string lines = Cli({"describe", a.path(), "TETELEK", "--json"}).out;
  EXPECT_NE(lines.find("\"keyed\":false"), std::string::npos) << lines;
  EXPECT_NE(lines.find("\"Currency\""), std::string::npos) << lines;

  // The images are whole BMP files, read back without the stored prefix.
  Session s;
  s.DbOpenDatabase(a.path());
  auto c = s.DbOpenTable("VEVOK");
  c->First();
  const Value photo = c->AsVariant("FOTO");
  ASSERT_EQ(photo.as_string().size(), 54u + 32 * 3 * 24);
  EXPECT_EQ(photo.as_string().substr(0, 2), "BM");
  EXPECT_EQ(paradox::Win1250ToUtf8(c->AsVariant("NEV").as_string()), "Kovács Ödön");
  c.reset();

  // A directory with tables is refused, and left as it was, unless --force is given.
  r = Cli({"demo", a.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already holds tables"), std::string::npos) << r.err;
  EXPECT_EQ(customers, Dump(a.path(), "VEVOK"));
  std::ofstream(a.path() + "/SAJAT.DB") << "";  // not a demo table: --force keeps it
  ASSERT_EQ(Cli({"demo", a.path(), "--force"}).status, 0);
  EXPECT_EQ(customers, Dump(a.path(), "VEVOK"));
  EXPECT_TRUE(fs::exists(a.path() + "/SAJAT.DB"));
}

// Each test works on its own copy of one demo database.
class CliMaintenance : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    demo_ = new TempDir;
    ASSERT_EQ(Cli({"demo", demo_->path()}).status, 0);
  }
  static void TearDownTestSuite() {
    delete demo_;
    demo_ = nullptr;
  }
  // A fresh copy of the demo database.
  std::string Fresh() {
    dirs_.emplace_back();
    const std::string dir = dirs_.back().path() + "/db";
    fs::copy(demo_->path(), dir, fs::copy_options::recursive);
    return dir;
  }
  static std::string Json(const std::string& dir, const std::string& table) {
    return Cli({"describe", dir, table, "--json"}).out;
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  static TempDir* demo_;
  std::list<TempDir> dirs_;
};
TempDir* CliMaintenance::demo_ = nullptr;

TEST_F(CliMaintenance, SubcommandsPrintTheirMessageAndDoTheirWork) {
  struct Step {
    std::vector<std::string> args;  // after DIR
    std::string out;
  };
  struct Case {
    std::string table;
    std::vector<Step> steps;
    // Checks the directory after the steps; `before` is the table's dump before them.
    std::function<void(const std::string& dir, const std::string& before)> check;
    std::function<void(const std::string& dir)> prepare = nullptr;
  };
  const std::vector<Case> cases = {
      // Packing after deletions keeps every remaining row and gives the space back.
      {"TETELEK",
       {{{"pack", "TETELEK"}, "Tábla tömörítés kész\n"}},
       [](const std::string& dir, const std::string& before) {
         EXPECT_EQ(Dump(dir, "TETELEK"), before);
         EXPECT_LT(fs::file_size(dir + "/TETELEK.DB"), fs::file_size(dir + "/../TETELEK.before"));
       },
       [](const std::string& dir) {
         Session s;
         s.DbOpenDatabase(dir);
         OpenOptions o;
         o.read_only = false;
         auto c = s.DbOpenTable("TETELEK", o);
         c->First();
         for (int i = 0; i < 600 && !c->Eof(); ++i) {  // a row in three of the first 600
           if (i % 3 == 0)
             c->Delete();
           else
             c->Next();
         }
         c.reset();
         fs::copy_file(dir + "/TETELEK.DB", dir + "/../TETELEK.before");
       }},
      // Memos and images are rewritten by a pack.
      {"TERMEKEK",
       {{{"pack", "TERMEKEK"}, "Tábla tömörítés kész\n"}},
       [](const std::string& dir, const std::string& before) {
         EXPECT_EQ(Dump(dir, "TERMEKEK"), before);
       }},
      {"RENDELES",
       {{{"empty", "RENDELES"}, "Tábla üres\n"}},
       [](const std::string& dir, const std::string&) {
         EXPECT_EQ(Rows(dir, "RENDELES"), 0);
         EXPECT_TRUE(Has(Json(dir, "RENDELES"), "{\"name\":\"VEVO\",\"fields\":[\"VEVO\"]"));
         EXPECT_GT(Rows(dir, "TETELEK"), 0);
       }},
      {"TERMEKEK",
       {{{"drop", "TERMEKEK"}, "Tábla törölve\n"}},
       [](const std::string& dir, const std::string&) {
         for (const auto& e : fs::directory_iterator(dir)) {
           std::string name = e.path().filename().string();
           for (char& ch : name) ch = char(std::toupper(uint8_t(ch)));
           EXPECT_NE(name.rfind("TERMEKEK.", 0), 0u) << name << " is left";
         }
         EXPECT_EQ(Cli({"tables", dir}).out, "RENDELES\nTETELEK\nVEVOK\n");
       }},
      {"RENDELES",
       {{{"add-index", "RENDELES", "Datum", "DATUM;FIZETVE", "--descending"},
         "Index created: Datum\n"}},
       [](const std::string& dir, const std::string& before) {
         EXPECT_TRUE(Has(Json(dir, "RENDELES"),
                         "{\"name\":\"Datum\",\"fields\":[\"DATUM\",\"FIZETVE\"],\"primary\":false,"
                         "\"unique\":false,\"descending\":true,\"case_insensitive\":false}"))
             << Json(dir, "RENDELES");
         EXPECT_EQ(Dump(dir, "RENDELES"), before);
       }},
      // An index named in Hungarian, made and dropped through UTF-8 arguments.
      {"VEVOK",
       {{{"add-index", "VEVOK", "Városnév", "VAROS;AZON", "--unique", "--case-insensitive"},
         "Index created: Városnév\n"},
        {{"drop-index", "VEVOK", "Városnév"}, "Index törölve: Városnév\n"}},
       [](const std::string& dir, const std::string& before) {
         const std::string j = Json(dir, "VEVOK");
         EXPECT_FALSE(Has(j, "Városnév")) << j;
         EXPECT_TRUE(Has(j, "\"name\":\"NevVaros\"")) << j;
         EXPECT_EQ(Dump(dir, "VEVOK"), before);
       }},
      {"VEVOK",
       {{{"drop-index", "VEVOK", "NevVaros"}, "Index törölve: NevVaros\n"}},
       [](const std::string& dir, const std::string&) {
         const std::string j = Json(dir, "VEVOK");
         EXPECT_FALSE(Has(j, "NevVaros")) << j;
         EXPECT_TRUE(Has(j, "{\"name\":\"VAROS\",\"fields\":[\"VAROS\"]")) << j;
       }},
      {"TETELEK",
       {{{"add-index", "TETELEK", "", "RENDELES;TERMEK", "--primary"},
         "Primary index created on RENDELES;TERMEK\n"}},
       [](const std::string& dir, const std::string& before) {
         const std::string j = Json(dir, "TETELEK");
         EXPECT_TRUE(Has(j, "\"keyed\":true")) << j;
         EXPECT_TRUE(Has(j, "\"fields\":[\"RENDELES\",\"TERMEK\"],\"primary\":true")) << j;
         EXPECT_EQ(Rows(dir, "TETELEK"), std::count(before.begin(), before.end(), '\n') - 1);
       }},
      {"RENDELES",
       {{{"drop-index", "RENDELES", ""}, "Index törölve: \n"}},
       [](const std::string& dir, const std::string& before) {
         EXPECT_TRUE(Has(Json(dir, "RENDELES"), "\"keyed\":false"));
         EXPECT_EQ(Rows(dir, "RENDELES"), std::count(before.begin(), before.end(), '\n') - 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps[0].args[0] + " " + c.table);
    const std::string dir = Fresh();
    if (c.prepare) c.prepare(dir);
    const std::string before = Dump(dir, c.table);
    for (const Step& step : c.steps) {
      std::vector<std::string> args{step.args[0], dir};
      args.insert(args.end(), step.args.begin() + 1, step.args.end());
      const Result r = Cli(args);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, step.out);
    }
    c.check(dir, before);
  }
}

TEST_F(CliMaintenance, RefusesATableHeldByAnotherUserAndLeavesItAlone) {
  struct Case {
    std::vector<std::string> args;  // after DIR; args[1] is the table
    bool exclusive_hold;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"pack", "TETELEK"}, true, "Sikertelen megnyitás\n"},
      {{"pack", "TETELEK"}, false, "Sikertelen megnyitás\n"},  // a reader blocks it too
      {{"drop", "TERMEKEK"}, true, "Sikertelen megnyitás\n"},
      {{"empty", "RENDELES"}, true, "Error on open table exclusively\n"},
      {{"drop-index", "VEVOK", "NevVaros"}, true, "Tábla exkluzív megnyitás sikertelen\n"},
      {{"add-index", "VEVOK", "Tel", "TELEFON"}, true, "Cannot open the table exclusively\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.exclusive_hold ? " (held exclusively)" : " (held by a reader)"));
    const std::string dir = Fresh();
    const std::string table = c.args[1];
    const std::string before = Dump(dir, table), before_json = Json(dir, table);
    std::vector<std::string> args{c.args[0], dir};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    {
      Session s;
      s.DbOpenDatabase(dir);
      OpenOptions o;
      o.exclusive = c.exclusive_hold;
      auto held = s.DbOpenTable(table, o);
      const Result r = Cli(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err.substr(0, c.message.size()), c.message) << r.err;
    }
    EXPECT_EQ(Dump(dir, table), before);
    EXPECT_EQ(Json(dir, table), before_json);
  }
}

// Disabled until DbAddIndex keeps the name: today a single-field index under a name of its own
// is stored as the field's plain index, listed under the field name, and cannot be dropped by
// the name it was given.
TEST_F(CliMaintenance, SingleFieldIndexKeepsItsOwnName) {
  const std::string dir = Fresh();
  EXPECT_EQ(Cli({"add-index", dir, "VEVOK", "Telefonszam", "TELEFON"}).status, 0);
  EXPECT_TRUE(Has(Json(dir, "VEVOK"), "{\"name\":\"Telefonszam\",\"fields\":[\"TELEFON\"]"))
      << Json(dir, "VEVOK");
  const Result r = Cli({"drop-index", dir, "VEVOK", "Telefonszam"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Index törölve: Telefonszam\n");
}

TEST_F(CliMaintenance, SqlPrintsRowsRunsStatementsAndScripts) {
  const std::string dir = Fresh();
  struct Case {
    std::vector<std::string> args;  // after DIR
    int status;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {{"select azon, nev from vevok where azon < 3 order by azon", "--format=csv"},
       0,
       "AZON,NEV\n1,Kovács Ödön\n2,Papp Júlia\n",
       ""},
      {{"SELECT azon, varos FROM \"VEVOK.DB\" WHERE azon = 1", "--format=jsonl"},
       0,
       "{\"AZON\":1,\"VAROS\":\"Győr\"}\n",
       ""},
      {{"select azon, nev from vevok where azon=3"},
       0,
       "AZON | NEV\n-----+-----------\n3    | Szűcs Réka\n(1 row)\n",
       ""},
      // A single statement runs without a closing ";".
      {{"UPDATE vevok SET varos = 'Pécs' WHERE azon <= :N", "--param", "n=2"},
       0,
       "SQL futtatása kész, 2 sor.\n",
       ""},
      {{"select count(*) from vevok where varos = 'Pécs' and azon < 3", "--format=csv"},
       0,
       "count(*)\n2\n",
       ""},
      {{"UPDATE vevok SET varos = 'x' WHERE azon = :N"},
       1,
       "",
       "tablorix-cli: no --param given for N\nSQL error:\n'' is not a valid integer value"},
      {{"SELECT *\nFROM vevok WHER azon = 1"},
       1,
       "",
       "SQL error:\nnear \"azon\": syntax error\nLine Number: 2\nLine: 2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::vector<std::string> args = {"sql", dir};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Cli(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
  }
  // A script is cut at ";": statements run in turn until one fails; what follows the last ";"
  // does not run.
  TempDir scripts;
  const std::string file = scripts.path() + "/s.sql";
  std::ofstream(file) << "UPDATE vevok SET irszam = '1111' WHERE azon = 1;\r\n"
                         "UPDATE vevok SET irszam = '2222' WHERE azon < 4;\r\n"
                         "UPDATE vevok SET irszam = '3333'";
  Result r = Cli({"sql", dir, "-f", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "SQL futtatása kész, 3 sor.\n");
  r = Cli({"sql", dir, "select irszam, count(*) from vevok group by irszam having count(*) < 9",
           "--format=csv"});
  EXPECT_EQ(r.out, "IRSZAM,count(*)\n2222,3\n");
  std::ofstream(file) << "UPDATE vevok SET irszam = '4444' WHERE azon = 1;\r\n"
                         "UPDATE vevok\r\n SETT irszam = '5';\r\n"
                         "UPDATE vevok SET irszam = '6666' WHERE azon = 2;\r\n";
  r = Cli({"sql", dir, "-f", file});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "SQL error:\nnear \"SETT\": syntax error\nLine Number: 3\nLine: 3\n");
  r = Cli({"sql", dir, "select azon, irszam from vevok where azon < 3", "--format=csv"});
  EXPECT_EQ(r.out, "AZON,IRSZAM\n1,4444\n2,2222\n");
}

TEST(CliUsage, BadInvocationsExitWithUsageOrError) {
  TempDir d;
  ASSERT_EQ(Cli({"demo", d.path()}).status, 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"frobnicate", d.path()}, 2, "usage:"},
      {{"pack", d.path()}, 2, "usage:"},
      {{"demo", d.path(), "--forse"}, 2, "usage:"},
      {{"add-index", d.path(), "VEVOK", "X", "NEV", "--bogus"}, 2, "usage:"},
      {{"pack", d.path(), "NINCS"}, 1, "Sikertelen megnyitás\n"},
      {{"add-index", d.path(), "VEVOK", "X", "NINCS"}, 1, "tablorix-cli: Field not found: NINCS"},
      {{"add-index", d.path(), "VEVOK", "", "NEV", "--primary"}, 1, "tablorix-cli: "},
      {{"add-index", d.path(), "VEVOK", "Egyedi", "VAROS", "--unique"},
       1,
       "tablorix-cli: Key violation"},
      {{"drop-index", d.path(), "VEVOK", "NINCS"}, 1, "tablorix-cli: "},
      {{"sql", d.path()}, 2, "usage:"},
      {{"sql", d.path(), "-f"}, 2, "usage:"},
      {{"sql", d.path(), "select 1", "--format=xml"}, 2, "usage:"},
      {{"sql", d.path(), "-f", d.path() + "/nincs.sql"}, 1, "tablorix-cli: cannot read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    const Result r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
  }
}

}  // namespace
