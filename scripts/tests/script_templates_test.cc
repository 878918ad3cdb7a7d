// The single-statement templates, byte for byte, and the names of the windows they open.
#include "scripts/core/script_templates.h"

#include <gtest/gtest.h>

#include "scripts/tests/script_fixture.h"

namespace tablorix::scripts {
namespace {

TEST(ScriptTemplates, TextsOfEveryTemplate) {
  const std::vector<std::string> customer = {"CustNo", "Name", "City"};
  // Names with blanks and accented letters (Windows-1250) stay as the engine spells them.
  const std::vector<std::string> odd = {
      "Vev\xF5 k\xF3"
      "d",
      "\xC1r"};
  struct Case {
    const char* what;
    std::string text, expected;
  } cases[] = {
      {"select", SelectTemplate("Customer", customer),
       "SELECT\r\n CustNo,\r\n Name,\r\n City\r\nFROM Customer\r\nWHERE <conditions>\r\n"},
      {"select, one field", SelectTemplate("T", {"F"}),
       "SELECT\r\n F\r\nFROM T\r\nWHERE <conditions>\r\n"},
      {"select, odd names", SelectTemplate("orders", odd),
       "SELECT\r\n Vev\xF5 k\xF3"
       "d,\r\n \xC1r\r\nFROM orders\r\nWHERE <conditions>\r\n"},
      {"insert", InsertTemplate("Customer", customer),
       "INSERT INTO Customer\r\n ( CustNo, Name, City)\r\n"},
      {"insert, one field", InsertTemplate("T", {"F"}), "INSERT INTO T\r\n ( F)\r\n"},
      {"insert, odd names", InsertTemplate("orders", odd),
       "INSERT INTO orders\r\n ( Vev\xF5 k\xF3"
       "d, \xC1r)\r\n"},
      {"update", UpdateTemplate("Customer"), "UPDATE Customer SET\r\nWHERE <conditions>\r\n"},
      {"delete", DeleteTemplate("Customer"), "DELETE FROM Customer\r\nWHERE <conditions>\r\n"},
      {"drop table", DropTableTemplate("Customer"), "DROP TABLE Customer;\r\n"},
      {"alter", AlterTemplate("Customer"),
       "ALTER TABLE Customer DROP ADD <FieldName Datatype>;\r\n"},
      {"drop field", DropFieldStatement("Customer", "City"), "ALTER TABLE Customer DROP City;\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected) << c.what;
}

TEST(ScriptTemplates, FieldsComeFromTheEngineInFieldOrder) {
  testing::ScratchDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  testing::MakeTable(
      s, "Orders",
      {{"Zeta", paradox::kLong, 0}, {"Alpha", paradox::kAlpha, 10}, {"Mid", paradox::kDate, 0}}, 1);
  EXPECT_EQ(SelectTemplate(s, "Orders"),
            "SELECT\r\n Zeta,\r\n Alpha,\r\n Mid\r\nFROM Orders\r\nWHERE <conditions>\r\n");
  EXPECT_EQ(InsertTemplate(s, "Orders"), "INSERT INTO Orders\r\n ( Zeta, Alpha, Mid)\r\n");
  // A table that is not there fails with the engine's error, giving no text.
  EXPECT_THROW(SelectTemplate(s, "Missing"), EngineError);
}

TEST(ScriptTemplates, WindowNamesKeepTheTableNamesCase) {
  EXPECT_EQ(ScriptFileName(kSelectFilePrefix, "orders"), "SEL_orders.sql");
  EXPECT_EQ(ScriptFileName(kSelectFilePrefix, "Orders"), "SEL_Orders.sql");
  EXPECT_EQ(ScriptFileName(kCreateFilePrefix, "Orders"), "Create_Orders.sql");
  EXPECT_EQ(ScriptFileName(kDropFieldFilePrefix, "Orders"), "DropField_Orders.sql");
}

}  // namespace
}  // namespace tablorix::scripts
