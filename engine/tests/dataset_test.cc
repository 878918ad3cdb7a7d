// The dataset interface: the same navigation and value checks over a table cursor and over a
// query result of the same rows, then what only the query side has (its row window, the types
// of computed columns) and the display text of values.
#include "engine/dataset.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/sql/query_dataset.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"

namespace tablorix {
namespace {

using writer_check::TempDir;

const std::vector<NewFieldDef> kFields = {
    {"ID", paradox::kLong, 0},      {"NEV", paradox::kAlpha, 20}, {"OSSZEG", paradox::kNumber, 0},
    {"DATUM", paradox::kDate, 0},   {"IDO", paradox::kTime, 0},   {"PONT", paradox::kTimestamp, 0},
    {"KESZ", paradox::kLogical, 0}, {"MEGJ", paradox::kMemo, 10},
};

const std::string kArvai = "\xC1rvai";  // Árvai, Windows-1250

// Five rows; the third has every field but the key null.
void FillTable(Session& s, const std::string& table) {
  OpenOptions w;
  w.read_only = false;
  auto c = s.DbOpenTable(table, w);
  struct Row {
    const char *nev, *osszeg, *datum, *ido, *pont, *kesz, *megj;
  };
  const Row rows[] = {
      {"Kiss", "1234.5", "2024-03-05", "08:05:09", "2024-03-05T08:05:09", "1", "egy sor"},
      {kArvai.c_str(), "-2", "1999-12-31", "23:59:59", "1999-12-31T23:59:59", "0", nullptr},
      {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
      {"Nagy", "0.25", "2000-01-01", "00:00:00", "2000-01-01T00:00:00", "1", "hosszabb megjegyzes"},
      {"", "7", "2024-12-24", "18:30:00", "2024-12-24T18:30:00", "0", ""},
  };
  int id = 1;
  for (const Row& r : rows) {
    c->Insert();
    c->SetValue("ID", Value::Int(id++));
    const char* texts[] = {r.nev, r.osszeg, r.datum, r.ido, r.pont, nullptr, r.megj};
    for (int f = 1; f < 8; ++f) {
      if (f == 6) {
        if (r.kesz) c->SetValue(f, Value::Bool(r.kesz[0] == '1'));
      } else if (texts[f - 1]) {
        c->SetValue(f, Value::Text(texts[f - 1]));
      }
    }
    c->Post();
  }
}

class DatasetWorld {
 public:
  DatasetWorld() {
    s.DbOpenDatabase(dir.path());
    s.DbCreateTable("ADAT", kFields, 1);
    s.DbCreateTable("URES", kFields, 1);
    FillTable(s, "ADAT");
    sql = std::make_unique<SqlSession>(s);
  }
  TempDir dir;
  Session s;
  std::unique_ptr<SqlSession> sql;
};

struct TableSide {
  static std::unique_ptr<Dataset> Open(DatasetWorld& w, bool empty) {
    return std::make_unique<TableDataset>(w.s.DbOpenTable(empty ? "URES" : "ADAT"));
  }
};

struct QuerySide {
  static std::unique_ptr<Dataset> Open(DatasetWorld& w, bool empty) {
    // A window smaller than the result: the checks below also move back out of it.
    return std::make_unique<QueryDataset>(
        w.sql->Prepare(empty ? "SELECT * FROM ADAT WHERE ID < 0" : "SELECT * FROM ADAT"), 2);
  }
};

template <class Side>
class DatasetTest : public ::testing::Test {
 protected:
  void SetUp() override { d = Side::Open(w, false); }
  int64_t Id() { return d->AsVariant(0).as_int(); }
  DatasetWorld w;
  std::unique_ptr<Dataset> d;
};

using Sides = ::testing::Types<TableSide, QuerySide>;
TYPED_TEST_SUITE(DatasetTest, Sides);

TYPED_TEST(DatasetTest, FieldsCarryTheTableDefinitions) {
  Dataset& d = *this->d;
  ASSERT_EQ(d.FieldCount(), 8);
  struct Expect {
    const char* name;
    TFieldType type;
    int size;
    TAlignment align;
    bool blob;
  };
  const Expect expect[] = {
      {"ID", TFieldType::ftInteger, 0, TAlignment::taRightJustify, false},
      {"NEV", TFieldType::ftString, 20, TAlignment::taLeftJustify, false},
      {"OSSZEG", TFieldType::ftFloat, 0, TAlignment::taRightJustify, false},
      {"DATUM", TFieldType::ftDate, 0, TAlignment::taLeftJustify, false},
      {"IDO", TFieldType::ftTime, 0, TAlignment::taLeftJustify, false},
      {"PONT", TFieldType::ftDateTime, 0, TAlignment::taLeftJustify, false},
      {"KESZ", TFieldType::ftBoolean, 0, TAlignment::taLeftJustify, false},
      {"MEGJ", TFieldType::ftMemo, 10, TAlignment::taLeftJustify, true},
  };
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(expect[i].name);
    EXPECT_EQ(d.Field(i).name, expect[i].name);
    EXPECT_EQ(d.Field(i).display_label, expect[i].name);
    EXPECT_EQ(d.Field(i).type, expect[i].type);
    EXPECT_EQ(d.Field(i).size, expect[i].size);
    EXPECT_EQ(d.Field(i).alignment, expect[i].align);
    EXPECT_EQ(d.Field(i).is_blob, expect[i].blob);
    EXPECT_TRUE(d.Field(i).visible);
  }
  EXPECT_EQ(d.FieldIndex("osszeg"), 2);
  EXPECT_EQ(d.FieldIndex("Megj"), 7);
  EXPECT_THROW(d.FieldIndex("NINCS"), EngineError);

  d.SetDisplayLabel(1, "N\xE9v");
  d.SetAlignment(1, TAlignment::taCenter);
  d.SetVisible(2, false);
  EXPECT_EQ(d.Field(1).display_label, "N\xE9v");
  EXPECT_EQ(d.Field(1).alignment, TAlignment::taCenter);
  EXPECT_FALSE(d.Field(2).visible);
  EXPECT_EQ(d.FieldIndex("NEV"), 1);  // the label does not rename the field
}

TYPED_TEST(DatasetTest, NavigatesLikeTheCursor) {
  Dataset& d = *this->d;
  EXPECT_FALSE(d.IsEmpty());
  EXPECT_EQ(d.RecordCount(), 5);
  d.First();
  EXPECT_EQ(d.RecNo(), 1);
  EXPECT_FALSE(d.Eof());
  EXPECT_FALSE(d.Bof());

  std::vector<int64_t> ids;
  for (d.First(); !d.Eof(); d.Next()) ids.push_back(this->Id());
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(d.RecNo(), 5);  // Next past the end keeps the last row
  EXPECT_EQ(this->Id(), 5);

  ids.clear();
  for (d.Last(); !d.Bof(); d.Prior()) ids.push_back(this->Id());
  EXPECT_EQ(ids, (std::vector<int64_t>{5, 4, 3, 2, 1}));
  EXPECT_EQ(d.RecNo(), 1);

  d.Last();
  EXPECT_TRUE(d.Eof());
  EXPECT_EQ(d.RecNo(), 5);
  d.Prior();
  EXPECT_FALSE(d.Eof());
  EXPECT_EQ(this->Id(), 4);

  d.First();
  EXPECT_EQ(d.MoveBy(3), 3);
  EXPECT_EQ(this->Id(), 4);
  EXPECT_EQ(d.MoveBy(-2), -2);
  EXPECT_EQ(this->Id(), 2);
  EXPECT_EQ(d.MoveBy(10), 3);  // stops at the last row
  EXPECT_TRUE(d.Eof());
  EXPECT_EQ(this->Id(), 5);
  EXPECT_EQ(d.MoveBy(-10), -4);
  EXPECT_TRUE(d.Bof());
  EXPECT_EQ(this->Id(), 1);
  EXPECT_EQ(d.MoveBy(0), 0);
  EXPECT_EQ(this->Id(), 1);

  d.SetRecNo(4);
  EXPECT_EQ(d.RecNo(), 4);
  EXPECT_EQ(this->Id(), 4);
  d.SetRecNo(2);
  EXPECT_EQ(this->Id(), 2);
  EXPECT_THROW(d.SetRecNo(6), EngineError);
  EXPECT_EQ(this->Id(), 2);  // a failed SetRecNo stays where it was
  EXPECT_THROW(d.SetRecNo(0), EngineError);
  EXPECT_EQ(d.RecNo(), 2);
}

TYPED_TEST(DatasetTest, BookmarksReturnToTheRow) {
  Dataset& d = *this->d;
  d.SetRecNo(4);
  const DatasetBookmark four = d.GetBookmark();
  d.First();
  const DatasetBookmark one = d.GetBookmark();
  d.Last();
  d.GotoBookmark(four);
  EXPECT_EQ(this->Id(), 4);
  EXPECT_EQ(d.RecNo(), 4);
  EXPECT_FALSE(d.Eof());
  d.Next();
  EXPECT_EQ(this->Id(), 5);
  d.GotoBookmark(one);
  EXPECT_EQ(this->Id(), 1);
  d.Prior();
  EXPECT_TRUE(d.Bof());
}

// The values equal what a plain cursor reads: the query side gives dates, times and logical
// values back in the field's kind.
TYPED_TEST(DatasetTest, ValuesMatchTheCursor) {
  Dataset& d = *this->d;
  auto c = this->w.s.DbOpenTable("ADAT");
  int rows = 0;
  for (d.First(), c->First(); !c->Eof(); d.Next(), c->Next(), ++rows) {
    ASSERT_FALSE(d.Eof());
    for (int i = 0; i < d.FieldCount(); ++i) {
      SCOPED_TRACE("row " + std::to_string(rows + 1) + " field " + d.Field(i).name);
      EXPECT_EQ(d.AsVariant(i), c->AsVariant(i));
      EXPECT_EQ(d.IsNull(i), c->IsNull(i));
    }
  }
  EXPECT_EQ(rows, 5);
  d.First();
  EXPECT_EQ(d.AsVariant(3).kind(), Value::Kind::kDate);
  EXPECT_EQ(d.AsVariant(4).kind(), Value::Kind::kTime);
  EXPECT_EQ(d.AsVariant(5).kind(), Value::Kind::kDateTime);
  EXPECT_EQ(d.AsVariant(6), Value::Bool(true));
}

TYPED_TEST(DatasetTest, TextInTheLocaleFormats) {
  Dataset& d = *this->d;
  const FormatSettings hu;  // the defaults are Hungarian
  FormatSettings en;
  en.decimal_separator = '.';
  en.short_date_format = "M/d/yyyy";
  en.long_time_format = "h:mm:ss";
  struct Case {
    int64_t row;
    const char* field;
    std::string hu, en;
  };
  const Case cases[] = {
      {1, "ID", "1", "1"},
      {1, "NEV", "Kiss", "Kiss"},
      {2, "NEV", kArvai, kArvai},
      {1, "OSSZEG", "1234,5", "1234.5"},
      {2, "OSSZEG", "-2", "-2"},
      {4, "OSSZEG", "0,25", "0.25"},
      {1, "DATUM", "2024. 03. 05.", "3/5/2024"},
      {2, "DATUM", "1999. 12. 31.", "12/31/1999"},
      {1, "IDO", "8:05:09", "8:05:09"},
      {2, "IDO", "23:59:59", "23:59:59"},
      {4, "IDO", "0:00:00", "0:00:00"},
      {1, "PONT", "2024. 03. 05. 8:05:09", "3/5/2024 8:05:09"},
      {5, "PONT", "2024. 12. 24. 18:30:00", "12/24/2024 18:30:00"},
      {1, "KESZ", "True", "True"},
      {2, "KESZ", "False", "False"},
      {4, "MEGJ", "hosszabb megjegyzes", "hosszabb megjegyzes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " of row " + std::to_string(c.row));
    d.SetRecNo(c.row);
    const int f = d.FieldIndex(c.field);
    EXPECT_EQ(d.AsText(f, hu), c.hu);
    EXPECT_EQ(d.AsText(f, en), c.en);
  }
}

TYPED_TEST(DatasetTest, NullsReadAsNullAndEmptyText) {
  Dataset& d = *this->d;
  d.SetRecNo(3);
  EXPECT_FALSE(d.IsNull(0));
  for (int i = 1; i < d.FieldCount(); ++i) {
    SCOPED_TRACE(d.Field(i).name);
    EXPECT_TRUE(d.IsNull(i));
    EXPECT_TRUE(d.AsVariant(i).is_null());
    EXPECT_EQ(d.AsText(i, FormatSettings{}), "");
  }
  d.SetRecNo(2);  // a row with some nulls among values
  EXPECT_FALSE(d.IsNull(1));
  EXPECT_TRUE(d.IsNull(7));
  EXPECT_FALSE(d.IsNull(6));  // false is a value, not null
}

TYPED_TEST(DatasetTest, ObserversHearMovesUnlessControlsAreDisabled) {
  Dataset& d = *this->d;
  int a = 0, b = 0;
  const int ida = d.AddObserver([&] { ++a; });
  d.AddObserver([&] { ++b; });

  d.First();
  d.Next();
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 2);
  // Moves made of many steps are one notice.
  a = 0;
  d.MoveBy(3);
  EXPECT_EQ(a, 1);
  d.Last();
  EXPECT_EQ(a, 2);
  d.SetRecNo(2);
  EXPECT_EQ(a, 3);

  a = 0;
  d.DisableControls();
  d.DisableControls();
  EXPECT_TRUE(d.ControlsDisabled());
  d.First();
  d.Next();
  d.Last();
  d.DataChanged();
  EXPECT_EQ(a, 0);
  d.EnableControls();
  EXPECT_EQ(a, 0);  // still disabled once
  d.EnableControls();
  EXPECT_EQ(a, 1);  // one notice on re-attach
  EXPECT_FALSE(d.ControlsDisabled());
  EXPECT_EQ(this->Id(), 5);  // the moves were made all the same
  d.EnableControls();        // unbalanced: ignored
  EXPECT_EQ(a, 1);
  d.Prior();
  EXPECT_EQ(a, 2);

  d.RemoveObserver(ida);
  b = 0;
  d.Next();
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);

  // An observer may remove itself while being told.
  int c = 0, id_c = 0;
  id_c = d.AddObserver([&] {
    ++c;
    d.RemoveObserver(id_c);
  });
  d.Next();
  d.Next();
  EXPECT_EQ(c, 1);
}

TYPED_TEST(DatasetTest, EmptyDataset) {
  auto d = TypeParam::Open(this->w, true);
  EXPECT_EQ(d->FieldCount(), 8);
  EXPECT_EQ(d->Field(3).type, TFieldType::ftDate);
  EXPECT_TRUE(d->IsEmpty());
  EXPECT_EQ(d->RecordCount(), 0);
  auto check = [&](const char* after) {
    SCOPED_TRACE(after);
    EXPECT_TRUE(d->Eof());
    EXPECT_TRUE(d->Bof());
    EXPECT_EQ(d->RecNo(), 0);
  };
  check("opening");
  d->First();
  check("First");
  d->Next();
  check("Next");
  d->Prior();
  check("Prior");
  d->Last();
  check("Last");
  EXPECT_EQ(d->MoveBy(3), 0);
  check("MoveBy");
  EXPECT_THROW(d->SetRecNo(1), EngineError);
  int visits = 0;
  for (d->First(); !d->Eof(); d->Next()) ++visits;
  EXPECT_EQ(visits, 0);
}

// --- The table side ---

// With a filter the count is of the rows shown; counting them leaves the position, its flags
// and the observers alone. A borrowed cursor's moves reach the observers, and stop reaching
// them when the dataset goes.
TEST(TableDatasetTest, FilteredCountAndBorrowedCursor) {
  DatasetWorld w;
  auto c = w.s.DbOpenTable("ADAT");
  c->DbSetFilter("OSSZEG > 0", true);  // rows 1, 4 and 5
  int told = 0;
  {
    TableDataset d(*c);
    d.AddObserver([&] { ++told; });
    d.SetRecNo(2);
    EXPECT_EQ(d.AsVariant(0), Value::Int(4));
    told = 0;
    EXPECT_EQ(d.RecordCount(), 3);
    EXPECT_EQ(told, 0);
    EXPECT_EQ(d.RecNo(), 2);
    EXPECT_EQ(d.AsVariant(0), Value::Int(4));
    d.Last();
    d.Next();
    ASSERT_TRUE(d.Eof());
    EXPECT_EQ(d.RecordCount(), 3);
    EXPECT_TRUE(d.Eof());
    EXPECT_EQ(d.AsVariant(0), Value::Int(5));
    told = 0;
    c->First();  // moved by its owner
    EXPECT_EQ(told, 1);
  }
  c->Next();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(c->AsVariant(0), Value::Int(4));
}

// --- The query side ---

class QueryDatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.DbOpenDatabase(dir.path());
    s.DbCreateTable("SOK", {{"N", paradox::kLong, 0}, {"S", paradox::kAlpha, 12}}, 1);
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("SOK", w);
    c->BeginBatch();
    for (int i = 1; i <= kRows; ++i) {
      c->Insert();
      c->SetValue("N", Value::Int(i));
      c->SetValue("S", Value::Text("r" + std::to_string(i)));
      c->Post();
    }
    c->EndBatch();
    c.reset();
    sql = std::make_unique<SqlSession>(s);
  }
  static constexpr int kRows = 1000;
  TempDir dir;
  Session s;
  std::unique_ptr<SqlSession> sql;
};

// A result far larger than the window, read forwards, backwards and by jumps, gives the right
// rows; going back runs the statement again once per window, not once per row. The statement's
// parameters hold for every run.
TEST_F(QueryDatasetTest, WindowSmallerThanTheResult) {
  auto st = sql->Prepare("SELECT N, S FROM SOK WHERE N > :lo");
  st->SetParam("lo", Value::Int(100));
  QueryDataset d(std::move(st), 16);
  const int rows = kRows - 100;
  auto check = [&](int64_t recno) {
    ASSERT_EQ(d.RecNo(), recno);
    ASSERT_EQ(d.AsVariant(0), Value::Int(100 + recno));
    ASSERT_EQ(d.AsVariant(1), Value::Text("r" + std::to_string(100 + recno)));
  };

  int64_t n = 0;
  for (d.First(); !d.Eof(); d.Next()) check(++n);
  EXPECT_EQ(n, rows);
  EXPECT_EQ(d.runs(), 1);

  const int before = d.runs();
  for (d.Last(); !d.Bof(); d.Prior()) check(n--);
  EXPECT_EQ(n, 0);
  const int reruns = d.runs() - before;
  EXPECT_GE(reruns, rows / 16 - 1);
  EXPECT_LE(reruns, rows / 16 + 2);

  // Jumps both ways, and back and forth across a window's edge.
  for (int64_t to : {700, 3, 899, 900, 450, 1, 451, 435, 436}) {
    d.SetRecNo(to);
    check(to);
  }
  d.SetRecNo(40);
  const DatasetBookmark at40 = d.GetBookmark();
  EXPECT_EQ(d.MoveBy(500), 500);
  check(540);
  EXPECT_EQ(d.MoveBy(-520), -520);
  check(20);
  d.GotoBookmark(at40);
  check(40);
  EXPECT_THROW(d.SetRecNo(rows + 1), EngineError);
  check(40);
}

// Counting steps the result to its end; moving on afterwards still reads the right rows.
TEST_F(QueryDatasetTest, CountingInTheMiddle) {
  QueryDataset d(sql->Prepare("SELECT N FROM SOK"), 8);
  d.SetRecNo(5);
  EXPECT_EQ(d.RecordCount(), kRows);
  EXPECT_EQ(d.AsVariant(0), Value::Int(5));
  for (int i = 6; i <= 30; ++i) {
    d.Next();
    ASSERT_EQ(d.AsVariant(0), Value::Int(i));
  }
  const int runs = d.runs();
  EXPECT_EQ(d.RecordCount(), kRows);  // counted once
  EXPECT_EQ(d.runs(), runs);
  d.Last();
  EXPECT_EQ(d.AsVariant(0), Value::Int(kRows));
  EXPECT_EQ(d.RecNo(), kRows);
  d.Next();
  EXPECT_TRUE(d.Eof());
  EXPECT_EQ(d.AsVariant(0), Value::Int(kRows));
}

TEST_F(QueryDatasetTest, ComputedColumnsTakeTheTypeOfTheirValues) {
  s.DbCreateTable("T", {{"NAP", paradox::kDate, 0}, {"OK", paradox::kLogical, 0}}, 0);
  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("T", w);
    c->Insert();
    c->SetValue("NAP", Value::Text("2020-02-29"));
    c->SetValue("OK", Value::Bool(true));
    c->Post();
  }
  sql->Refresh();
  QueryDataset d(
      sql->Prepare("SELECT N * 2 AS KETSZER, N / 4.0 AS NEGYED, S || '!' AS SZOVEG, "
                   "X'0102' AS B, NULL AS SEMMI, T.NAP AS DATUM, MAX(T.NAP) AS LEGNAGYOBB, "
                   "T.OK, SOK.S FROM SOK, T WHERE N = 3"));
  struct Expect {
    const char* name;
    TFieldType type;
    Value value;
    std::string text;
  };
  const Expect expect[] = {
      {"KETSZER", TFieldType::ftInteger, Value::Int(6), "6"},
      {"NEGYED", TFieldType::ftFloat, Value::Double(0.75), "0,75"},
      {"SZOVEG", TFieldType::ftString, Value::Text("r3!"), "r3!"},
      {"B", TFieldType::ftBlob, Value::Bytes("\x01\x02"), "(BLOB)"},
      {"SEMMI", TFieldType::ftString, Value::Null(), ""},
      // An alias keeps the field's type; an aggregate is computed (ISO text).
      {"DATUM", TFieldType::ftDate, Value::Date(DayNumberFromCivil(2020, 2, 29)), "2020. 02. 29."},
      {"LEGNAGYOBB", TFieldType::ftString, Value::Text("2020-02-29"), "2020-02-29"},
      {"OK", TFieldType::ftBoolean, Value::Bool(true), "True"},
      {"S", TFieldType::ftString, Value::Text("r3"), "r3"},
  };
  ASSERT_EQ(d.FieldCount(), int(std::size(expect)));
  EXPECT_EQ(d.RecordCount(), 1);
  for (int i = 0; i < d.FieldCount(); ++i) {
    SCOPED_TRACE(expect[i].name);
    EXPECT_EQ(d.Field(i).name, expect[i].name);
    EXPECT_EQ(d.Field(i).type, expect[i].type);
    EXPECT_EQ(d.AsVariant(i), expect[i].value);
    EXPECT_EQ(d.AsText(i, FormatSettings{}), expect[i].text);
  }
  EXPECT_EQ(d.Field(0).alignment, TAlignment::taRightJustify);
  EXPECT_EQ(d.Field(2).alignment, TAlignment::taLeftJustify);
  EXPECT_TRUE(d.Field(3).is_blob);
  EXPECT_EQ(d.Field(8).size, 12);  // from the table

  // However the table is named, and through a subquery, a column still comes from the table.
  for (const char* text : {"SELECT NAP FROM \"t.db\"", "SELECT nap FROM t",
                           "SELECT x.NAP FROM (SELECT NAP, OK FROM T WHERE OK) x"}) {
    SCOPED_TRACE(text);
    QueryDataset q(sql->Prepare(text));
    EXPECT_EQ(q.Field(0).type, TFieldType::ftDate);
    EXPECT_EQ(q.AsVariant(0), Value::Date(DayNumberFromCivil(2020, 2, 29)));
  }
}

// --- Display text ---

TEST(FormatForDisplayTest, ValuesByTypeAndFormat) {
  FormatSettings custom;
  custom.decimal_separator = ',';
  custom.short_date_format = "dd.MM.yy";
  custom.long_time_format = "HH-mm";
  const FormatSettings hu;
  const int32_t day = DayNumberFromCivil(2007, 1, 2);
  const double stamp = double(day) * double(kMsPerDay) + 3'723'000;  // 01:02:03
  struct Case {
    Value v;
    TFieldType type;
    const FormatSettings* fs;
    std::string text;
  };
  const Case cases[] = {
      {Value::Date(day), TFieldType::ftDate, &custom, "02.01.07"},
      {Value::Time(3'723'000), TFieldType::ftTime, &custom, "01-02"},
      {Value::DateTime(stamp), TFieldType::ftDateTime, &custom, "02.01.07 01-02"},
      {Value::DateTime(stamp), TFieldType::ftDateTime, &hu, "2007. 01. 02. 1:02:03"},
      {Value::Date(DayNumberFromCivil(812, 6, 7)), TFieldType::ftDate, &hu, "0812. 06. 07."},
      {Value::Date(DayNumberFromCivil(12000, 1, 2)), TFieldType::ftDate, &hu, "12000. 01. 02."},
      {Value::Date(DayNumberFromCivil(2007, 1, 2)), TFieldType::ftDate, &hu, "2007. 01. 02."},
      {Value::DateTime(1e300), TFieldType::ftDateTime, &hu, ""},  // a damaged timestamp
      {Value::Double(-0.5), TFieldType::ftCurrency, &hu, "-0,5"},
      {Value::Text("sor\r\nmasik"), TFieldType::ftMemo, &hu, "sor\r\nmasik"},
      {Value::Text("f"), TFieldType::ftFmtMemo, &hu, "f"},
      {Value::Bytes("x"), TFieldType::ftBlob, &hu, "(BLOB)"},
      {Value::Bytes("x"), TFieldType::ftGraphic, &hu, "(GRAPHIC)"},
      {Value::Bytes("x"), TFieldType::ftParadoxOle, &hu, "(OLE)"},
      {Value::Bytes("x"), TFieldType::ftTypedBinary, &hu, "(BINARY)"},
      {Value::Bytes("\x01"), TFieldType::ftBytes, &hu, "(BYTES)"},
      {Value::Null(), TFieldType::ftGraphic, &hu, ""},
      {Value::Bool(false), TFieldType::ftBoolean, &hu, "False"},
      {Value::Int(-32768), TFieldType::ftSmallint, &hu, "-32768"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatForDisplay(c.v, c.type, *c.fs), c.text);
  }
}

}  // namespace
}  // namespace tablorix
