// Data definition through local SQL: generated scripts run back into tables, and the forms and
// errors of CREATE, DROP and ALTER.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/paradox/codec.h"
#include "engine/session.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"

namespace tablorix {
namespace {

using writer_check::TempDir;

void RunSql(SqlSession& sql, const std::string& text) {
  SCOPED_TRACE(text);
  sql.Prepare(text)->Exec();
}

// Runs a script statement by statement, cut at ';' (the scripts hold no ';' in their texts).
void RunScript(SqlSession& sql, const std::string& script) {
  size_t start = 0;
  while (start < script.size()) {
    size_t end = script.find(';', start);
    if (end == std::string::npos) end = script.size();
    const std::string statement = script.substr(start, end - start + 1);
    if (statement.find_first_not_of(" \r\n;") != std::string::npos) RunSql(sql, statement);
    start = end + 1;
  }
}

std::string ErrorOf(SqlSession& sql, const std::string& text) {
  try {
    sql.Prepare(text)->Exec();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

// "NAME:stored type:size" of each field (the size as DbFieldDefs gives it), the key field
// count and the index definitions.
std::string Structure(Session& s, const std::string& table) {
  auto c = s.DbOpenTable(table);
  std::string out;
  const auto& stored = c->table_file().header().fields;
  for (size_t i = 0; i < stored.size(); ++i) {
    const TFieldDef& f = c->DbFieldDefs()[i];
    out +=
        f.name + ":" + paradox::FieldCodeName(stored[i].type) + ":" + std::to_string(f.size) + " ";
  }
  out += "key=" + std::to_string(c->table_file().header().key_fields);
  for (const TIndexDef& ix : c->DbIndexDefs()) {
    out += " [" + ix.name + "(" + ix.fields + ")";
    if (ix.options & ixPrimary) out += " primary";
    if (ix.options & ixUnique) out += " unique";
    if (ix.options & ixDescending) out += " desc";
    if (ix.options & ixCaseInsensitive) out += " nocase";
    out += "]";
  }
  return out;
}

std::vector<std::string> SqlRows(SqlSession& sql, const std::string& text) {
  auto st = sql.Prepare(text);
  auto r = st->Query();
  std::vector<std::string> rows;
  while (r->Next()) {
    std::string line;
    for (size_t i = 0; i < r->row().size(); ++i)
      line += (i ? "|" : "") + (r->row()[i].is_null() ? "null" : FormatValue(r->row()[i]));
    rows.push_back(line);
  }
  return rows;
}

Value Day(int y, int m, int d) { return Value::Date(DayNumberFromCivil(y, m, d)); }
Value Stamp(int y, int m, int d, int ms_of_day) {
  return Value::DateTime(double(DayNumberFromCivil(y, m, d)) * double(kMsPerDay) + ms_of_day);
}
int32_t Ms(int h, int m, int s, int milli = 0) { return ((h * 60 + m) * 60 + s) * 1000 + milli; }

// Every row of a table, each value as AsVariant gives it.
std::vector<std::vector<Value>> Values(Session& s, const std::string& table) {
  auto c = s.DbOpenTable(table);
  std::vector<std::vector<Value>> rows;
  for (c->First(); !c->Eof(); c->Next()) {
    std::vector<Value> row;
    for (size_t i = 0; i < c->DbFieldDefs().size(); ++i)
      row.push_back(c->IsNull(int(i)) ? Value::Null() : c->AsVariant(int(i)));
    rows.push_back(std::move(row));
  }
  return rows;
}

void ExpectRows(Session& s, const std::string& table,
                const std::vector<std::vector<Value>>& expected) {
  SCOPED_TRACE(table);
  const auto got = Values(s, table);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t r = 0; r < got.size(); ++r) {
    ASSERT_EQ(got[r].size(), expected[r].size()) << "row " << r;
    for (size_t f = 0; f < got[r].size(); ++f)
      EXPECT_TRUE(got[r][f] == expected[r][f])
          << "row " << r << " field " << f << ": got "
          << (got[r][f].is_null() ? "null" : FormatValue(got[r][f])) << ", want "
          << (expected[r][f].is_null() ? "null" : FormatValue(expected[r][f]));
  }
}

class DdlTest : public ::testing::Test {
 protected:
  void SetUp() override { s.DbOpenDatabase(dir.path()); }
  TempDir dir;
  Session s;
};

// A script as the generators write it (CR LF line ends, a null field left out of the column
// list, doubled quotes, mm/dd/yyyy dates, True/False, X'..' binary) builds the same tables
// and rows again.
TEST_F(DdlTest, GeneratedScriptRunsBackIntoTables) {
  const std::string kovacs =
      "Kov\xE1"
      "cs";  // Kovács in Windows-1250
  const std::string script =
      "CREATE TABLE customer(\r\n"
      " custno FLOAT,\r\n"
      " name CHAR(30),\r\n"
      " city CHAR(20),\r\n"
      " since DATE,\r\n"
      "PRIMARY KEY (custno));\r\n"
      "CREATE INDEX ByCity ON Customer (city,name);\r\n"
      "CREATE TABLE log(\r\n id AUTOINC,\r\n note BLOB(0,1)\r\n);\r\n"
      "CREATE TABLE every(\r\n"
      " s SMALLINT,\r\n i INT,\r\n ok BOOLEAN,\r\n price MONEY,\r\n at TIME,\r\n"
      " stamp TIMESTAMP,\r\n raw BYTES(4),\r\n bin BLOB(0,2),\r\n fmt BLOB(0,3),\r\n"
      " ole BLOB(0,4),\r\n pic BLOB(0,5),\r\n amount NUMERIC(12,2),\r\n memo BLOB(10,1)\r\n);\r\n"
      "INSERT INTO Customer (custno,name,since)\r\n"
      "VALUES (1001,'O''Brien','03/15/2005');\r\n"
      "INSERT INTO Customer (custno,name,city,since)\r\n"
      "VALUES (12.5,'" +
      kovacs +
      "','P\xE9"
      "cs','12/31/1999');\r\n"
      "INSERT INTO Customer (custno,name)\r\n"
      "VALUES (-3,'two\r\nlines');\r\n"
      "INSERT INTO log (note)\r\n"
      "VALUES ('first line\r\nsecond ''line''');\r\n"
      "INSERT INTO log (note)\r\n"
      "VALUES ('x');\r\n"
      "INSERT INTO every (s,i,ok,price,at,stamp,raw,bin,fmt,ole,pic,amount,memo)\r\n"
      "VALUES (-12,123456789,True,1234.56,'10:30:00','03/15/2005 10:30:00',X'00FF10',"
      "X'DEADBEEF00',"
      "'formatted\r\ntext',X'0102',X'424D00',-98765.43,'m');\r\n"
      "INSERT INTO every (s,ok,at,stamp)\r\n"
      "VALUES (3,False,'23:59:59.123','2005-03-15 10:30:00.250');\r\n"
      "INSERT INTO every (i)\r\n"
      "VALUES (0);\r\n";
  SqlSession sql(s);
  RunScript(sql, script);

  EXPECT_EQ(Structure(s, "customer"),
            "custno:Number:0 name:Alpha:30 city:Alpha:20 since:Date:0 key=1 "
            "[(custno) primary] [ByCity(city;name)]");
  EXPECT_EQ(Structure(s, "LOG"), "id:AutoInc:0 note:Memo:1 key=0");
  EXPECT_EQ(Structure(s, "every"),
            "s:Short:0 i:Long:0 ok:Logical:0 price:Currency:0 at:Time:0 "
            "stamp:Timestamp:0 raw:Bytes:4 bin:Blob:0 fmt:FmtMemo:0 ole:OLE:0 "
            "pic:Graphic:0 amount:BCD:2 memo:Memo:10 key=0");

  const Value null = Value::Null();
  ExpectRows(s, "customer",
             {{Value::Double(-3), Value::Text("two\r\nlines"), null, null},
              {Value::Double(12.5), Value::Text(kovacs),
               Value::Text("P\xE9"
                           "cs"),
               Day(1999, 12, 31)},
              {Value::Double(1001), Value::Text("O'Brien"), null, Day(2005, 3, 15)}});
  ExpectRows(s, "log",
             {{Value::Int(1), Value::Text("first line\r\nsecond 'line'")},
              {Value::Int(2), Value::Text("x")}});
  ExpectRows(
      s, "every",
      {{Value::Int(-12), Value::Int(123456789), Value::Bool(true), Value::Double(1234.56),
        Value::Time(Ms(10, 30, 0)), Stamp(2005, 3, 15, Ms(10, 30, 0)),
        Value::Bytes(std::string("\x00\xFF\x10\x00", 4)),
        Value::Bytes(std::string("\xDE\xAD\xBE\xEF\x00", 5)), Value::Text("formatted\r\ntext"),
        Value::Bytes("\x01\x02"), Value::Bytes(std::string("BM\x00", 3)), Value::Double(-98765.43),
        Value::Text("m")},
       {Value::Int(3), null, Value::Bool(false), null, Value::Time(Ms(23, 59, 59, 123)),
        Stamp(2005, 3, 15, Ms(10, 30, 0, 250)), null, null, null, null, null, null, null},
       {null, Value::Int(0), null, null, null, null, null, null, null, null, null, null, null}});
}

// Each form of the statements, run on a small table, and the structure it leaves.
TEST_F(DdlTest, StatementFormsLeaveTheTableTheyDescribe) {
  struct Case {
    std::vector<std::string> statements;
    std::string table;
    std::string structure;
  };
  const std::vector<Case> cases = {
      // Names quoted, with ".DB", in any case; comments between the words.
      {{"create table \"Quoted.DB\" (A int) -- note"}, "quoted", "A:Long:0 key=0"},
      {{"CREATE TABLE dotted.db (A SMALLINT, /* why */ B char(5))"},
       "DOTTED",
       "A:Short:0 B:Alpha:5 key=0"},
      {{"CREATE TABLE [Bracket] (`A b` VARCHAR(3), c double precision, d decimal(8,3), "
        "e blob(0,2), f blob)"},
       "bracket",
       "A b:Alpha:3 c:Number:0 d:BCD:3 e:Blob:0 f:Blob:0 key=0"},
      // A composite key named out of order moves to the front in key order.
      {{"CREATE TABLE k (note CHAR(9), b INT, a CHAR(2), PRIMARY KEY (a, B))"},
       "k",
       "a:Alpha:2 b:Long:0 note:Alpha:9 key=2 [(a;b) primary]"},
      {{"CREATE TABLE k2 (x CHAR(9), id INT PRIMARY KEY)"},
       "k2",
       "id:Long:0 x:Alpha:9 key=1 [(id) primary]"},
      // Indexes: the table's own field names, UNIQUE, DESC.
      {{"CREATE TABLE t (ID INT, Name CHAR(10), City CHAR(10), PRIMARY KEY (id))",
        "CREATE UNIQUE INDEX ByName ON t (name)",
        "CREATE INDEX ByCity ON \"T.DB\" (CITY DESC, NAME DESC)"},
       "t",
       "ID:Long:0 Name:Alpha:10 City:Alpha:10 key=1 [(ID) primary] "
       "[ByName(Name) unique] [ByCity(City;Name) desc]"},
      {{"CREATE TABLE t (ID INT, Name CHAR(10), City CHAR(10))",
        "CREATE INDEX Folded ON t (city COLLATE NOCASE, name collate nocase ASC)"},
       "t",
       "ID:Long:0 Name:Alpha:10 City:Alpha:10 key=0 [Folded(City;Name) nocase]"},
      // The DROP INDEX forms, the primary index among them.
      {{"CREATE TABLE t (ID INT, Name CHAR(10), City CHAR(10), PRIMARY KEY (id))",
        "CREATE INDEX ByName ON t (Name)", "CREATE INDEX ByCity ON t (City ASC, Name)",
        "CREATE INDEX Third ON t (City)", "DROP INDEX t.byname", "DROP INDEX ByCity ON T.db",
        "DROP INDEX \"t.DB\".third"},
       "t",
       "ID:Long:0 Name:Alpha:10 City:Alpha:10 key=1 [(ID) primary]"},
      {{"CREATE TABLE t (ID INT, Name CHAR(10), PRIMARY KEY (id))", "DROP INDEX t.PRIMARY"},
       "t",
       "ID:Long:0 Name:Alpha:10 key=0"},
      {{"CREATE TABLE t (ID INT, Name CHAR(10), PRIMARY KEY (id))", "DROP INDEX t.db.primary;"},
       "t",
       "ID:Long:0 Name:Alpha:10 key=0"},
      // ALTER: several changes in one statement, in their order.
      {{"CREATE TABLE t (ID INT, Name CHAR(10), PRIMARY KEY (id))",
        "ALTER TABLE t ADD COLUMN City CHAR(12), ADD born DATE",
        "ALTER TABLE \"T.db\" DROP name, DROP COLUMN born"},
       "t",
       "ID:Long:0 City:Alpha:12 key=1 [(ID) primary]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements.front());
    TempDir d;
    Session session;
    session.DbOpenDatabase(d.path());
    SqlSession sql(session);
    for (const std::string& st : c.statements) ASSERT_NO_THROW(RunSql(sql, st)) << st;
    EXPECT_EQ(Structure(session, c.table), c.structure);
    // The new table is there for SQL at once.
    EXPECT_EQ(SqlRows(sql, "SELECT COUNT(*) FROM " + c.table), std::vector<std::string>{"0"});
  }
}

TEST_F(DdlTest, TablesComeAndGoForSql) {
  SqlSession sql(s);
  RunSql(sql, "CREATE TABLE fresh (a INT, b CHAR(4))");
  RunSql(sql, "INSERT INTO fresh VALUES (1, 'x')");
  EXPECT_EQ(SqlRows(sql, "SELECT a, b FROM \"FRESH.DB\""), std::vector<std::string>{"1|x"});
  // Query runs a definition too and gives no rows.
  auto st = sql.Prepare("DROP TABLE Fresh");
  auto result = st->Query();
  EXPECT_FALSE(result->Next());
  EXPECT_TRUE(s.DbListTables().empty());
  EXPECT_NE(ErrorOf(sql, "SELECT * FROM fresh").find("no such table"), std::string::npos);
  EXPECT_EQ(ErrorOf(sql, "DROP TABLE IF EXISTS fresh"), "(no error)");
  // A table open in a cursor is not dropped, and SQL still reaches it.
  RunSql(sql, "CREATE TABLE held (a INT)");
  {
    auto open = s.DbOpenTable("held");
    EXPECT_NE(ErrorOf(sql, "DROP TABLE held").find("Table is busy"), std::string::npos);
    EXPECT_NE(ErrorOf(sql, "ALTER TABLE held ADD b INT").find("Table is busy"), std::string::npos);
  }
  EXPECT_EQ(SqlRows(sql, "SELECT COUNT(*) FROM held"), std::vector<std::string>{"0"});
  // A name that was dropped can be made again, with other fields.
  RunSql(sql, "CREATE TABLE fresh (c DATE)");
  RunSql(sql, "INSERT INTO fresh VALUES ('02/29/2004')");
  EXPECT_EQ(SqlRows(sql, "SELECT c FROM fresh"), std::vector<std::string>{"2004-02-29"});
}

// Adding and dropping fields keeps the values of the others, keyed or not.
TEST_F(DdlTest, AlterKeepsOtherValues) {
  SqlSession sql(s);
  RunScript(sql,
            "CREATE TABLE p (id INT, name CHAR(10), note BLOB(0,1), n FLOAT, PRIMARY KEY (id));"
            "INSERT INTO p VALUES (2, 'two', 'memo two', 2.5);"
            "INSERT INTO p VALUES (1, 'one', 'memo one', 1.5);"
            "ALTER TABLE p ADD d DATE, DROP n;"
            "UPDATE p SET d = '01/02/2003' WHERE id = 2;"
            "ALTER TABLE p DROP COLUMN name");
  EXPECT_EQ(Structure(s, "p"), "id:Long:0 note:Memo:1 d:Date:0 key=1 [(id) primary]");
  ExpectRows(s, "p",
             {{Value::Int(1), Value::Text("memo one"), Value::Null()},
              {Value::Int(2), Value::Text("memo two"), Day(2003, 1, 2)}});
}

// Refused statements: a clear message, with the line for what cannot be read, and nothing
// changed in the directory.
TEST_F(DdlTest, ErrorsSayWhatIsWrong) {
  SqlSession sql(s);
  RunSql(sql, "CREATE TABLE t (ID INT, Name CHAR(10), PRIMARY KEY (ID))");
  RunSql(sql, "CREATE INDEX ByName ON t (Name)");
  const std::string before = Structure(s, "t");
  struct Case {
    std::string statement;
    std::string message;  // a part of the message
    int line;             // 0: no line number
  };
  const std::vector<Case> cases = {
      {"CREATE TABLE u (a INT,\n b TEXTUAL)", "Unknown type: TEXTUAL", 2},
      {"CREATE TABLE u (a CHAR(0))", "Invalid size", 1},
      {"CREATE TABLE u (a CHAR(256))", "1..255", 1},
      {"CREATE TABLE u (a CHAR)", "needs a size", 1},
      {"CREATE TABLE u (a BYTES(300))", "Invalid size", 1},
      {"CREATE TABLE u (a BLOB(0,6))", "subtype", 1},
      {"CREATE TABLE u (a BLOB(241,1))", "Invalid size", 1},
      {"CREATE TABLE u (a NUMERIC(4,5))", "Invalid size", 1},
      {"CREATE TABLE u (\r\n a INT,\r\n\r\n A CHAR(2))", "Duplicate column name: A", 4},
      {"CREATE TABLE u (a INT, PRIMARY KEY (b))", "PRIMARY KEY names no column", 1},
      {"CREATE TABLE u (a INT, b INT, PRIMARY KEY (a), PRIMARY KEY (b))", "more than one", 1},
      {"CREATE TABLE U (a INT)", "(no error)", 0},  // made here so the next one meets it
      {"CREATE TABLE \"u.db\" (a INT)", "Table already exists: u", 0},
      {"CREATE TABLE T (b INT)", "Table already exists", 0},
      {"DROP TABLE nothere", "Table does not exist: nothere", 0},
      {"ALTER TABLE nothere ADD a INT", "Table does not exist", 0},
      {"CREATE INDEX x ON nothere (a)", "Table does not exist", 0},
      {"CREATE INDEX x ON t (nofield)", "Field not found: nofield", 0},
      {"CREATE INDEX byname ON t (Name)", "Index already exists", 0},
      {"CREATE INDEX x ON t (ID, Name DESC)", "ascending or descending", 1},
      {"CREATE INDEX x ON t (ID,\n Name COLLATE NOCASE)", "ignores case in all", 1},
      {"CREATE INDEX x ON t (ID,\n Name COLLATE BINARY)", "Unknown collation: BINARY", 2},
      {"CREATE TABLE u3 (abcdefghijklmnopqrstuvwxyz INT)", "Invalid field name", 0},
      {"DROP INDEX t.nosuch", "Index not found: nosuch", 0},
      {"ALTER TABLE t DROP nofield", "Field not found: nofield", 0},
      {"ALTER TABLE t ADD Name CHAR(3)", "Duplicate field name: Name", 0},
      // A later failing change stops the earlier ones too.
      {"ALTER TABLE t ADD extra INT, DROP nofield", "Field not found", 0},
      {"ALTER TABLE t DROP ID, DROP Name", "at least one field", 0},
      {"CREATE TABLE \"../up\" (a INT)", "outside the open directory", 1},
      {"CREATE TABLE \"/tmp/x\" (a INT)", "outside the open directory", 1},
      {"CREATE TABLE [c:x] (a INT)", "outside the open directory", 1},
      {"DROP TABLE \"sub\\t\"", "outside the open directory", 1},
      {"DROP INDEX \"../t\".ByName", "outside the open directory", 1},
      {"CREATE TABLE \"a.txt\" (a INT)", "Invalid table name", 1},
      {"CREATE VIEW v AS SELECT 1", "CREATE VIEW is not supported", 1},
      {"DROP TRIGGER x", "not supported", 1},
      {"\n-- comment\nCREATE TABLE u2 (a INT\n\nb INT)", "Syntax error", 5},
      {"CREATE TABLE u2 (a INT));", "Syntax error", 1},
      {"CREATE TABLE u2 (a INT); DROP TABLE t", "Only one statement", 1},
      {"ALTER TABLE t RENAME TO x", "expected ADD or DROP", 1},
      {"CREATE TABLE u2 ('a' INT)", "expected a column name", 1},
      {"CREATE TABLE u2 (a INT) /* open", "unterminated comment", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    const std::string error = ErrorOf(sql, c.statement);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    const size_t at = error.find("\nLine Number: ");
    if (c.line == 0) {
      EXPECT_EQ(at, std::string::npos) << error;
    } else {
      EXPECT_EQ(error.substr(at == std::string::npos ? error.size() : at),
                "\nLine Number: " + std::to_string(c.line));
    }
  }
  EXPECT_EQ(Structure(s, "t"), before);
  EXPECT_EQ(s.DbListTables(), (std::vector<std::string>{"U", "t"}));
  // The virtual tables were made again after the statements that failed while running.
  EXPECT_EQ(SqlRows(sql, "SELECT COUNT(*) FROM t"), std::vector<std::string>{"0"});
}

// SQL texts of typed fields in the forms scripts and locales write them.
TEST_F(DdlTest, TypedTextLiterals) {
  SqlSession sql(s);
  RunSql(sql, "CREATE TABLE v (n INT, d DATE, t TIME, ts TIMESTAMP, b BOOLEAN)");
  struct Case {
    std::string values;
    std::vector<Value> expected;  // d, t, ts, b
  };
  const std::vector<Case> cases = {
      {"'2005-03-15', '10:30', '2005-03-15T10:30:00', 'True'",
       {Day(2005, 3, 15), Value::Time(Ms(10, 30, 0)), Stamp(2005, 3, 15, Ms(10, 30, 0)),
        Value::Bool(true)}},
      {"'3/5/2005', '1:02:03.5', '12/31/1999 23:59:59.999', 'false'",
       {Day(2005, 3, 5), Value::Time(Ms(1, 2, 3, 500)), Stamp(1999, 12, 31, Ms(23, 59, 59, 999)),
        Value::Bool(false)}},
      {"'2005.03.15.', '10:30:00 PM', '03/15/2005 12:00:00 AM', 'TRUE'",
       {Day(2005, 3, 15), Value::Time(Ms(22, 30, 0)), Stamp(2005, 3, 15, 0), Value::Bool(true)}},
      {"'15.03.2005', '12:15:00 PM', '2005-03-15 10:30:00.250', False",
       {Day(2005, 3, 15), Value::Time(Ms(12, 15, 0)), Stamp(2005, 3, 15, Ms(10, 30, 0, 250)),
        Value::Bool(false)}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.values);
    RunSql(sql, "DELETE FROM v");
    RunSql(sql, "INSERT INTO v VALUES (" + std::to_string(++n) + ", " + c.values + ")");
    const auto rows = Values(s, "v");
    ASSERT_EQ(rows.size(), 1u);
    for (size_t i = 0; i < c.expected.size(); ++i)
      EXPECT_TRUE(rows[0][i + 1] == c.expected[i])
          << i << ": " << (rows[0][i + 1].is_null() ? "null" : FormatValue(rows[0][i + 1]));
  }
  // Texts that are no date, time or logical value are refused, naming the field.
  for (const char* bad :
       {"(9, '02/30/2005', null, null, null)", "(9, '13/13/2005', null, null, null)",
        "(9, null, '25:00', null, null)", "(9, null, '10:30 XM', null, null)",
        "(9, null, '13:00 PM', null, null)", "(9, null, null, null, 'maybe')"}) {
    SCOPED_TRACE(bad);
    EXPECT_NE(
        ErrorOf(sql, std::string("INSERT INTO v VALUES ") + bad).find("Invalid value for field"),
        std::string::npos);
  }
}

}  // namespace
}  // namespace tablorix
