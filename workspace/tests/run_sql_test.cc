// Running an SQL window's text: what runs, what the user is asked and told, and the caption
// after an error, over a real table.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"
#include "workspace/core/run_sql.h"

namespace tablorix::workspace {
namespace {

using writer_check::TempDir;

const std::string kDone = "SQL futtat\xE1sa k\xE9sz";

// Records what RunSql asks of the window, in order.
class FakeHost : public RunSqlHost {
 public:
  std::deque<std::string> answers;  // typed into the parameter prompts
  std::vector<std::string> events;
  std::vector<std::string> result_columns;

  bool InputText(const std::string& caption, const std::string& prompt,
                 std::string* value) override {
    events.push_back("prompt " + caption + ": " + prompt);
    if (answers.empty()) return false;
    *value = answers.front();
    answers.pop_front();
    return true;
  }
  void ShowError(const std::string& text) override { events.push_back("error " + text); }
  void ShowInfo(const std::string& text) override { events.push_back("info " + text); }
  void SetCaption(const std::string& text) override { events.push_back("caption " + text); }
  void OpenResult(std::unique_ptr<SqlStatement> st) override {
    auto r = st->Query();
    int rows = 0;
    while (r->Next()) ++rows;
    events.push_back("result " + std::to_string(rows) + " rows");
  }
  void RefreshLists() override { events.push_back("refresh"); }
};

class RunSqlTest : public ::testing::Test {
 protected:
  void SetUp() override { s.DbOpenDatabase(dir.path()); }
  // Three rows: ID 1..3, N 0, S null.
  void MakeTable() {
    s.DbCreateTable(
        "T", {{"ID", paradox::kLong, 0}, {"N", paradox::kLong, 0}, {"S", paradox::kAlpha, 20}}, 1);
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("T", w);
    for (int i = 1; i <= 3; ++i) {
      c->Insert();
      c->SetValue("ID", Value::Int(i));
      c->SetValue("N", Value::Int(0));
      c->Post();
    }
  }
  std::string Ns() {
    auto c = s.DbOpenTable("T");
    std::string out;
    for (c->First(); !c->Eof(); c->Next())
      out += c->AsText("N") + (c->IsNull("S") ? "" : c->AsText("S")) + " ";
    return out;
  }
  TempDir dir;
  Session s;
};

TEST_F(RunSqlTest, WhatRunsAndWhatTheUserIsTold) {
  const std::string kSyntax = "error SQL error:\r\nnear \"SETT\": syntax error\nLine Number: ";
  struct Case {
    const char* name;
    std::string text;
    std::deque<std::string> answers;
    std::vector<std::string> events;
    std::string ns;  // N (and S) of the three rows afterwards
  };
  const Case cases[] = {
      {"empty text", "", {}, {"info " + kDone + ".", "refresh"}, "0 0 0 "},
      {"blanks only", " \r\n\t", {}, {"info " + kDone + ".", "refresh"}, "0 0 0 "},
      {"no closing ;", "UPDATE T SET N=1", {}, {"info " + kDone + ".", "refresh"}, "0 0 0 "},
      {"two statements: the count of the second",
       "UPDATE T SET N=1;\r\nUPDATE T SET N=2 WHERE ID<3;\r\n",
       {},
       {"info " + kDone + ", 2 sor.", "refresh"},
       "2 2 1 "},
      {"last statement changed nothing",
       "UPDATE T SET N=1;\r\nUPDATE T SET N=2 WHERE ID>9;",
       {},
       {"info " + kDone + ".", "refresh"},
       "1 1 1 "},
      {"what follows the last ; is not run",
       "UPDATE T SET N=1 WHERE ID=1; UPDATE T SET N=2",
       {},
       {"info " + kDone + ", 1 sor.", "refresh"},
       "1 0 0 "},
      {";; runs an empty statement that fails",
       "UPDATE T SET N=4 WHERE ID=1;;UPDATE T SET N=5;",
       {},
       {"error SQL error:\r\nEmpty statement: nothing to run"},
       "4 0 0 "},
      {"; inside quotes ends the statement",
       "UPDATE T SET S='a;b' WHERE ID=1;",
       {},
       {"error SQL error:\r\nunrecognized token: \"'a\"\nLine Number: 1", "caption 1"},
       "0 0 0 "},
      {"error line counted in the statement",
       "UPDATE T SET N=1;\r\nUPDATE\r\n  T SETT N=2;",
       {},
       {kSyntax + "3", "caption 3"},
       "1 1 1 "},
      {"parameters are prompted for in order",
       "UPDATE T SET N=:NEW WHERE ID=:WHICH;",
       {"7", " 2 "},
       {"prompt Add param value: NEW", "prompt Add param value: WHICH",
        "info " + kDone + ", 1 sor.", "refresh"},
       "0 7 0 "},
      {"a parameter that is not an integer fails",
       "UPDATE T SET N=:V;",
       {"X1"},
       {"prompt Add param value: V",
        "error SQL error:\r\n'X1' is not a valid integer value for the parameter V"},
       "0 0 0 "},
      {"a cancelled prompt gives an empty value",
       "UPDATE T SET N=:V;",
       {},
       {"prompt Add param value: V",
        "error SQL error:\r\n'' is not a valid integer value for the parameter V"},
       "0 0 0 "},
      {"lower-case select opens a result",
       "  select * from T where ID>1",
       {},
       {"result 2 rows"},
       "0 0 0 "},
      {"only the first six characters count",
       "SELECTX",
       {},
       {"error SQL error:\r\nnear \"SELECTX\": syntax error\nLine Number: 1", "caption 1"},
       "0 0 0 "},
      {"a comment first makes it a script",
       "-- list\r\nSELECT * FROM T;",
       {},
       {"info " + kDone + ".", "refresh"},
       "0 0 0 "},
      {"a select with parameters is not prompted",
       "SELECT * FROM T WHERE ID=:X",
       {},
       {"error SQL error:\r\nNo value given for the parameter X"},
       "0 0 0 "},
      {"a select that fails puts its line in the caption",
       "SELECT *\r\nFROM T WHER ID=1",
       {},
       {"error SQL error:\r\nnear \"ID\": syntax error\nLine Number: 2", "caption 2"},
       "0 0 0 "},
      {"a message without a line leaves the caption",
       "SELECT * FROM NINCS",
       {},
       {"error SQL error:\r\nno such table: NINCS"},
       "0 0 0 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTable();
    SqlSession sql(s);
    FakeHost host;
    host.answers = c.answers;
    RunSql(sql, c.text, host);
    EXPECT_EQ(host.events, c.events);
    EXPECT_EQ(Ns(), c.ns);
    s.DbDeleteTable("T");
  }
}

TEST(ErrorLineNumber, ReadsTheNumberAfterTheMarker) {
  EXPECT_EQ(ErrorLineNumber("x\nLine Number: 12", "Line"), 12);
  EXPECT_EQ(ErrorLineNumber("x\nLine Number:   7 \r\n", kLineMarker), 7);
  // Without the marker the whole message is read.
  EXPECT_EQ(ErrorLineNumber("Line Number: 4", "Token:"), 4);
  EXPECT_THROW(ErrorLineNumber("Key violation", "Line"), EngineError);
  EXPECT_THROW(ErrorLineNumber("x\nLine Number: 3\nmore", "Line"), EngineError);
}

TEST(CutStatements, CutsAtEverySemicolon) {
  std::string rest;
  EXPECT_EQ(CutStatements("a;'b;c';;d", &rest), (std::vector<std::string>{"a", "'b", "c'", ""}));
  EXPECT_EQ(rest, "d");
  EXPECT_TRUE(CutStatements("", &rest).empty());
  EXPECT_TRUE(IsSelectText("\r\n\tSeLeCt 1"));
  EXPECT_FALSE(IsSelectText("SELEC"));
  EXPECT_TRUE(IsEmptyStatement(" -- x\r\n /* y */ "));
  EXPECT_FALSE(IsEmptyStatement("/* open"));
}

}  // namespace
}  // namespace tablorix::workspace
