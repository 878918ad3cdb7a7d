// Engine-flavour scripts with data run back through our engine, cut at ";" as the SQL window
// cuts them, into an empty directory: every table comes back with the same fields and rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/demo_database.h"
#include "common/core/Seged.h"
#include "engine/format_settings.h"
#include "engine/sql/sql_session.h"
#include "scripts/core/create_table_script.h"
#include "scripts/core/database_script.h"
#include "scripts/tests/script_fixture.h"
#include "workspace/core/run_sql.h"

namespace tablorix::scripts {
namespace {

std::string Show(const Value& v) {
  std::string t = FormatValue(v);
  return std::to_string(int(v.kind())) + ":" + t;
}

// Runs `script` as the SQL window does: statement by statement, cut at every ";".
void RunScript(const std::string& directory, const std::string& script) {
  Session s;
  s.DbOpenDatabase(directory);
  SqlSession sql(s);
  for (const std::string& statement : workspace::CutStatements(script)) {
    if (workspace::IsEmptyStatement(statement)) continue;
    try {
      sql.Prepare(statement)->Exec();
    } catch (const EngineError& e) {
      ADD_FAILURE() << e.what() << "\nin: " << statement.substr(0, 200);
    }
  }
}

// The first difference between the table in the two directories, or "".
std::string CompareTables(const std::string& from_dir, const std::string& to_dir,
                          const std::string& table) {
  Session a, b;
  a.DbOpenDatabase(from_dir);
  b.DbOpenDatabase(to_dir);
  auto x = a.DbOpenTable(table);
  auto y = b.DbOpenTable(table);
  const auto &fx = x->DbFieldDefs(), &fy = y->DbFieldDefs();
  if (fx.size() != fy.size()) return "field count";
  for (size_t i = 0; i < fx.size(); ++i) {
    if (common::LowerCase(fx[i].name) != fy[i].name) return "name of field " + fx[i].name;
    if (fx[i].type != fy[i].type) return "type of field " + fx[i].name;
    if (fx[i].type == TFieldType::ftString && fx[i].size != fy[i].size)
      return "width of field " + fx[i].name;
  }
  if (x->RowCount() != y->RowCount())
    return "row count " + std::to_string(x->RowCount()) + " / " + std::to_string(y->RowCount());
  int64_t row = 0;
  for (x->First(), y->First(); !x->Eof() && !y->Eof(); x->Next(), y->Next(), ++row)
    for (int i = 0; i < int(fx.size()); ++i)
      if (!(x->AsVariant(i) == y->AsVariant(i)))
        return "row " + std::to_string(row) + " field " + fx[size_t(i)].name + ": " +
               Show(x->AsVariant(i)) + " / " + Show(y->AsVariant(i));
  return {};
}

std::string Compare(const std::string& from_dir, const std::string& to_dir,
                    const std::string& table) {
  try {
    return CompareTables(from_dir, to_dir, table);
  } catch (const EngineError& e) {
    return e.what();
  }
}

// Scripts every readable table of `from_dir`, runs the script into an empty directory and
// compares. Returns the tables checked.
std::vector<std::string> RoundTrip(const std::string& from_dir) {
  std::vector<std::string> tables;
  std::string script;
  {
    Session s;
    s.DbOpenDatabase(from_dir);
    for (const std::string& t : s.DbListTables()) {
      std::string part;
      try {
        part = CreateTableScript(s, t, SqlFlavour::kEngine) + "\r\n" +
               TableDataScript(s, t, SqlFlavour::kEngine, FormatSettings{}) + "\r\n";
      } catch (const EngineError&) {
        continue;  // a table our engine cannot read (a password it lacks, say)
      }
      tables.push_back(t);
      script += part;
    }
  }
  testing::ScratchDir to;
  RunScript(to.path(), script);
  for (const std::string& t : tables) EXPECT_EQ(Compare(from_dir, to.path(), t), "") << t;
  return tables;
}

TEST(ScriptRoundTrip, DemoDatabase) {
  testing::ScratchDir from;
  const auto written = demo::WriteDemoDatabase(from.path(), false);
  // The whole-database script is the one the program writes.
  Session s;
  s.DbOpenDatabase(from.path());
  const std::string script = DatabaseScript(s, SqlFlavour::kEngine, true, FormatSettings{});
  testing::ScratchDir to;
  RunScript(to.path(), script);
  for (const auto& [table, rows] : written) {
    EXPECT_EQ(Compare(from.path(), to.path(), table), "") << table;
    EXPECT_GT(rows, 0) << table;
  }
}

TEST(ScriptRoundTrip, FixtureTables) {
  for (const char* folder : {"fields", "indexes", "encrypted"}) {
    SCOPED_TRACE(folder);
    const auto tables = RoundTrip(std::string(TABLORIX_TEST_DATA) + "/paradox/" + folder);
    EXPECT_FALSE(tables.empty());
  }
}

TEST(ScriptRoundTrip, HardValues) {
  testing::ScratchDir from;
  {
    Session s;
    s.DbOpenDatabase(from.path());
    const double stamp = double(testing::Day(1999, 12, 31)) * double(kMsPerDay) + 86399999;
    testing::MakeTable(
        s, "Hard",
        {{"Id", paradox::kAutoInc, 0},
         {"Txt", paradox::kAlpha, 40},
         {"Memo", paradox::kMemo, 10},
         {"Stamp", paradox::kTimestamp, 0},
         {"At", paradox::kTime, 0},
         {"Raw", paradox::kBytes, 4},
         {"Pic", paradox::kGraphic, 10},
         {"Num", paradox::kNumber, 0},
         {"Fmt", paradox::kFmtMemo, 10}},
        1,
        {{Value::Int(1), Value::Text("a;b 'c' \\d"), Value::Text("x;\r\ny;;"),
          Value::DateTime(stamp), Value::Time(3723004), Value::Bytes(std::string("\0\1;\xFF", 4)),
          Value::Bytes("\x89PNG;"), Value::Double(-1.0 / 3), Value::Text(std::string("r\0;t", 4))},
         {Value::Int(2), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
          Value::Null(), Value::Null(), Value::Null()}});
  }
  EXPECT_EQ(RoundTrip(from.path()).size(), 1u);
}

}  // namespace
}  // namespace tablorix::scripts
