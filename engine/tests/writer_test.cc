// Tables this engine writes: created, changed row by row, rewritten, and read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"
#include "engine/tests/writer_check.h"

using namespace tablorix;
namespace fs = std::filesystem;

namespace {

using writer_check::Rows;
using writer_check::TempDir;

const std::vector<NewFieldDef> kPeople = {
    {"ID", paradox::kLong, 0},
    {"NEV", paradox::kAlpha, 20},
    {"SZULETETT", paradox::kDate, 0},
    {"JEGYZET", paradox::kMemo, 10},
};

TEST(Writer, KeyedInsertsKeepKeyOrderAcrossBlocks) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  s.DbCreateTable("people", kPeople, 1);
  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("people", w);
    // Keys in a scrambled order so that blocks split in the middle.
    for (int i = 0; i < 3000; ++i) {
      const int id = (i * 7919) % 3000 + 1;
      c->Insert();
      c->SetValue("ID", Value::Int(id));
      c->SetValue("NEV", Value::Text("N\xE9v " + std::to_string(id)));
      c->SetValue("SZULETETT", Value::Text("2001-02-03"));
      if (id % 100 == 0) c->SetValue("JEGYZET", Value::Text(std::string(size_t(id), 'x')));
      c->Post();
    }
    EXPECT_EQ(c->RowCount(), 3000);
    c->Insert();
    c->SetValue("ID", Value::Int(5));
    EXPECT_THROW(c->Post(), EngineError);
    c->Cancel();
  }
  auto rows = Rows(s, "people");
  ASSERT_EQ(rows.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(rows[size_t(i)][0], std::to_string(i + 1));
    ASSERT_EQ(rows[size_t(i)][1], "N\xE9v " + std::to_string(i + 1));
    ASSERT_EQ(rows[size_t(i)][2], "2001-02-03");
    ASSERT_EQ(rows[size_t(i)][3], (i + 1) % 100 == 0 ? std::string(size_t(i + 1), 'x') : "null");
  }
}

}  // namespace
