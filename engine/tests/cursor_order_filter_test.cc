// Filtered and ordered cursors: the filter language over every field type, and orders by the
// primary and secondary indexes of keyed and unkeyed tables, navigated both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

namespace tablorix {
namespace {

using writer_check::TempDir;

const std::vector<NewFieldDef> kFruit = {
    {"ID", paradox::kLong, 0},   {"NEV", paradox::kAlpha, 20}, {"DARAB", paradox::kShort, 0},
    {"AR", paradox::kNumber, 0}, {"NAP", paradox::kDate, 0},   {"OK", paradox::kLogical, 0},
    {"IDO", paradox::kTime, 0},
};

struct Row {
  int id;
  const char* nev;  // nullptr: blank
  const char* darab;
  const char* ar;
  const char* nap;
  const char* ok;
  const char* ido;
};

// Windows-1250: \xF6 = ö.
const Row kRows[] = {
    {1, "alma", "3", "1.5", "2005-03-15", "true", "08:30:00"},
    {2, "k\xF6rte", "5", "2.25", "2005-03-16", "false", "12:00:00"},
    {3, "Alma", "3", nullptr, "2006-01-01", "true", nullptr},
    {4, "barack", "0", "10", nullptr, "false", "23:59:59"},
    {5, nullptr, "7", "0.5", "2005-03-15", "true", "08:30:00"},
    {6, "ab'c", nullptr, "1", "2005-03-17", "false", nullptr},
    {7, "almafa", "2", "3", "2004-12-31", nullptr, "00:00:01"},
};

void Fill(Session& s, const std::string& table, int key_fields) {
  s.DbCreateTable(table, kFruit, key_fields);
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable(table, w);
  for (const Row& r : kRows) {
    c->Insert();
    c->SetValue("ID", Value::Int(r.id));
    const char* v[] = {r.nev, r.darab, r.ar, r.nap, r.ok, r.ido};
    for (int f = 0; f < 6; ++f)
      if (v[f]) c->SetValue(f + 1, Value::Text(v[f]));
    c->Post();
  }
}

// IDs forward from the first row, checking RecNo on the way; then backward from the last.
std::vector<int> Forward(Cursor& c) {
  std::vector<int> ids;
  c.First();
  while (!c.Eof()) {
    EXPECT_EQ(c.RecNo(), int64_t(ids.size() + 1));
    ids.push_back(int(c.AsVariant("ID").as_int()));
    c.Next();
  }
  return ids;
}

std::vector<int> Backward(Cursor& c) {
  c.First();
  while (!c.Eof()) c.Next();
  std::vector<int> ids;
  const int64_t n = c.RecNo();
  while (!c.Bof()) {
    EXPECT_EQ(c.RecNo(), n - int64_t(ids.size()));
    ids.insert(ids.begin(), int(c.AsVariant("ID").as_int()));
    c.Prior();
  }
  return ids;
}

using Ids = std::vector<int>;

TEST(CursorFilter, Expressions) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  Fill(s, "fruit", 1);
  auto c = s.DbOpenTable("fruit");
  const struct {
    const char* expression;
    Ids ids;
  } cases[] = {
      {"(NEV='alma')", {1}},  // exact: case counts
      {"(NEV='Alma')", {3}},
      {"(NEV='k\xF6rte')", {2}},
      {"(NEV='alma') and (DARAB<>3)", {}},
      {"(NEV='alma*')", {1, 7}},
      {"NEV <> 'alma*'", {2, 3, 4, 5, 6}},
      {"NEV = 'ab''c'", {6}},
      {"NEV < 'b'", {1, 3, 6, 7}},
      {"(DARAB<>3)", {2, 4, 5, 6, 7}},  // a blank differs from 3
      {"DARAB >= 5", {2, 5}},
      {"DARAB<=0", {4}},
      {"AR < 2.25", {1, 5, 6}},
      {"AR > 2,25", {4, 7}},  // the decimal separator of the settings
      {"AR = '2,25'", {2}},
      {"AR = 1", {6}},
      {"NAP = '2005. 03. 15.'", {1, 5}},
      {"NAP >= '2005-03-16'", {2, 3, 6}},
      {"NAP < '2005.03.15.'", {7}},
      {"IDO = '8:30:00'", {1, 5}},
      {"IDO > '12:00:00'", {4}},
      {"OK = true", {1, 3, 5}},
      {"ok=FALSE", {2, 4, 6}},
      {"NEV = ''", {5}},
      {"NEV is null", {5}},
      {"NEV is not null", {1, 2, 3, 4, 6, 7}},
      {"NEV <> ''", {1, 2, 3, 4, 6, 7}},
      {"(AR=)", {3}},  // the blank text of a number
      {"OK = ''", {7}},
      {"not (DARAB=3) or NEV='k\xF6rte'", {2, 4, 5, 6, 7}},
      {"(DARAB=3) AND NOT (NEV='Alma')", {1}},
      {"[nev]='alma' or \"Darab\"=7", {1, 5}},
      {"((ID>1) and (ID<7)) and not (ID=4 or ID=5)", {2, 3, 6}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.expression);
    c->DbSetFilter(t.expression, true);
    EXPECT_EQ(Forward(*c), t.ids);
    EXPECT_EQ(Backward(*c), t.ids);
    EXPECT_EQ(c->RowCount(), 7);
  }

  // Off keeps the expression and shows every row.
  c->DbSetFilter("DARAB >= 5", false);
  EXPECT_EQ(Forward(*c), (Ids{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(c->filter_expression(), "DARAB >= 5");

  // A rejected expression names its fault and position and leaves the filter in force.
  c->DbSetFilter("DARAB >= 5", true);
  const struct {
    const char* expression;
    const char* fault;
  } rejected[] = {
      {"(NEV='alma'", "')' expected at position 12"},
      {"NOPE=1", "unknown field 'NOPE' at position 1"},
      {"DARAB='x'", "a number expected for field DARAB at position 7"},
      {"NEV=3", "quoted text expected"},
      {"NAP='2005. 13. 01.'", "a quoted date expected"},
      {"IDO='25:00:00'", "a quoted time expected"},
      {"OK=1", "true or false expected"},
      {"NEV='abc", "unterminated text at position 5"},
      {"NEV='a' and", "a condition is missing at position 12"},
      {"DARAB ! 3", "unexpected character '!' at position 7"},
      {"DARAB < ''", "a blank can only be compared with = or <>"},
      {"DARAB = 3 3", "unexpected '3' at position 11"},
      {"NEV 'a'", "comparison operator expected at position 5"},
      {"   ", "the expression is empty"},
  };
  for (const auto& r : rejected) {
    SCOPED_TRACE(r.expression);
    try {
      c->DbSetFilter(r.expression, true);
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(r.fault), std::string::npos) << e.what();
    }
    EXPECT_EQ(c->filter_expression(), "DARAB >= 5");
    EXPECT_TRUE(c->filtered());
    EXPECT_EQ(Forward(*c), (Ids{2, 5}));
  }

  // Other formats, set per cursor.
  FormatSettings us;
  us.decimal_separator = '.';
  us.short_date_format = "M/d/yyyy";
  us.long_time_format = "h:mm:ss";
  c->SetFormatSettings(us);
  c->DbSetFilter("NAP = '3/15/2005' or NAP = '2004-12-31'", true);
  EXPECT_EQ(Forward(*c), (Ids{1, 5, 7}));
  EXPECT_THROW(c->DbSetFilter("NAP = '2005. 03. 15.'", true), EngineError);
}

TEST(CursorOrder, PicksIndexesAndWalksBothWays) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  Fill(s, "keyed", 1);
  Fill(s, "heap", 0);
  for (const char* t : {"keyed", "heap"}) {
    s.DbAddIndex(t, "NEV", "NEV", ixCaseInsensitive);
    s.DbAddIndex(t, "DN", "DARAB;NEV", 0);
    s.DbAddIndex(t, "ARLE", "AR", ixDescending);
  }
  for (const char* t : {"keyed", "heap"}) {
    SCOPED_TRACE(t);
    auto c = s.DbOpenTable(t);
    const struct {
      std::vector<std::string> fields;
      Ids ids;
    } cases[] = {
        {{}, {1, 2, 3, 4, 5, 6, 7}},
        {{"nev"}, {5, 6, 1, 3, 7, 4, 2}},  // blank first, letter case ignored, ties in row order
        {{"DARAB", "nev"}, {6, 4, 7, 3, 1, 2, 5}},
        {{"darab"}, {6, 4, 7, 3, 1, 2, 5}},  // the beginning of DARAB;NEV
        {{"AR"}, {4, 7, 2, 1, 6, 5, 3}},     // descending, blank last
    };
    for (const auto& o : cases) {
      SCOPED_TRACE(o.fields.empty() ? "natural" : o.fields[0]);
      c->DbSetOrder(o.fields);
      EXPECT_EQ(Forward(*c), o.ids);
      EXPECT_EQ(Backward(*c), o.ids);
    }
    if (std::string(t) == "keyed") {
      c->DbSetOrder({"id"});
      EXPECT_EQ(Forward(*c), (Ids{1, 2, 3, 4, 5, 6, 7}));
    } else {
      EXPECT_THROW(c->DbSetOrder({"ID"}), EngineError);  // no primary index
    }
    c->DbSetOrder({"NEV"});
    EXPECT_THROW(c->DbSetOrder({"NAP"}), EngineError);
    EXPECT_THROW(c->DbSetOrder({"NEV", "DARAB"}), EngineError);
    EXPECT_EQ(c->order_fields(), std::vector<std::string>{"NEV"});  // the old order stays
    EXPECT_EQ(Forward(*c), (Ids{5, 6, 1, 3, 7, 4, 2}));

    // Filter and order together; a bookmark comes back to its row and number.
    c->DbSetFilter("DARAB >= 3", true);
    EXPECT_EQ(Forward(*c), (Ids{5, 1, 3, 2}));
    EXPECT_EQ(Backward(*c), (Ids{5, 1, 3, 2}));
    c->First();
    c->Next();
    const Bookmark b = c->SaveBookmark();
    c->Next();
    c->Next();
    c->Next();  // past the end: stays on the last row shown
    EXPECT_TRUE(c->Eof());
    EXPECT_EQ(c->AsVariant("ID").as_int(), 2);
    EXPECT_EQ(c->RecNo(), 4);
    c->RestoreBookmark(b);
    EXPECT_EQ(c->AsVariant("ID").as_int(), 1);
    EXPECT_EQ(c->RecNo(), 2);
    c->Prior();
    c->Prior();
    EXPECT_TRUE(c->Bof());
    EXPECT_EQ(c->AsVariant("ID").as_int(), 5);
    EXPECT_EQ(c->RecNo(), 1);
  }
}

// Editing an ordered, filtered cursor: the row number follows the edited row.
TEST(CursorOrder, EditKeepsPlaceInOrder) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  Fill(s, "keyed", 1);
  s.DbAddIndex("keyed", "NEV", "NEV", ixCaseInsensitive);
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable("keyed", w);
  c->DbSetOrder({"NEV"});
  c->DbSetFilter("DARAB >= 3", true);
  c->First();
  c->Next();
  c->Next();
  ASSERT_EQ(c->AsVariant("ID").as_int(), 3);
  c->Edit();
  c->SetValue("NEV", Value::Text("aaa"));  // moves to the front of the order
  c->Post();
  EXPECT_EQ(c->AsVariant("ID").as_int(), 3);
  EXPECT_EQ(c->RecNo(), 2);
  c->Next();
  EXPECT_EQ(c->AsVariant("ID").as_int(), 1);
  EXPECT_EQ(Forward(*c), (Ids{5, 3, 1, 2}));
}

// Many blocks: the order reaches each record through the block directory of the table.
TEST(CursorOrder, SecondaryOrderAcrossBlocks) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  for (int keyed : {1, 0}) {
    const std::string t = keyed ? "big" : "bigheap";
    s.DbCreateTable(t, {{"ID", paradox::kLong, 0}, {"N", paradox::kAlpha, 30}}, keyed);
    s.DbAddIndex(t, "N", "N", 0);
    {
      OpenOptions w;
      w.read_only = false;
      auto c = s.DbOpenTable(t, w);
      c->BeginBatch();
      for (int i = 0; i < 1500; ++i) {
        const int id = (i * 7919) % 1500 + 1;
        c->Insert();
        c->SetValue("ID", Value::Int(id));
        c->SetValue("N", Value::Text("n" + std::to_string(100000 - id)));
        c->Post();
      }
      c->EndBatch();
    }
    auto c = s.DbOpenTable(t);
    c->DbSetOrder({"n"});
    Ids want;
    for (int id = 1500; id >= 1; --id) want.push_back(id);
    EXPECT_EQ(Forward(*c), want) << t;
    EXPECT_EQ(Backward(*c), want) << t;
    c->DbSetFilter("ID <= 3 or ID > 1498", true);
    EXPECT_EQ(Forward(*c), (Ids{1500, 1499, 3, 2, 1})) << t;
  }
}

// With no row to show (an empty table, or a filter that hides every row) both ends stay set
// whatever the moves, as callers looping `for (First(); !Eof(); Next())` or back from the end
// rely on.
TEST(CursorMoves, NoRowKeepsBothEnds) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  s.DbCreateTable("ures", {{"A", paradox::kLong, 0}}, 0);
  Fill(s, "fruit", 1);
  auto empty = s.DbOpenTable("ures");
  auto hidden = s.DbOpenTable("fruit");
  hidden->DbSetFilter("(NEV='nincs ilyen')", true);
  for (Cursor* c : {empty.get(), hidden.get()}) {
    c->First();
    c->Next();
    EXPECT_TRUE(c->Eof() && c->Bof());
    c->Prior();
    EXPECT_TRUE(c->Eof() && c->Bof());
    EXPECT_EQ(c->RecNo(), 0);
  }
  // With rows, Next past the last one keeps the row and sets only Eof.
  auto c = s.DbOpenTable("fruit");
  c->First();
  EXPECT_FALSE(c->Eof());
  while (!c->Eof()) c->Next();
  EXPECT_FALSE(c->Bof());
  c->Prior();
  EXPECT_FALSE(c->Eof());
}

}  // namespace
}  // namespace tablorix
