// The new-field dialog's statement for each type of its list, and the statements run through
// the engine's SQL onto a real table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/sql/sql_session.h"
#include "engine/tests/writer_check.h"
#include "scripts/core/NewField.h"

namespace tablorix::scripts {
namespace {

struct TypeCase {
  const char* entry;
  const char* statement;  // for the field F with the size "20"
  TFieldType type;
  int size;  // as DbFieldDefs gives it, -1 when not checked
};

const TypeCase kTypes[] = {
    {"Smallint - SMALLINT", "ALTER TABLE T ADD F SMALLINT;\r\n", TFieldType::ftSmallint, -1},
    {"Integer - INT", "ALTER TABLE T ADD F INT;\r\n", TFieldType::ftInteger, -1},
    {"Float - FLOAT", "ALTER TABLE T ADD F FLOAT;\r\n", TFieldType::ftFloat, -1},
    {"String - CHAR(n)", "ALTER TABLE T ADD F CHAR(20);\r\n", TFieldType::ftString, 20},
    {"Date - DATE", "ALTER TABLE T ADD F DATE;\r\n", TFieldType::ftDate, -1},
    {"Logical - BOOLEAN", "ALTER TABLE T ADD F BOOLEAN;\r\n", TFieldType::ftBoolean, -1},
    {"Memo - BLOB(0,1)", "ALTER TABLE T ADD F BLOB(0,1);\r\n", TFieldType::ftMemo, -1},
    {"Binary - BLOB(0,2)", "ALTER TABLE T ADD F BLOB(0,2);\r\n", TFieldType::ftBlob, -1},
    {"Formatted memo - BLOB(0,3)", "ALTER TABLE T ADD F BLOB(0,3);\r\n", TFieldType::ftFmtMemo, -1},
    {"Ole object - BLOB(0,4)", "ALTER TABLE T ADD F BLOB(0,4);\r\n", TFieldType::ftParadoxOle, -1},
    {"Graphic - BLOB(0,5)", "ALTER TABLE T ADD F BLOB(0,5);\r\n", TFieldType::ftGraphic, -1},
    {"Time - TIME", "ALTER TABLE T ADD F TIME;\r\n", TFieldType::ftTime, -1},
    {"Timestamp - TIMESTAMP", "ALTER TABLE T ADD F TIMESTAMP;\r\n", TFieldType::ftDateTime, -1},
    {"Money - MONEY", "ALTER TABLE T ADD F MONEY;\r\n", TFieldType::ftCurrency, -1},
    {"Autoinc - AUTOINC", "ALTER TABLE T ADD F AUTOINC;\r\n", TFieldType::ftAutoInc, -1},
    {"Bytes - BYTES(n)", "ALTER TABLE T ADD F BYTES(20);\r\n", TFieldType::ftBytes, 20},
};

TEST(NewFieldStatement, EveryTypeOfTheListInItsOrder) {
  const auto& list = NewFieldTypeList();
  ASSERT_EQ(list.size(), std::size(kTypes));
  for (size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(list[i]);
    EXPECT_EQ(list[i], kTypes[i].entry);
    EXPECT_EQ(NewFieldStatement("T", {"F", int(i), "20"}), kTypes[i].statement);
  }
}

TEST(NewFieldStatement, InputsAreUsedAsTyped) {
  struct Case {
    NewFieldInput input;
    const char* statement;
  } cases[] = {
      {{"Phone", 3, "20"}, "ALTER TABLE Customer ADD Phone CHAR(20);\r\n"},
      // Nothing touched: no name, no type.
      {{"", -1, "0"}, "ALTER TABLE Customer ADD  ;\r\n"},
      {{"Phone", 3, "0"}, "ALTER TABLE Customer ADD Phone CHAR(0);\r\n"},
      {{"Phone", 3, "x y"}, "ALTER TABLE Customer ADD Phone CHAR(x y);\r\n"},
      {{"Phone", 3, ""}, "ALTER TABLE Customer ADD Phone CHAR();\r\n"},
      {{"Home phone", 15, "12"}, "ALTER TABLE Customer ADD Home phone BYTES(12);\r\n"},
      {{"Born", 12, "99"}, "ALTER TABLE Customer ADD Born TIMESTAMP;\r\n"},
      {{"F", 16, "1"}, "ALTER TABLE Customer ADD F ;\r\n"},  // past the list's end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(NewFieldStatement("Customer", c.input), c.statement);
  }
  EXPECT_EQ(NewFieldFileName("Customer"), "ALTER_Customer.sql");
}

TEST(SqlTypeText, SecondTokenTrimmedAndEveryLengthMarkReplaced) {
  EXPECT_EQ(SqlTypeText("String - CHAR(N)", "7"), "CHAR(7)");
  EXPECT_EQ(SqlTypeText("Pair - X(n) Y(N)", "3"), "X(3) Y(3)");
  EXPECT_EQ(SqlTypeText("Odd - A(nn)", "3"), "A(nn)");
  EXPECT_EQ(SqlTypeText("A - B - C", "1"), "B");
  EXPECT_EQ(SqlTypeText("NoDash", "1"), "");
  EXPECT_EQ(SqlTypeText("", "1"), "");
}

// The list is the reference list of the engine's column types: every statement it makes runs
// and adds a field of the type it names.
TEST(NewFieldStatement, EveryTypeRunsThroughTheEngine) {
  writer_check::TempDir dir;
  Session session;
  session.DbOpenDatabase(dir.path());
  SqlSession sql(session);
  sql.Prepare("CREATE TABLE T (A INT)")->Exec();
  for (size_t i = 0; i < std::size(kTypes); ++i) {
    const std::string field = "F" + std::to_string(i + 1);
    const std::string statement = NewFieldStatement("T", {field, int(i), "20"});
    SCOPED_TRACE(statement);
    sql.Prepare(statement)->Exec();
  }
  auto c = session.DbOpenTable("T");
  const auto& defs = c->DbFieldDefs();
  ASSERT_EQ(defs.size(), std::size(kTypes) + 1);
  for (size_t i = 0; i < std::size(kTypes); ++i) {
    SCOPED_TRACE(kTypes[i].entry);
    EXPECT_EQ(defs[i + 1].name, "F" + std::to_string(i + 1));
    EXPECT_EQ(defs[i + 1].type, kTypes[i].type);
    if (kTypes[i].size >= 0) {
      EXPECT_EQ(defs[i + 1].size, kTypes[i].size);
    }
  }
}

}  // namespace
}  // namespace tablorix::scripts
