// Local SQL over a directory of tables: queries, key lookups, Hungarian text, changes through
// the virtual tables, parameters and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/sql/db_query.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"

namespace tablorix {
namespace {

using writer_check::TempDir;

// Windows-1250 bytes of the Hungarian words the tests use.
const std::string kKovacs =
    "Kov\xE1"
    "cs";                               // Kovács
const std::string kArvai = "\xC1rvai";  // Árvai
const std::string kSzabo = "Szab\xF3";  // Szabó
const std::string kPecs =
    "P\xE9"
    "cs";                                                  // Pécs
const std::string kGyor = "Gy\xF5r";                       // Győr
const std::string kArvizturo = "\xE1rv\xEDzt\xFBr\xF5";    // árvíztűrő
const std::string kArvizturoUp = "\xC1RV\xCDZT\xDBR\xD5";  // ÁRVÍZTŰRŐ

std::string Text(const Value& v) { return v.is_null() ? "null" : FormatValue(v); }

std::vector<std::string> Rows(SqlSession& sql, const std::string& text) {
  auto st = sql.Prepare(text);
  auto r = st->Query();
  std::vector<std::string> rows;
  while (r->Next()) {
    std::string line;
    for (size_t i = 0; i < r->row().size(); ++i) line += (i ? "|" : "") + Text(r->row()[i]);
    rows.push_back(line);
  }
  return rows;
}

std::string Plan(SqlSession& sql, const std::string& text) {
  std::string plan;
  for (const std::string& row : Rows(sql, "EXPLAIN QUERY PLAN " + text)) plan += row + "\n";
  return plan;
}

std::string ErrorOf(SqlSession& sql, const std::string& text) {
  try {
    auto st = sql.Prepare(text);
    st->Exec();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

class SqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.DbOpenDatabase(dir.path());
    s.DbCreateTable(
        "VEVO",
        {{"ID", paradox::kLong, 0}, {"NEV", paradox::kAlpha, 30}, {"VAROS", paradox::kAlpha, 20}},
        1);
    s.DbCreateTable("rendeles",
                    {{"VEVO", paradox::kLong, 0},
                     {"OSSZEG", paradox::kNumber, 0},
                     {"DATUM", paradox::kDate, 0},
                     {"KESZ", paradox::kLogical, 0}},
                    0);
    s.DbCreateTable("SZAMOK", {{"N", paradox::kLong, 0}, {"SZOVEG", paradox::kAlpha, 12}}, 1);
    OpenOptions w;
    w.read_only = false;
    {
      auto c = s.DbOpenTable("VEVO", w);
      const std::vector<std::pair<std::string, std::string>> people = {
          {kKovacs, kPecs}, {kArvai, kGyor}, {kSzabo, kPecs}};
      for (size_t i = 0; i < people.size(); ++i) {
        c->Insert();
        c->SetValue("ID", Value::Int(int64_t(i) + 1));
        c->SetValue("NEV", Value::Text(people[i].first));
        c->SetValue("VAROS", Value::Text(people[i].second));
        c->Post();
      }
    }
    {
      auto c = s.DbOpenTable("rendeles", w);
      struct Order {
        int vevo;
        double osszeg;
        const char* datum;
        bool kesz;
      };
      const Order orders[] = {{1, 50, "2005-03-15", true},  {1, 250.5, "2005-03-16", false},
                              {3, 75, "2005-04-01", true},  {3, 1000, "2006-01-02", true},
                              {1, 20, "2005-03-15", false}, {2, 400, "2005-05-05", true}};
      for (const Order& o : orders) {
        c->Insert();
        c->SetValue("VEVO", Value::Int(o.vevo));
        c->SetValue("OSSZEG", Value::Double(o.osszeg));
        c->SetValue("DATUM", Value::Text(o.datum));
        c->SetValue("KESZ", Value::Bool(o.kesz));
        c->Post();
      }
    }
    {
      // Enough rows for many blocks, inserted out of key order so that blocks split.
      auto c = s.DbOpenTable("SZAMOK", w);
      c->BeginBatch();
      for (int i = 0; i < 3000; ++i) {
        const int n = (i * 7919) % 3000 + 1;
        c->Insert();
        c->SetValue("N", Value::Int(n * 2));  // even keys only: odd bounds fall between rows
        c->SetValue("SZOVEG", Value::Text("n" + std::to_string(n * 2)));
        c->Post();
      }
      c->EndBatch();
    }
    sql = std::make_unique<SqlSession>(s);
  }

  std::vector<std::string> TableRows(const std::string& table) {
    std::vector<std::string> rows;
    auto c = s.DbOpenTable(table);
    for (c->First(); !c->Eof(); c->Next()) {
      std::string line;
      for (size_t i = 0; i < c->DbFieldDefs().size(); ++i)
        line += (i ? "|" : "") + (c->IsNull(int(i)) ? "null" : c->AsText(int(i)));
      rows.push_back(line);
    }
    return rows;
  }

  TempDir dir;
  Session s;
  std::unique_ptr<SqlSession> sql;
};

TEST_F(SqlTest, QueriesReadTheTables) {
  struct Case {
    std::string sql;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      // Names with or without .DB, quoted or not, in any case.
      {"select count(*) from vevo", {"3"}},
      {"SELECT COUNT(*) FROM \"VEVO.DB\"", {"3"}},
      {"SELECT count(*) FROM \"Rendeles.db\"", {"6"}},
      {"SELECT count(*) FROM \"rendeles\"", {"6"}},
      {"SELECT count(*) FROM vevo.db", {"3"}},
      {"SELECT count(*), 'vevo.db' FROM Vevo.DB v JOIN rendeles.db r ON r.VEVO = v.ID",
       {"6|vevo.db"}},
      {"SELECT vevo.db.NEV FROM vevo.db WHERE vevo.db.ID = 1 /* vevo.db */", {kKovacs}},
      // Join, grouping, ordering.
      {"SELECT v.NEV, sum(r.OSSZEG), count(*) FROM VEVO v JOIN RENDELES r ON r.VEVO = v.ID "
       "GROUP BY v.ID ORDER BY 2 DESC",
       {kSzabo + "|1075|2", kArvai + "|400|1", kKovacs + "|320.5|3"}},
      {"SELECT VAROS, count(*) FROM VEVO GROUP BY VAROS ORDER BY VAROS",
       {kGyor + "|1", kPecs + "|2"}},
      // A subquery.
      {"SELECT NEV FROM VEVO WHERE ID IN (SELECT VEVO FROM RENDELES WHERE OSSZEG > 300) "
       "ORDER BY ID",
       {kArvai, kSzabo}},
      {"SELECT ID FROM VEVO WHERE NOT EXISTS (SELECT 1 FROM RENDELES WHERE VEVO = VEVO.ID "
       "AND KESZ = 0)",
       {"2", "3"}},
      // Dates as ISO text, logical fields as 0/1, text in Windows-1250.
      {"SELECT DATUM, KESZ, typeof(OSSZEG) FROM RENDELES WHERE VEVO = 2", {"2005-05-05|1|real"}},
      {"SELECT count(*) FROM RENDELES WHERE DATUM BETWEEN '2005-03-15' AND '2005-03-31'", {"3"}},
      {"SELECT NEV FROM VEVO WHERE VAROS = '" + kGyor + "'", {kArvai}},
      {"SELECT NEV FROM VEVO UNION SELECT 'x' ORDER BY 1 LIMIT 1", {kKovacs}},
  };
  for (const Case& c : cases) EXPECT_EQ(Rows(*sql, c.sql), c.rows) << c.sql;
}

TEST_F(SqlTest, PrimaryKeyServesEqualityRangesAndOrder) {
  struct Case {
    std::string where;
    std::vector<std::string> keys;
  };
  const std::vector<Case> cases = {
      {"N = 1234", {"1234"}},
      {"N = 1235", {}},
      {"N = 2", {"2"}},
      {"N = 6000", {"6000"}},
      {"N = '1234'", {"1234"}},  // text compared by the column's affinity
      {"N BETWEEN 1001 AND 1009", {"1002", "1004", "1006", "1008"}},
      {"N > 5994", {"5996", "5998", "6000"}},
      {"N >= 5996 AND N < 6000", {"5996", "5998"}},
      {"N < 5", {"2", "4"}},
      {"N <= 4 AND N > 2", {"4"}},
      {"N > 7000", {}},
      {"N > 3000.5 AND N < 3004.5", {"3002", "3004"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rows(*sql, "SELECT N FROM SZAMOK WHERE " + c.where), c.keys) << c.where;
  }
  EXPECT_EQ(Rows(*sql, "SELECT count(*), min(N), max(N) FROM SZAMOK"),
            std::vector<std::string>{"3000|2|6000"});
  EXPECT_EQ(Rows(*sql, "SELECT N FROM SZAMOK ORDER BY N LIMIT 3"),
            (std::vector<std::string>{"2", "4", "6"}));
  EXPECT_EQ(Rows(*sql, "SELECT N FROM SZAMOK ORDER BY N DESC LIMIT 2"),
            (std::vector<std::string>{"6000", "5998"}));
  // A join that looks up each row of the outer table by key.
  EXPECT_EQ(Rows(*sql, "SELECT s.SZOVEG FROM VEVO v JOIN SZAMOK s ON s.N = v.ID * 2 ORDER BY v.ID"),
            (std::vector<std::string>{"n2", "n4", "n6"}));

  EXPECT_NE(Plan(*sql, "SELECT * FROM SZAMOK WHERE N = 10").find("INDEX 1:"), std::string::npos);
  // idxNum: 1 equality, 2 lower bound, 4 upper bound, 8/16 when they are strict.
  EXPECT_NE(Plan(*sql, "SELECT * FROM SZAMOK WHERE N >= 10 AND N <= 20").find("INDEX 6:"),
            std::string::npos);
  EXPECT_NE(Plan(*sql, "SELECT * FROM SZAMOK WHERE N > 10 AND N < 20").find("INDEX 30:"),
            std::string::npos);
  EXPECT_EQ(Plan(*sql, "SELECT * FROM SZAMOK ORDER BY N LIMIT 10").find("TEMP B-TREE"),
            std::string::npos);
  EXPECT_NE(Plan(*sql, "SELECT * FROM SZAMOK ORDER BY N DESC LIMIT 10").find("TEMP B-TREE"),
            std::string::npos);
  // An Alpha key's order is the table's sort order, not SQLite's: not claimed.
  EXPECT_NE(Plan(*sql, "SELECT * FROM VEVO ORDER BY NEV").find("TEMP B-TREE"), std::string::npos);
}

TEST_F(SqlTest, HungarianLettersChangeCaseAndCompare) {
  EXPECT_EQ(Rows(*sql, "SELECT upper('" + kArvizturo + "'), lower('" + kArvizturoUp + "')"),
            std::vector<std::string>{kArvizturoUp + "|" + kArvizturo});
  EXPECT_EQ(Rows(*sql, "SELECT upper(NEV) FROM VEVO WHERE ID = 2"),
            std::vector<std::string>{"\xC1RVAI"});
  EXPECT_EQ(Rows(*sql, "SELECT upper(NULL) IS NULL, upper(12)"), std::vector<std::string>{"1|12"});
  // Case-insensitive comparison knows accented capitals; accents still count.
  EXPECT_EQ(Rows(*sql, "SELECT ID FROM VEVO WHERE NEV = '\xC1RVAI' COLLATE NOCASE"),
            std::vector<std::string>{"2"});
  EXPECT_EQ(Rows(*sql, "SELECT ID FROM VEVO WHERE NEV = 'ARVAI' COLLATE NOCASE"),
            std::vector<std::string>{});
  // Á sorts with A (in plain UTF-8 byte order it would come after Z).
  EXPECT_EQ(Rows(*sql, "SELECT NEV FROM VEVO ORDER BY NEV COLLATE NOCASE"),
            (std::vector<std::string>{kArvai, kKovacs, kSzabo}));
  EXPECT_EQ(Rows(*sql,
                 "SELECT x FROM (SELECT 'ob' x UNION SELECT '\xF6"
                 "a' UNION SELECT 'oz' "
                 "UNION SELECT 'pa') ORDER BY x COLLATE NOCASE"),
            (std::vector<std::string>{"ob", "oz",
                                      "\xF6"
                                      "a",
                                      "pa"}));
}

TEST_F(SqlTest, ChangesGoThroughToTheTable) {
  auto exec = [&](const std::string& text) { return sql->Prepare(text)->Exec(); };
  EXPECT_EQ(exec("INSERT INTO VEVO VALUES (4, 'Nagy', '" + kGyor + "')"), 1);
  EXPECT_EQ(exec("INSERT INTO \"vevo.db\" (ID, NEV) VALUES (0, 'Kis')"), 1);
  EXPECT_EQ(exec("UPDATE VEVO SET VAROS = upper(VAROS) WHERE ID >= 3"), 2);
  // Keys change and the rows move in key order; every row is still found.
  EXPECT_EQ(exec("UPDATE VEVO SET ID = ID + 10 WHERE ID IN (1, 2)"), 2);
  EXPECT_EQ(TableRows("VEVO"),
            (std::vector<std::string>{"0|Kis|null",
                                      "3|" + kSzabo +
                                          "|P\xC9"
                                          "CS",
                                      "4|Nagy|GY\xD5R", "11|" + kKovacs + "|" + kPecs,
                                      "12|" + kArvai + "|" + kGyor}));

  // Unkeyed table: rows found again by their values while earlier rows go.
  EXPECT_EQ(exec("DELETE FROM RENDELES WHERE OSSZEG < 100"), 3);
  EXPECT_EQ(exec("UPDATE RENDELES SET KESZ = 1, DATUM = '2007-12-31' WHERE KESZ = 0"), 1);
  EXPECT_EQ(exec("INSERT INTO RENDELES SELECT ID, 5, '2008-01-01', 0 FROM VEVO WHERE ID > 10"), 2);
  EXPECT_EQ(TableRows("RENDELES"),
            (std::vector<std::string>{"1|250.5|2007-12-31|True", "3|1000|2006-01-02|True",
                                      "2|400|2005-05-05|True", "11|5|2008-01-01|False",
                                      "12|5|2008-01-01|False"}));
  EXPECT_EQ(exec("DELETE FROM RENDELES"), 5);
  EXPECT_TRUE(TableRows("RENDELES").empty());

  // The engine's refusal reaches the caller, and the table is not left half-changed.
  const std::string dup = ErrorOf(*sql, "INSERT INTO VEVO (ID, NEV) VALUES (3, 'Masik')");
  EXPECT_NE(dup.find("Key violation"), std::string::npos) << dup;
  EXPECT_EQ(TableRows("VEVO").size(), 5u);
  // No cursor stays open after a statement: the table can be emptied.
  s.DbEmptyTable("VEVO");
  EXPECT_EQ(Rows(*sql, "SELECT count(*) FROM VEVO"), std::vector<std::string>{"0"});
}

TEST_F(SqlTest, NamedParameters) {
  auto st = sql->Prepare(
      "SELECT NEV FROM VEVO WHERE (ID = :id OR VAROS = :Varos) AND ID <> :id ORDER BY ID");
  EXPECT_EQ(st->param_names(), (std::vector<std::string>{"id", "Varos"}));
  st->SetParam(":ID", Value::Int(1));
  st->SetParam("varos", Value::Text(kPecs));
  auto r = st->Query();
  ASSERT_TRUE(r->Next());
  EXPECT_EQ(r->column_names(), std::vector<std::string>{"NEV"});
  EXPECT_EQ(r->row()[0], Value::Text(kSzabo));
  EXPECT_FALSE(r->Next());
  // Set again and run again.
  st->SetParam("id", Value::Int(7));
  st->SetParam("varos", Value::Text(kGyor));
  r = st->Query();
  ASSERT_TRUE(r->Next());
  EXPECT_EQ(r->row()[0], Value::Text(kArvai));
  EXPECT_THROW(st->SetParam("nincs", Value::Int(1)), EngineError);

  auto ins = sql->Prepare("INSERT INTO RENDELES VALUES (:v, :o, :d, :k)");
  ins->SetParam("v", Value::Int(9));
  ins->SetParam("o", Value::Double(1.25));
  ins->SetParam("d", Value::Date(DayNumberFromCivil(2010, 6, 7)));
  ins->SetParam("k", Value::Bool(true));
  EXPECT_EQ(ins->Exec(), 1);
  EXPECT_EQ(Rows(*sql, "SELECT OSSZEG, DATUM, KESZ FROM RENDELES WHERE VEVO = 9"),
            std::vector<std::string>{"1.25|2010-06-07|1"});
}

TEST_F(SqlTest, ErrorsNameTheirLine) {
  struct Case {
    std::string sql;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"SELECT ID,\n  NEV\nFROM VEVO WHERE NINCS = 1", "Line Number: 3"},
      {"SELECT ID,\n  NEV\nFROM VEVO WHERE NINCS = 1", "no such column: NINCS"},
      {"SELECT *\nFROM VEVO\nWHERE ID = = 1", "Line Number: 3"},
      {"SELECT * FROM VEVO; SELECT 1", "one statement"},
  };
  for (const Case& c : cases) {
    const std::string e = ErrorOf(*sql, c.sql);
    EXPECT_NE(e.find(c.part), std::string::npos) << c.sql << " -> " << e;
  }
}

TEST_F(SqlTest, OutsideTheDirectoryIsRefused) {
  struct Case {
    std::string sql;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"ATTACH DATABASE '" + dir.path() + "/x.sqlite' AS x", "ATTACH and DETACH are not allowed"},
      {"attach ':memory:' as m", "ATTACH and DETACH are not allowed"},
      {"DETACH DATABASE main", "ATTACH and DETACH are not allowed"},
      {"SELECT load_extension('/tmp/x.so')", "Loading extensions is not allowed"},
      {"DROP TABLE \"../VEVO\"", "outside the open directory"},
      {"CREATE VIRTUAL TABLE v USING fts5(x)", ""},
      {"VACUUM INTO '" + dir.path() + "/copy.sqlite'", ""},
  };
  for (const Case& c : cases) {
    const std::string e = ErrorOf(*sql, c.sql);
    EXPECT_NE(e, "(no error)") << c.sql;
    EXPECT_NE(e.find(c.part), std::string::npos) << c.sql << " -> " << e;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/x.sqlite"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/copy.sqlite"));
  EXPECT_EQ(Rows(*sql, "SELECT count(*) FROM VEVO"), std::vector<std::string>{"3"});
}

TEST_F(SqlTest, ParameterTextIsReadAsItsType) {
  struct Case {
    TFieldType type;
    std::string text;
    std::string rows;  // IDs of VEVO found by ID = :P, or the start of the error
  };
  const Case cases[] = {
      {TFieldType::ftInteger, " 2 ", "2"},
      {TFieldType::ftInteger, "2.0",
       "error: '2.0' is not a valid integer value for the parameter P"},
      {TFieldType::ftInteger, "", "error: '' is not a valid integer"},
      {TFieldType::ftInteger, "99999999999999999999", "error: '99999999999999999999' is not"},
      {TFieldType::ftFloat, "3,0", "3"},
      {TFieldType::ftFloat, "1e400", "error: '1e400' is not a valid number"},
      {TFieldType::ftBoolean, "TRUE", "1"},
      {TFieldType::ftBoolean, "igen", "error: 'igen' is not a valid logical"},
      {TFieldType::ftString, "3", "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string got;
    try {
      auto st = DbPrepareQuery(*sql, "SELECT ID FROM VEVO WHERE ID = :P");
      DbSetParam(*st, "P", TParamType::ptInput, c.type, c.text);
      auto data = DbOpenQuery(std::move(st));
      for (data->First(); !data->Eof(); data->Next()) got += FormatValue(data->AsVariant(0));
    } catch (const EngineError& e) {
      got = std::string("error: ") + e.what();
    }
    EXPECT_EQ(got.substr(0, c.rows.size()), c.rows);
  }
  auto st = DbPrepareQuery(*sql, "UPDATE VEVO SET VAROS = :V WHERE ID >= :ID");
  EXPECT_EQ(st->param_names(), (std::vector<std::string>{"V", "ID"}));
  DbSetParam(*st, ":v", TParamType::ptInput, TFieldType::ftString, kGyor);
  DbSetParam(*st, "id", TParamType::ptInput, TFieldType::ftInteger, "2");
  EXPECT_EQ(DbExecQuery(*st), 2);
}

TEST_F(SqlTest, RefreshSeesNewTables) {
  s.DbCreateTable("UJ", {{"A", paradox::kShort, 0}}, 0);
  EXPECT_NE(ErrorOf(*sql, "SELECT * FROM UJ").find("no such table"), std::string::npos);
  sql->Refresh();
  EXPECT_EQ(Rows(*sql, "SELECT count(*) FROM uj"), std::vector<std::string>{"0"});
  EXPECT_EQ(sql->Prepare("INSERT INTO UJ VALUES (7)")->Exec(), 1);
  EXPECT_EQ(Rows(*sql, "SELECT A FROM \"UJ.DB\""), std::vector<std::string>{"7"});
}

// Tables with secondary indexes: every lookup through an index must return exactly the rows a
// full scan returns (SQLite re-checks the rows it gets, but cannot see the ones it does not).
class SqlIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.DbOpenDatabase(dir.path());
    const std::vector<NewFieldDef> fields = {{"ID", paradox::kLong, 0},
                                             {"NUM", paradox::kLong, 0},
                                             {"AMT", paradox::kNumber, 0},
                                             {"NEV", paradox::kAlpha, 20},
                                             {"VAROS", paradox::kAlpha, 12}};
    s.DbCreateTable("KULCS", fields, 1);
    s.DbCreateTable("HALOM", fields, 0);
    for (const char* t : {"KULCS", "HALOM"}) {
      Fill(t, 0, 600);  // rows before the indexes exist, more after: both paths write entries
      s.DbAddIndex(t, "NUM", "NUM", 0);
      s.DbAddIndex(t, "AMT", "AMT", 0);
      s.DbAddIndex(t, "NEVCI", "NEV", ixCaseInsensitive);
      s.DbAddIndex(t, "VAROS", "VAROS", 0);
      Fill(t, 600, 1500);
      // Deletes and changes of indexed values after the indexes were built.
      OpenOptions w;
      w.read_only = false;
      auto c = s.DbOpenTable(t, w);
      for (c->First(); !c->Eof();) {
        const int64_t id = c->AsVariant("ID").as_int();
        if (id % 97 == 5) {
          c->Delete();
          continue;
        }
        if (id % 89 == 3) {
          c->Edit();
          c->SetValue("NUM", Value::Int(7));
          c->SetValue("NEV", Value::Text(kArvizturoUp));
          c->Post();
        }
        c->Next();
      }
    }
    sql = std::make_unique<SqlSession>(s);
  }

  // Rows i in [from, to), inserted out of order so that blocks split.
  void Fill(const std::string& table, int from, int to) {
    const std::string names[] = {kKovacs,
                                 "KOV\xC1"
                                 "CS",
                                 "kov\xE1"
                                 "cs",
                                 kKovacs + " ",
                                 kArvizturo,
                                 kArvizturoUp,
                                 kSzabo,
                                 ""};
    const std::string towns[] = {kPecs,
                                 "P\xC9"
                                 "CS",
                                 kGyor,
                                 "p\xE9"
                                 "cs",
                                 ""};
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable(table, w);
    c->BeginBatch();
    const int n = to - from;
    for (int k = 0; k < n; ++k) {
      const int i = from + (k * 7919) % n;
      c->Insert();
      c->SetValue("ID", Value::Int(i + 1));
      if (i % 17 != 0) c->SetValue("NUM", Value::Int(i % 50));
      if (i % 13 != 0) c->SetValue("AMT", Value::Double((i % 31 - 15) * 1.5));
      if (!names[i % 8].empty()) c->SetValue("NEV", Value::Text(names[i % 8]));
      if (!towns[i % 5].empty()) c->SetValue("VAROS", Value::Text(towns[i % 5]));
      c->Post();
    }
    c->EndBatch();
  }

  TempDir dir;
  Session s;
  std::unique_ptr<SqlSession> sql;
};

// The idxNum of the plan's virtual-table step; -1 when none is shown.
int IdxNum(const std::string& plan) {
  const size_t at = plan.find("INDEX ");
  return at == std::string::npos ? -1 : std::atoi(plan.c_str() + at + 6);
}

TEST_F(SqlIndexTest, LookupsReturnTheRowsOfAFullScan) {
  struct Case {
    std::string column, condition;  // condition on "{}", the column
    bool indexed;                   // the index serves it
  };
  const std::vector<Case> cases = {
      {"NUM", "{} = 7", true},  // duplicates, some made by changes after the index was built
      {"NUM", "{} = 0", true},
      {"NUM", "{} = 49", true},
      {"NUM", "{} = 50", true},  // absent, above every value
      {"NUM", "{} = -1", true},  // absent, below every value
      {"NUM", "{} = 7.5", true},
      {"NUM", "{} > 46", true},
      {"NUM", "{} >= 49", true},
      {"NUM", "{} < 2", true},  // nulls sort first in the index and must not come back
      {"NUM", "{} <= 0", true},
      {"NUM", "{} BETWEEN 10 AND 12", true},
      {"NUM", "{} > 10.5 AND {} < 12.5", true},
      {"NUM", "{} > 49", true},
      {"NUM", "{} > 4000000000", true},  // beyond a Long
      {"NUM", "{} < -4000000000", true},
      {"NUM", "{} = 7.0", true},
      {"NUM", "{} IS NULL", false},
      {"AMT", "{} = -3", true},
      {"AMT", "{} = 0", true},
      {"AMT", "{} > -1.5 AND {} <= 0", true},
      {"AMT", "{} <= -22.5", true},
      {"AMT", "{} >= 22.5", true},
      {"AMT", "{} < -22.5", true},
      {"NEV", "{} = '" + kKovacs + "'", true},  // the case-insensitive index holds all three
      {"NEV",
       "{} = 'KOV\xC1"
       "CS'",
       true},
      {"NEV", "{} = '" + kKovacs + " '", true},  // trailing blank
      {"NEV", "{} = '" + kArvizturo + "'", true},
      {"NEV", "{} = '" + kArvizturoUp + "'", true},
      {"NEV", "{} = 'Nincs'", true},
      {"NEV", "{} = ''", true},
      {"NEV", "{} = '" + kKovacs + "' COLLATE NOCASE", false},
      {"VAROS", "{} = '" + kPecs + "'", true},
      {"VAROS",
       "{} = 'P\xC9"
       "CS'",
       true},
      {"VAROS", "{} = '" + kGyor + "'", true},
      {"VAROS", "{} > 'P'", false},  // Alpha order is not SQLite's
  };
  for (const char* table : {"KULCS", "HALOM"}) {
    for (const Case& c : cases) {
      auto with = [&](const std::string& col) {
        std::string w = c.condition;
        for (size_t at; (at = w.find("{}")) != std::string::npos;) w.replace(at, 2, col);
        return std::string("SELECT * FROM ") + table + " WHERE " + w + " ORDER BY ID";
      };
      const std::string seek = with(c.column), scan = with("+" + c.column);
      const std::vector<std::string> expected = Rows(*sql, scan);
      EXPECT_EQ(Rows(*sql, seek), expected) << table << ": " << seek;
      EXPECT_EQ((IdxNum(Plan(*sql, seek)) & 32) != 0, c.indexed) << table << ": " << seek;
      EXPECT_EQ(IdxNum(Plan(*sql, scan)) & 32, 0) << scan;
    }
    // The fixture is not trivial: duplicates, nulls and several spellings are there.
    EXPECT_GT(Rows(*sql, std::string("SELECT ID FROM ") + table + " WHERE +NUM = 7").size(), 30u);
    EXPECT_EQ(Rows(*sql, std::string("SELECT count(*) FROM ") + table + " WHERE NEV = '" +
                             kArvizturoUp + "'"),
              Rows(*sql, std::string("SELECT count(*) FROM ") + table + " WHERE +NEV = '" +
                             kArvizturoUp + "'"));
  }
}

TEST_F(SqlIndexTest, AlphaPrimaryKeyEqualitySeeks) {
  s.DbCreateTable("NEVEK", {{"NEV", paradox::kAlpha, 16}, {"ID", paradox::kLong, 0}}, 1);
  const std::vector<std::string> spellings = {kKovacs,
                                              "KOV\xC1"
                                              "CS",
                                              "kov\xE1"
                                              "cs",
                                              kKovacs + " ",
                                              kArvizturo,
                                              kArvizturoUp};
  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("NEVEK", w);
    c->BeginBatch();
    for (int i = 0; i < 900; ++i) {  // many blocks, the spellings among them
      const int k = (i * 7919) % 900;
      c->Insert();
      c->SetValue("NEV", Value::Text(k < int(spellings.size()) ? spellings[size_t(k)]
                                                               : "n" + std::to_string(k)));
      c->SetValue("ID", Value::Int(k));
      c->Post();
    }
    c->EndBatch();
  }
  sql->Refresh();
  std::vector<std::pair<std::string, bool>> cases;  // condition on "{}", seeks
  for (const std::string& n : spellings) cases.push_back({"{} = '" + n + "'", true});
  cases.push_back({"{} = 'n450'", true});
  cases.push_back({"{} = 'n899'", true});
  cases.push_back({"{} = 'n9000'", true});  // absent, past the last block's first key
  cases.push_back({"{} = '!'", true});      // absent, before every key
  cases.push_back(
      {"{} = 'KOV\xC1"
       "CS' COLLATE NOCASE",
       false});
  for (const auto& [condition, seeks] : cases) {
    auto with = [&](const std::string& col) {
      std::string w = condition;
      w.replace(w.find("{}"), 2, col);
      return "SELECT ID, NEV FROM NEVEK WHERE " + w + " ORDER BY ID";
    };
    EXPECT_EQ(Rows(*sql, with("NEV")), Rows(*sql, with("+NEV"))) << condition;
    EXPECT_EQ((IdxNum(Plan(*sql, with("NEV"))) & 32) != 0, seeks) << condition;
  }
  EXPECT_EQ(Rows(*sql,
                 "SELECT ID FROM NEVEK WHERE NEV = 'KOV\xC1"
                 "CS'"),
            std::vector<std::string>{"1"});
  EXPECT_EQ(Rows(*sql,
                 "SELECT count(*) FROM NEVEK WHERE NEV = 'KOV\xC1"
                 "CS' COLLATE NOCASE"),
            std::vector<std::string>{"3"});
}

TEST_F(SqlIndexTest, IndexOrderServesOrderBy) {
  for (const char* table : {"KULCS", "HALOM"}) {
    const std::string q =
        std::string("SELECT NUM, AMT FROM ") + table + " WHERE NUM BETWEEN 3 AND 5 ORDER BY NUM";
    EXPECT_EQ(Plan(*sql, q).find("TEMP B-TREE"), std::string::npos) << q;
    std::vector<std::string> got = Rows(*sql, q), nums;
    for (const std::string& r : got) nums.push_back(r.substr(0, r.find('|')));
    EXPECT_TRUE(std::is_sorted(nums.begin(), nums.end())) << q;
    std::vector<std::string> expected =
        Rows(*sql, std::string("SELECT NUM, AMT FROM ") + table + " WHERE +NUM BETWEEN 3 AND 5");
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    // Negative numbers before positive ones, as SQLite orders them.
    const std::string amt =
        std::string("SELECT AMT FROM ") + table + " WHERE AMT >= -3 AND AMT <= 3 ORDER BY AMT";
    EXPECT_EQ(Plan(*sql, amt).find("TEMP B-TREE"), std::string::npos);
    EXPECT_EQ(Rows(*sql, amt), Rows(*sql, std::string("SELECT AMT FROM ") + table +
                                              " WHERE +AMT >= -3 AND +AMT <= 3 ORDER BY +AMT"));
  }
}

TEST_F(SqlIndexTest, ChangesBetweenStatementsAreSeen) {
  auto by_num = sql->Prepare("SELECT ID FROM KULCS WHERE NUM = :n ORDER BY ID");
  auto by_id = sql->Prepare("SELECT NEV, NUM FROM KULCS WHERE ID = :id");
  auto ids = [](SqlStatement& st) {
    std::vector<std::string> out;
    auto r = st.Query();
    while (r->Next())
      out.push_back(Text(r->row()[0]) + (r->row().size() > 1 ? "|" + Text(r->row()[1]) : ""));
    return out;
  };
  by_num->SetParam("n", Value::Int(1234));
  by_id->SetParam("id", Value::Int(2));
  EXPECT_EQ(ids(*by_num), std::vector<std::string>{});
  EXPECT_EQ(ids(*by_id), std::vector<std::string>{"KOV\xC1"
                                                  "CS|1"});
  for (int round = 0; round < 2; ++round) {
    // At once (within the file's clock tick) and again a moment later.
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("KULCS", w);
    for (c->First(); !c->Eof() && c->AsVariant("ID").as_int() != 2;) c->Next();
    ASSERT_FALSE(c->Eof());
    c->Edit();
    c->SetValue("NUM", Value::Int(1234 + round));
    c->SetValue("NEV", Value::Text(round ? kSzabo : kGyor));
    c->Post();
    c.reset();
    by_num->SetParam("n", Value::Int(1234 + round));
    EXPECT_EQ(ids(*by_num), std::vector<std::string>{"2"}) << round;
    EXPECT_EQ(ids(*by_id), std::vector<std::string>{(round ? kSzabo : kGyor) + "|" +
                                                    std::to_string(1234 + round)});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  // An idle SQL session holds no lock: a change needing the table to itself goes through, and
  // the next statement sees it.
  s.DbEmptyTable("KULCS");
  by_num->SetParam("n", Value::Int(1235));
  EXPECT_EQ(ids(*by_num), std::vector<std::string>{});
  EXPECT_EQ(ids(*by_id), std::vector<std::string>{});
  EXPECT_EQ(Rows(*sql, "SELECT count(*) FROM KULCS"), std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace tablorix
