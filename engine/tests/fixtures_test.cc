// Reading real tables written by other programs: the values listed in data/paradox/EXPECTED.md.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/paradox/codec.h"
#include "engine/paradox/table_file.h"
#include "engine/session.h"
#include "engine/tests/sha256.h"
#include "exchange/core/table_dump.h"

using namespace tablorix;
namespace fs = std::filesystem;

namespace {

const std::string kData = std::string(TABLORIX_TEST_DATA) + "/paradox";

// Every row of a table as text values ("null" for null).
std::vector<std::vector<std::string>> Rows(const std::string& dir, const std::string& table) {
  Session s;
  s.DbOpenDatabase(kData + "/" + dir);
  auto c = s.DbOpenTable(table);
  std::vector<std::vector<std::string>> rows;
  for (c->First(); !c->Eof(); c->Next()) {
    std::vector<std::string> row;
    for (size_t i = 0; i < c->DbFieldDefs().size(); ++i)
      row.push_back(c->IsNull(int(i)) ? "null" : c->AsText(int(i)));
    rows.push_back(row);
  }
  return rows;
}

using R = std::vector<std::vector<std::string>>;

TEST(RealTables, ScalarValuesAndNulls) {
  struct Case {
    const char* dir;
    const char* table;
    R rows;
  };
  const Case cases[] = {
      {"fields", "date35", {{"2018-01-01"}, {"2018-02-01"}, {"2018-01-02"}}},
      {"fields", "date4", {{"2018-01-01"}, {"2018-02-01"}, {"2018-01-02"}}},
      {"fields",
       "date5",
       {{"2018-01-01", "10:00:00"}, {"2018-02-01", "10:30:00"}, {"2018-01-02", "09:25:25"}}},
      {"fields",
       "date7",
       {{"2018-01-01", "10:00:00"},
        {"2018-02-01", "10:30:00"},
        {"2018-01-02", "09:25:25"},
        {"null", "10:00:00"},
        {"2018-01-01", "null"}}},
      {"fields", "time", {{"01:00:01"}, {"null"}, {"03:00:03"}}},
      {"fields", "timestamp", {{"null"}, {"2020-02-01T01:00:01"}}},
      {"fields", "logical", {{"True"}, {"False"}, {"True"}, {"True"}}},
      {"fields", "long", {{"1", "1"}, {"2", "2"}, {"3", "null"}}},
      {"fields",
       "bcd",
       {{"1.23", "1", "0.123"}, {"-1.23", "-1", "-0.123"}, {"0", "null", "0.9999"}}},
      {"indexes", "C", {{"1", "1", "4"}, {"2", "2", "5"}, {"3", "3", "6"}}},
      {"indexes", "case", {{"case"}}},
      {"indexes", "fk4", {{"1", "null", "1", "null"}, {"2", "null", "2", "null"}}},
      {"indexes", "indexed", {}},
      {"indexes", "multiple", {}},
      {"encrypted",
       "encrypted",
       {{"1", "Value 1"}, {"2", "Value 2"}, {"3", "Value 3"}, {"4", "Last one"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    EXPECT_EQ(Rows(c.dir, c.table), c.rows);
  }
}

TEST(RealTables, BlobsInBothBlockKindsWithPrefixesRemoved) {
  struct Blob {
    const char* table;
    const char* field;
    int row;
    size_t length;
    const char* sha256;
  };
  const Blob blobs[] = {
      {"memo", "MEMO", 0, 555, "95e5b336838678df00c8af3f7d8b256027995f43925cfb9d7e5d9ae9ecc35dbd"},
      {"memo", "MEMO", 1, 12, "3ebb6eff8f6865ea77d304e7e7a060785db2fef0e23e286159f7a3a756d6fc90"},
      {"fmemo", "FMEMO", 0, 169,
       "2ca3b4a9befce60d90cfcdf09f3f41c12e912aa9beb81bf6117a4c3edadf0282"},
      {"fmemo", "FMEMO", 1, 726,
       "a29ffe8f0d2117dec6c1264ef74494cefc2818ec5546fdbec0ae34e846fce054"},
      {"graphic", "Graphic", 0, 20078,
       "6266c028057e1c94e9b2c7ec5d4ee73cfd6f9345248fa3b8b75b0330a66cafcf"},
      {"graphic", "Graphic", 1, 9618,
       "dcab90a6a6e2a516038e256249a5d644e5c12f499b062ce25467b381c04512ed"},
      {"graphic", "Graphic", 2, 2074678,
       "7229a22d9ccf344620439085d8b489e1cf86e1eff2951e6c71183c2e33bae055"},
      {"graphic240", "Graph", 0, 20078,
       "6266c028057e1c94e9b2c7ec5d4ee73cfd6f9345248fa3b8b75b0330a66cafcf"},
  };
  Session s;
  s.DbOpenDatabase(kData + "/fields");
  for (const Blob& b : blobs) {
    SCOPED_TRACE(std::string(b.table) + " row " + std::to_string(b.row));
    auto c = s.DbOpenTable(b.table);
    c->First();
    for (int i = 0; i < b.row; ++i) c->Next();
    std::string bytes;
    ASSERT_TRUE(c->ReadBlob(c->FieldIndex(b.field), &bytes));
    EXPECT_EQ(bytes.size(), b.length);
    EXPECT_EQ(testutil::Sha256Hex(bytes), b.sha256);
  }
  // OLE: the 8-byte prefix (kind 2) is removed as well.
  auto ole = s.DbOpenTable("ole");
  ole->First();
  Value v = ole->AsVariant("OLE");
  ASSERT_EQ(v.kind(), Value::Kind::kBytes);
  EXPECT_EQ(v.as_string().size(), 365920u);
  EXPECT_EQ(v.as_string().substr(2, 16), "Paradox Document");
  // Graphic row 2 of graphic.db has a null Type.
  auto g = s.DbOpenTable("graphic");
  g->First();
  g->Next();
  g->Next();
  EXPECT_TRUE(g->IsNull("Type"));
  EXPECT_EQ(g->AsText("Type"), "");
}

TEST(RealTables, BytesFieldKeepsAllStoredBytes) {
  Session s;
  s.DbOpenDatabase(kData + "/fields");
  auto c = s.DbOpenTable("bytes");
  c->First();
  Value v = c->AsVariant("BYTES");
  ASSERT_EQ(v.as_string().size(), 255u);
  EXPECT_EQ(v.as_string().substr(0, 6), std::string("1\0"
                                                    "2\0"
                                                    "3\0",
                                                    6));
}

TEST(RealTables, HeadersFieldTypesAndCodePages) {
  Session s;
  s.DbOpenDatabase(kData + "/fields");
  auto names = s.DbListTables();
  EXPECT_EQ(names.front(), "bcd");
  EXPECT_EQ(names.size(), 15u);
  auto c = s.DbOpenTable("graphic.db");
  const auto& defs = c->DbFieldDefs();
  ASSERT_EQ(defs.size(), 3u);
  EXPECT_EQ(defs[0].type, TFieldType::ftAutoInc);
  EXPECT_EQ(defs[1].type, TFieldType::ftGraphic);
  EXPECT_TRUE(defs[1].is_blob);
  EXPECT_EQ(defs[2].type, TFieldType::ftString);
  EXPECT_EQ(defs[2].size, 3);
  EXPECT_EQ(c->code_page(), 850);
  EXPECT_EQ(c->table_file().header().version, 0x0B);
  EXPECT_EQ(s.DbOpenTable("bcd")->DbFieldDefs()[0].type, TFieldType::ftFloat);
  EXPECT_EQ(s.DbOpenTable("time")->code_page(), 1252);
  EXPECT_EQ(s.DbOpenTable("timestamp")->DbFieldDefs()[0].type, TFieldType::ftDateTime);
  EXPECT_EQ(s.DbOpenTable("ole")->DbFieldDefs()[1].type, TFieldType::ftParadoxOle);
  EXPECT_EQ(s.DbOpenTable("fmemo")->DbFieldDefs()[1].type, TFieldType::ftFmtMemo);
  EXPECT_EQ(s.DbListFields("date5"), (std::vector<std::string>{"DATE", "TIME"}));
}

TEST(RealTables, IndexDefinitions) {
  Session s;
  s.DbOpenDatabase(kData + "/indexes");
  struct Case {
    const char* table;
    std::vector<std::tuple<std::string, std::string, TIndexOptions>> defs;
  };
  const Case cases[] = {
      {"C", {{"", "C", ixPrimary}, {"A", "A", 0}, {"B", "B", 0}}},
      {"fk4", {{"", "ID", ixPrimary}, {"reference", "FK1;FK", 0}}},
      {"indexed", {{"Descending", "Indexed", ixDescending | ixCaseInsensitive}}},
      {"multiple", {{"", "ID", ixPrimary}, {"FK", "FK", 0}, {"FK2", "FK2", 0}}},
      {"primary", {{"", "ID", ixPrimary}}},
      {"case", {{"C", "C", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    auto cur = s.DbOpenTable(c.table);
    auto defs = cur->DbIndexDefs();
    ASSERT_EQ(defs.size(), c.defs.size());
    for (size_t i = 0; i < defs.size(); ++i) {
      EXPECT_EQ(defs[i].name, std::get<0>(c.defs[i]));
      EXPECT_EQ(defs[i].fields, std::get<1>(c.defs[i]));
      EXPECT_EQ(defs[i].options, std::get<2>(c.defs[i]));
    }
  }
}

TEST(Cursor, MovesCountsAndBookmarks) {
  Session s;
  s.DbOpenDatabase(kData + "/fields");
  auto c = s.DbOpenTable("date7");
  int notices = 0;
  c->SetMoveNotice([&] { ++notices; });
  EXPECT_EQ(c->RowCount(), 5);
  EXPECT_FALSE(c->IsEmpty());
  c->First();
  EXPECT_EQ(c->RecNo(), 1);
  c->Next();
  c->Next();
  EXPECT_EQ(c->RecNo(), 3);
  Bookmark b = c->SaveBookmark();
  c->Next();
  c->Next();
  EXPECT_FALSE(c->Eof());
  c->Next();
  EXPECT_TRUE(c->Eof());
  EXPECT_EQ(c->RecNo(), 5);  // stays on the last row
  c->RestoreBookmark(b);
  EXPECT_EQ(c->AsText("DATE"), "2018-01-02");
  c->Prior();
  c->Prior();
  EXPECT_EQ(c->RecNo(), 1);
  c->Prior();
  EXPECT_TRUE(c->Bof());
  EXPECT_EQ(notices, 10);
  EXPECT_THROW(c->FieldIndex("NOPE"), EngineError);
  EXPECT_DOUBLE_EQ(c->AsDateTime("DATE"), double(DayNumberFromCivil(2018, 1, 1)) * kMsPerDay);
  EXPECT_EQ(c->AsVariant("TIME"), Value::Time(36000000));

  EXPECT_THROW(s.DbOpenTable("../indexes/indexed"), EngineError);
  EXPECT_THROW(s.DbOpenTable("nosuchtable"), EngineError);
}

TEST(Session, FindsTablesIgnoringCaseAndClosesCursorsOnReopen) {
  Session s;
  s.DbOpenDatabase(kData + "/indexes");
  auto a = s.DbOpenTable("c");
  auto b = s.DbOpenTable("FK4.DB");
  EXPECT_TRUE(a->IsOpen());
  s.DbOpenDatabase(kData + "/fields");
  EXPECT_FALSE(a->IsOpen());
  EXPECT_FALSE(b->IsOpen());
  EXPECT_THROW(a->RowCount(), EngineError);
  EXPECT_THROW(s.DbOpenDatabase(kData + "/no-such-dir"), EngineError);
}

}  // namespace
