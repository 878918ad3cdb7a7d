// The new-table designer: the row store's numbering, "Fel", "Le" and deletion, the pending row
// as the grid leaves it, and the CREATE TABLE statement run through the engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"
#include "scripts/core/TablaCsinal.h"

namespace tablorix::scripts {
namespace {

int Code(const std::string& name) {
  for (const auto& t : TablaCsinalTypeList())
    if (t.adattipus_nev == name) return t.adattipus;
  ADD_FAILURE() << "no type " << name;
  return 0;
}

void AddRow(TablaCsinalRows& rows, const std::string& name) {
  rows.Append();
  rows.SetName(name);
  rows.Post();
}

// Field names in store order, each with its number: "a1 b2 c3".
std::string Numbers(const TablaCsinalRows& rows) {
  std::string out;
  for (size_t i = 0; i < rows.RecordCount(); ++i) {
    const auto& r = rows.Row(i);
    if (!out.empty()) out += ' ';
    out += r.mezonev.value_or("?") + (r.sorszam ? std::to_string(*r.sorszam) : "-");
  }
  return out;
}

TEST(NewTableStatement, ExampleRunsThroughTheEngine) {
  TablaCsinalRows rows;
  rows.Append();
  rows.SetName("Id");
  rows.SetTypeName("Autoinc - AUTOINC");
  rows.Append();
  rows.SetName("Name");
  rows.SetType(Code("String - CHAR(n)"));
  rows.SetLength(40);
  rows.Append();
  rows.SetName("Born");
  rows.SetTypeName("Date - DATE");
  const std::string statement = NewTableStatement("Partner", rows);
  EXPECT_EQ(statement,
            "CREATE TABLE Partner(\r\n"
            " Id AUTOINC,\r\n"
            " Name CHAR(40),\r\n"
            " Born DATE\r\n"
            ");\r\n");

  writer_check::TempDir dir;
  Session session;
  session.DbOpenDatabase(dir.path());
  SqlSession sql(session);
  sql.Prepare(statement)->Exec();
  auto c = session.DbOpenTable("Partner");
  ASSERT_EQ(c->DbFieldDefs().size(), 3u);
  EXPECT_EQ(c->DbFieldDefs()[0].type, TFieldType::ftAutoInc);
  EXPECT_EQ(c->DbFieldDefs()[1].type, TFieldType::ftString);
  EXPECT_EQ(c->DbFieldDefs()[1].size, 40);
  EXPECT_EQ(c->DbFieldDefs()[2].type, TFieldType::ftDate);
}

TEST(NewTableStatement, NothingIsValidated) {
  TablaCsinalRows none;
  EXPECT_EQ(NewTableStatement("Empty", none), "CREATE TABLE Empty(\r\n);\r\n");

  TablaCsinalRows rows;
  rows.Append();
  rows.SetName("S");
  rows.SetType(Code("String - CHAR(n)"));  // no length
  rows.Append();
  rows.SetLength(5);  // no name, the default type
  rows.Append();
  rows.SetName("X");
  rows.SetType(std::nullopt);  // no type
  EXPECT_EQ(NewTableStatement("", rows),
            "CREATE TABLE (\r\n"
            " S CHAR(),\r\n"
            "  FLOAT,\r\n"
            " X \r\n"
            ");\r\n");
}

TEST(TablaCsinalRows, NewRowsTakeTheDefaultTypeAndTheNextNumber) {
  TablaCsinalRows rows;
  rows.Append();
  EXPECT_EQ(rows.Row(0).adattipus, kDefaultTypeCode);
  EXPECT_EQ(rows.TypeName(0), "Float - FLOAT");
  EXPECT_FALSE(rows.Row(0).sorszam);  // numbered when posted
  rows.SetName("a");
  rows.Post();
  AddRow(rows, "b");
  AddRow(rows, "c");
  // A row inserted in the middle takes the next number and keeps its place.
  rows.MoveTo(1);
  rows.Insert();
  rows.SetName("m");
  rows.Post();
  EXPECT_EQ(Numbers(rows), "a1 m4 b2 c3");
  EXPECT_EQ(NewTableStatement("T", rows),
            "CREATE TABLE T(\r\n a FLOAT,\r\n m FLOAT,\r\n b FLOAT,\r\n c FLOAT\r\n);\r\n");
}

TEST(TablaCsinalRows, LeavingARowPostsItOrDropsAnUntouchedNewOne) {
  TablaCsinalRows rows;
  AddRow(rows, "a");
  AddRow(rows, "b");
  rows.Append();  // untouched: only the default type
  rows.MoveTo(0);
  EXPECT_EQ(Numbers(rows), "a1 b2");
  EXPECT_EQ(rows.Current(), 0u);

  rows.MoveTo(0);
  rows.Insert();  // untouched, before a: leaving it for b must land on b
  EXPECT_EQ(rows.RecordCount(), 3u);
  rows.MoveTo(2);
  EXPECT_EQ(Numbers(rows), "a1 b2");
  EXPECT_EQ(rows.Current(), 1u);

  rows.Append();
  rows.SetLength(3);  // touched
  rows.MoveTo(0);
  EXPECT_EQ(Numbers(rows), "a1 b2 ?3");

  // An edit of a posted row is posted when the row is left, undone by Cancel.
  rows.SetName("z");
  rows.Cancel();
  rows.MoveTo(1);
  rows.SetName("B");
  rows.MoveTo(0);
  EXPECT_EQ(Numbers(rows), "a1 B2 ?3");
}

TEST(TablaCsinalRows, DeletionNumbersTheRowsAgainInStoreOrder) {
  TablaCsinalRows rows;
  rows.Delete();  // nothing to delete
  AddRow(rows, "a");
  AddRow(rows, "b");
  AddRow(rows, "c");
  rows.MoveTo(1);
  rows.Delete();
  EXPECT_EQ(Numbers(rows), "a1 c2");
  EXPECT_EQ(rows.Current(), 1u);
  rows.Delete();  // the last row: the cursor goes to the new last one
  EXPECT_EQ(Numbers(rows), "a1");
  EXPECT_EQ(rows.Current(), 0u);

  // Numbers that "Fel" exchanged follow the store order again after a deletion.
  AddRow(rows, "b");
  AddRow(rows, "c");
  rows.Up();  // c2 b3
  rows.Append();
  rows.SetName("d");
  rows.Delete();  // a pending new row is dropped; the others are numbered again
  EXPECT_EQ(Numbers(rows), "a1 b2 c3");
  rows.Delete();
  rows.Delete();
  rows.Delete();
  EXPECT_TRUE(rows.Empty());
}

TEST(TablaCsinalRows, UpAndDownExchangeNumbersOnly) {
  struct Case {
    size_t current;
    bool up;
    const char* numbers;
  } cases[] = {
      {1, true, "a2 b1 c3"},  {1, false, "a1 b3 c2"}, {0, true, "a1 b2 c3"},
      {2, false, "a1 b2 c3"}, {0, false, "a2 b1 c3"}, {2, true, "a1 b3 c2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.current) + (c.up ? " Fel" : " Le"));
    TablaCsinalRows rows;
    AddRow(rows, "a");
    AddRow(rows, "b");
    AddRow(rows, "c");
    rows.MoveTo(c.current);
    if (c.up) {
      rows.Up();
    } else {
      rows.Down();
    }
    EXPECT_EQ(Numbers(rows), c.numbers);
    EXPECT_EQ(rows.Current(), c.current);
    // The rows did not move: the statement lists them as added.
    EXPECT_EQ(NewTableStatement("T", rows),
              "CREATE TABLE T(\r\n a FLOAT,\r\n b FLOAT,\r\n c FLOAT\r\n);\r\n");
  }

  // A row being typed is posted before it moves up.
  TablaCsinalRows rows;
  AddRow(rows, "a");
  rows.Append();
  rows.SetName("b");
  rows.Up();
  EXPECT_EQ(Numbers(rows), "a2 b1");
}

// Past 999 rows a temporary number of 999 would clash with a real one.
TEST(TablaCsinalRows, UpAndDownKeepNumbersDistinctInALargeDesign) {
  TablaCsinalRows rows;
  for (int i = 1; i <= 1000; ++i) AddRow(rows, "f" + std::to_string(i));
  rows.MoveTo(997);
  rows.Down();  // 998 <-> 999
  rows.MoveTo(999);
  rows.Up();  // 1000 <-> 999
  std::vector<int> numbers;
  for (size_t i = 0; i < rows.RecordCount(); ++i) numbers.push_back(*rows.Row(i).sorszam);
  EXPECT_EQ(numbers[997], 1000);
  EXPECT_EQ(numbers[998], 998);
  EXPECT_EQ(numbers[999], 999);
  std::sort(numbers.begin(), numbers.end());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(numbers[size_t(i)], i + 1);
}

}  // namespace
}  // namespace tablorix::scripts
