// Data scripts of both flavours byte for byte: value forms, nulls, batching, and the
// whole-database layout.
#include "scripts/core/database_script.h"

#include <gtest/gtest.h>

#include "scripts/core/create_table_script.h"
#include "scripts/tests/script_fixture.h"

namespace tablorix::scripts {
namespace {

using testing::Day;
using testing::MakeTable;

// Counts the rows of each statement of a MySQL-flavour data script.
std::vector<int> StatementSizes(const std::string& script) {
  std::vector<int> sizes;
  size_t at = 0;
  while ((at = script.find("\r\n", at)) != std::string::npos) {
    const size_t start = script.rfind("\r\n", at - 1);
    const std::string line = script.substr(start == std::string::npos ? 0 : start + 2,
                                           at - (start == std::string::npos ? 0 : start + 2));
    at += 2;
    if (line.rfind("INSERT INTO ", 0) == 0)
      sizes.push_back(0);
    else if (!sizes.empty())
      ++sizes.back();
  }
  return sizes;
}

class DataScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { s_.DbOpenDatabase(dir_.path()); }
  std::string Data(const std::string& table, SqlFlavour flavour) {
    return TableDataScript(s_, table, flavour, FormatSettings{});
  }
  testing::ScratchDir dir_;
  Session s_;
};

TEST_F(DataScriptTest, CustomerRowsInBothFlavours) {
  MakeTable(
      s_, "Customer",
      {{"CustNo", paradox::kNumber, 0},
       {"Name", paradox::kAlpha, 30},
       {"City", paradox::kAlpha, 20},
       {"Since", paradox::kDate, 0}},
      1,
      {{Value::Double(1001), Value::Text("O'Brien"), Value::Null(), Value::Date(Day(2005, 3, 15))},
       {Value::Double(1002), Value::Text("C:\\Temp"), Value::Null(),
        Value::Date(Day(2006, 1, 2))}});
  EXPECT_EQ(Data("Customer", SqlFlavour::kEngine),
            "INSERT INTO Customer (custno,name,since)\r\n"
            "VALUES (1001,'O''Brien','03/15/2005');\r\n"
            "INSERT INTO Customer (custno,name,since)\r\n"
            "VALUES (1002,'C:\\Temp','01/02/2006');\r\n");
  EXPECT_EQ(Data("Customer", SqlFlavour::kMySql),
            "INSERT INTO customer (custno,name,city,since) VALUES\r\n"
            "(1001,'O''Brien',null,'2005-03-15'),\r\n"
            "(1002,'C:\\\\Temp',null,'2006-01-02');\r\n");
}

// One field of each kind, one row; the value's form in each flavour.
TEST_F(DataScriptTest, ValueFormsOfEveryType) {
  const double stamp = double(Day(2005, 3, 15)) * double(kMsPerDay) + 10.5 * 3600000 + 250;
  struct Case {
    const char* what;
    NewFieldDef field;
    Value value;
    const char* engine;
    const char* mysql;
  } cases[] = {
      {"decimal comma", {"F", paradox::kNumber, 0}, Value::Double(12.5), "12.5", "12.5"},
      {"negative money", {"F", paradox::kCurrency, 0}, Value::Double(-3.25), "-3.25", "-3.25"},
      {"integer", {"F", paradox::kLong, 0}, Value::Int(-70000), "-70000", "-70000"},
      {"smallint", {"F", paradox::kShort, 0}, Value::Int(12), "12", "12"},
      {"logical", {"F", paradox::kLogical, 0}, Value::Bool(true), "True", "True"},
      {"date",
       {"F", paradox::kDate, 0},
       Value::Date(Day(2007, 1, 5)),
       "'01/05/2007'",
       "'2007-01-05'"},
      {"time",
       {"F", paradox::kTime, 0},
       Value::Time(9 * 3600000 + 5 * 60000),
       "'9:05:00'",
       "'9:05:00'"},
      // The engine keeps milliseconds; MySQL's DATETIME holds whole seconds, and the time of
      // day is kept (a date alone would lose it).
      {"timestamp",
       {"F", paradox::kTimestamp, 0},
       Value::DateTime(stamp),
       "'03/15/2005 10:30:00.250'",
       "'2005-03-15 10:30:00'"},
      {"line break", {"F", paradox::kAlpha, 20}, Value::Text("a\r\nb"), "'a\r\nb'", "'a\\r\\nb'"},
      {"backslash and quote",
       {"F", paradox::kAlpha, 20},
       Value::Text("x\\'y"),
       "'x\\''y'",
       "'x\\\\''y'"},
      // The SQL window cuts its text at every ";", so the engine flavour keeps it out of the
      // literal.
      {"semicolon", {"F", paradox::kAlpha, 20}, Value::Text("a;b"), "'a'||CHAR(59)||'b'", "'a;b'"},
      {"memo",
       {"F", paradox::kMemo, 10},
       Value::Text("Sor 1\r\nSor 2"),
       "'Sor 1\r\nSor 2'",
       "'Sor 1\\r\\nSor 2'"},
      {"memo holding NUL",
       {"F", paradox::kMemo, 10},
       Value::Text(std::string("a\0b", 3)),
       "X'610062'",
       "'a\\0b'"},
      {"bytes",
       {"F", paradox::kBytes, 3},
       Value::Bytes(std::string("\x00\xAB\x7F", 3)),
       "X'00AB7F'",
       "X'00AB7F'"},
      {"blob", {"F", paradox::kBlob, 10}, Value::Bytes("\x01\xFF"), "X'01FF'", "X'01FF'"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string table = "v" + std::to_string(n++);
    MakeTable(s_, table, {c.field}, 0, {{c.value}});
    EXPECT_EQ(Data(table, SqlFlavour::kEngine),
              "INSERT INTO " + table + " (f)\r\nVALUES (" + c.engine + ");\r\n")
        << c.what;
    EXPECT_EQ(Data(table, SqlFlavour::kMySql),
              "INSERT INTO " + table + " (f) VALUES\r\n(" + c.mysql + ");\r\n")
        << c.what;
  }
}

TEST_F(DataScriptTest, AllNullRowStillInsertsARow) {
  MakeTable(s_, "N", {{"A", paradox::kAlpha, 5}, {"B", paradox::kLong, 0}}, 0,
            {{Value::Null(), Value::Null()}});
  EXPECT_EQ(Data("N", SqlFlavour::kEngine), "INSERT INTO N (a)\r\nVALUES (NULL);\r\n");
  EXPECT_EQ(Data("N", SqlFlavour::kMySql), "INSERT INTO n (a,b) VALUES\r\n(null,null);\r\n");
}

TEST_F(DataScriptTest, MySqlHeaderLowersOnlyAsciiLetters) {
  MakeTable(s_, "H", {{"\xC1r", paradox::kLong, 0}}, 0, {{Value::Int(1)}});
  EXPECT_EQ(Data("H", SqlFlavour::kMySql), "INSERT INTO h (\xC1r) VALUES\r\n(1);\r\n");
  EXPECT_EQ(Data("H", SqlFlavour::kEngine), "INSERT INTO H (\xE1r)\r\nVALUES (1);\r\n");
}

TEST_F(DataScriptTest, MySqlBatchesOf49ThenFifty) {
  struct Case {
    int rows;
    std::vector<int> sizes;
  } cases[] = {{1, {1}},       {49, {49}},          {50, {49, 1}},
               {99, {49, 50}}, {149, {49, 50, 50}}, {150, {49, 50, 50, 1}}};
  for (const auto& c : cases) {
    const std::string table = "B" + std::to_string(c.rows);
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < c.rows; ++i) rows.push_back({Value::Int(i + 1)});
    MakeTable(s_, table, {{"Id", paradox::kLong, 0}}, 1, rows);
    const std::string script = Data(table, SqlFlavour::kMySql);
    EXPECT_EQ(StatementSizes(script), c.sizes) << c.rows;
    // Every statement ends with ");" and every other row line with "),".
    size_t ends = 0, pos = 0;
    while ((pos = script.find(");\r\n", pos)) != std::string::npos) ++ends, ++pos;
    EXPECT_EQ(ends, c.sizes.size()) << c.rows;
  }
  EXPECT_EQ(Data("B50", SqlFlavour::kMySql).substr(0, 41),
            "INSERT INTO b50 (id) VALUES\r\n(1),\r\n(2),\r\n");
}

TEST_F(DataScriptTest, KeywordTableNameQuotedInEngineInserts) {
  MakeTable(s_, "case", {{"C", paradox::kAlpha, 4}}, 0, {{Value::Text("x")}});
  EXPECT_EQ(Data("case", SqlFlavour::kEngine), "INSERT INTO \"case\" (c)\r\nVALUES ('x');\r\n");
}

TEST_F(DataScriptTest, EmptyTableGivesNothing) {
  MakeTable(s_, "E", {{"A", paradox::kLong, 0}}, 0);
  EXPECT_EQ(Data("E", SqlFlavour::kEngine), "");
  EXPECT_EQ(Data("E", SqlFlavour::kMySql), "");
}

TEST_F(DataScriptTest, DatabaseScriptPartsEachFollowedByAnEmptyLine) {
  MakeTable(s_, "Customer", {{"CustNo", paradox::kLong, 0}}, 1, {{Value::Int(7)}});
  MakeTable(s_, "Log", {{"Note", paradox::kAlpha, 4}}, 0);
  const FormatSettings fs;
  const std::string customer = CreateTableScript(s_, "Customer", SqlFlavour::kEngine);
  const std::string log = CreateTableScript(s_, "Log", SqlFlavour::kEngine);
  EXPECT_EQ(DatabaseScript(s_, SqlFlavour::kEngine, true, fs),
            customer + "\r\n" + "INSERT INTO Customer (custno)\r\nVALUES (7);\r\n\r\n" + log +
                "\r\n\r\n");
  EXPECT_EQ(DatabaseScript(s_, SqlFlavour::kEngine, false, fs), customer + "\r\n" + log + "\r\n");
  EXPECT_EQ(DatabaseScript(s_, SqlFlavour::kMySql, true, fs),
            CreateTableScript(s_, "Customer", SqlFlavour::kMySql) + "\r\n" +
                "INSERT INTO customer (custno) VALUES\r\n(7);\r\n\r\n" +
                CreateTableScript(s_, "Log", SqlFlavour::kMySql) + "\r\n\r\n");
}

TEST(DatabaseScript, EmptyDirectoryGivesEmptyText) {
  testing::ScratchDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  EXPECT_EQ(DatabaseScript(s, SqlFlavour::kMySql, true, FormatSettings{}), "");
}

}  // namespace
}  // namespace tablorix::scripts
