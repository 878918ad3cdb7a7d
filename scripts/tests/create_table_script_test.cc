// CREATE TABLE scripts of real tables in both flavours, and the type names each flavour uses.
#include "scripts/core/create_table_script.h"

#include <gtest/gtest.h>

#include "scripts/tests/script_fixture.h"

namespace tablorix::scripts {
namespace {

using testing::MakeTable;

class CreateTableScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { s_.DbOpenDatabase(dir_.path()); }
  testing::ScratchDir dir_;
  Session s_;
};

TEST_F(CreateTableScriptTest, CustomerWithPrimaryKeyAndNamedIndex) {
  MakeTable(s_, "Customer",
            {{"CustNo", paradox::kNumber, 0},
             {"Name", paradox::kAlpha, 30},
             {"City", paradox::kAlpha, 20},
             {"Since", paradox::kDate, 0}},
            1);
  s_.DbAddIndex("Customer", "ByCity", "City;Name", 0);
  EXPECT_EQ(CreateTableScript(s_, "Customer", SqlFlavour::kEngine),
            "CREATE TABLE customer(\r\n"
            " custno FLOAT,\r\n"
            " name CHAR(30),\r\n"
            " city CHAR(20),\r\n"
            " since DATE,\r\n"
            "PRIMARY KEY (custno));\r\n"
            "CREATE INDEX ByCity ON Customer (city,name);\r\n");
  // MySQL compares table names by case: every mention is the lower-cased name. Its FLOAT is
  // single precision, so numbers go to DOUBLE.
  EXPECT_EQ(CreateTableScript(s_, "Customer", SqlFlavour::kMySql),
            "CREATE TABLE customer(\r\n"
            " custno DOUBLE,\r\n"
            " name VARCHAR(30),\r\n"
            " city VARCHAR(20),\r\n"
            " since DATE,\r\n"
            "PRIMARY KEY (custno));\r\n"
            "CREATE INDEX ByCity ON customer (city,name);\r\n");
}

TEST_F(CreateTableScriptTest, LogWithoutIndexes) {
  MakeTable(s_, "Log", {{"Id", paradox::kAutoInc, 0}, {"Note", paradox::kMemo, 10}}, 0);
  EXPECT_EQ(CreateTableScript(s_, "Log", SqlFlavour::kEngine),
            "CREATE TABLE log(\r\n id AUTOINC,\r\n note BLOB(0,1)\r\n);\r\n");
  EXPECT_EQ(CreateTableScript(s_, "Log", SqlFlavour::kMySql),
            "CREATE TABLE log(\r\n id INT,\r\n note LONGTEXT\r\n);\r\n");
}

TEST_F(CreateTableScriptTest, CompositeKeyAccentedNamesAndWidthOne) {
  // "ÁRAK" with fields "Kód", "Év", "Jel": full Windows-1250 lower-casing in CREATE TABLE,
  // the table name as listed in the engine flavour's CREATE INDEX.
  MakeTable(s_, "\xC1RAK",
            {{"K\xD3"
              "D",
              paradox::kAlpha, 5},
             {"\xC9V", paradox::kShort, 0},
             {"Jel", paradox::kAlpha, 1}},
            2);
  s_.DbAddIndex("\xC1RAK", "IdxJel", "Jel", 0);
  EXPECT_EQ(CreateTableScript(s_, "\xC1RAK", SqlFlavour::kEngine),
            "CREATE TABLE \xE1rak(\r\n"
            " k\xF3"
            "d CHAR(5),\r\n"
            " \xE9v SMALLINT,\r\n"
            " jel CHAR(1),\r\n"
            "PRIMARY KEY (k\xF3"
            "d,\xE9v));\r\n"
            "CREATE INDEX IdxJel ON \xC1RAK (jel);\r\n");
  EXPECT_EQ(CreateTableScript(s_, "\xC1RAK", SqlFlavour::kMySql),
            "CREATE TABLE \xE1rak(\r\n"
            " k\xF3"
            "d VARCHAR(5),\r\n"
            " \xE9v SMALLINT,\r\n"
            " jel VARCHAR(1),\r\n"
            "PRIMARY KEY (k\xF3"
            "d,\xE9v));\r\n"
            "CREATE INDEX IdxJel ON \xE1rak (jel);\r\n");
}

TEST_F(CreateTableScriptTest, FieldListGivenByTheCallerAndFailures) {
  MakeTable(s_, "T", {{"A", paradox::kLong, 0}, {"B", paradox::kAlpha, 3}}, 0);
  EXPECT_EQ(CreateTableScript(s_, "T", {"B", "A"}, SqlFlavour::kEngine),
            "CREATE TABLE t(\r\n b CHAR(3),\r\n a INT\r\n);\r\n");
  // A field the table no longer has ends the script; the table is closed again, so an
  // exclusive open (which maintenance needs) still works.
  EXPECT_THROW(CreateTableScript(s_, "T", {"A", "Gone"}, SqlFlavour::kEngine), EngineError);
  OpenOptions exclusive;
  exclusive.exclusive = true;
  EXPECT_NO_THROW(s_.DbOpenTable("T", exclusive));
  EXPECT_THROW(CreateTableScript(s_, "Missing", SqlFlavour::kEngine), EngineError);
}

TEST(MySqlName, QuotesWhatMySqlWouldNotReadBare) {
  const std::pair<const char*, const char*> cases[] = {
      {"customer", "customer"},   {"case", "`case`"},   {"Long", "`Long`"},
      {"primary", "`primary`"},   {"n\xE9v", "n\xE9v"},  // név: letters above ASCII are fine
      {"my field", "`my field`"}, {"a`b", "`a``b`"},    {"2024", "`2024`"},
      {"x2024", "x2024"},         {"", "``"},
  };
  for (const auto& [name, written] : cases) EXPECT_EQ(MySqlName(name), written) << name;
}

TEST(SqlTypeText, EveryFieldTypeInBothFlavours) {
  struct Case {
    TFieldType type;
    int size;
    const char* engine;
    const char* mysql;
  } cases[] = {
      {TFieldType::ftString, 7, " CHAR(7)", " VARCHAR(7)"},
      {TFieldType::ftSmallint, 0, " SMALLINT", " SMALLINT"},
      {TFieldType::ftInteger, 0, " INT", " INT"},
      {TFieldType::ftBoolean, 0, " BOOLEAN", " BOOLEAN"},
      {TFieldType::ftFloat, 0, " FLOAT", " DOUBLE"},
      {TFieldType::ftCurrency, 0, " MONEY", " DECIMAL(19,4)"},
      {TFieldType::ftDate, 0, " DATE", " DATE"},
      {TFieldType::ftTime, 0, " TIME", " TIME"},
      {TFieldType::ftDateTime, 0, " TIMESTAMP", " DATETIME"},
      {TFieldType::ftBytes, 16, " BYTES(16)", " VARBINARY(16)"},
      {TFieldType::ftAutoInc, 0, " AUTOINC", " INT"},
      {TFieldType::ftBlob, 10, " BLOB", " LONGBLOB"},
      {TFieldType::ftMemo, 10, " BLOB(0,1)", " LONGTEXT"},
      {TFieldType::ftFmtMemo, 10, " BLOB(0,3)", " LONGTEXT"},
      {TFieldType::ftParadoxOle, 10, " BLOB(0,4)", " LONGBLOB"},
      {TFieldType::ftGraphic, 10, " BLOB(0,5)", " LONGBLOB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SqlTypeText(c.type, c.size, SqlFlavour::kEngine), c.engine) << c.engine;
    EXPECT_EQ(SqlTypeText(c.type, c.size, SqlFlavour::kMySql), c.mysql) << c.mysql;
  }
}

}  // namespace
}  // namespace tablorix::scripts
