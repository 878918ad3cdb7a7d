// Tables this engine writes: created, changed row by row, rewritten, and read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/paradox/codec.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
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

// Every entry of a maintained index names the block that holds its record, also after the
// records moved in block splits.
TEST(Writer, IndexEntriesFollowTheirRecordsThroughSplits) {
  TempDir dir;
  Session s;
  s.DbOpenDatabase(dir.path());
  s.DbCreateTable("people", kPeople, 1);
  s.DbAddIndex("people", "NEV", "NEV", 0);
  {
    OpenOptions w;
    w.read_only = false;
    auto c = s.DbOpenTable("people", w);
    c->BeginBatch();
    for (int i = 0; i < 2000; ++i) {
      const int id = (i * 7919) % 2000 + 1;
      c->Insert();
      c->SetValue("ID", Value::Int(id));
      c->SetValue("NEV", Value::Text("n" + std::to_string(id % 97)));
      c->Post();
    }
    c->EndBatch();
    for (c->First(); !c->Eof();) {  // deletes make block 1 take over its successor
      if (c->AsNumber("ID") < 300)
        c->Delete();
      else
        c->Next();
      if (c->RecNo() > 400) break;
    }
  }
  auto db = paradox::TableFile::Open(dir.path() + "/people.DB");
  auto x = paradox::TableFile::Open(dir.path() + "/people.X02");
  std::vector<uint8_t> xb(size_t(x->header().block_size)), dbb(size_t(db->header().block_size));
  const int xrs = x->header().record_size, rs = db->header().record_size;
  int entries = 0;
  for (int n = x->header().first_block; n != 0;) {
    auto info = x->ReadBlock(n, xb.data());
    for (int i = 0; i < info.count; ++i, ++entries) {
      const uint8_t* e = xb.data() + 6 + size_t(i) * size_t(xrs);
      int16_t block;
      ASSERT_TRUE(paradox::DecodeInt16(e + xrs - 2, &block));
      auto dinfo = db->ReadBlock(block, dbb.data());
      bool there = false;
      for (int k = 0; k < dinfo.count; ++k)
        there |= std::memcmp(dbb.data() + 6 + size_t(k) * size_t(rs), e + 20, 4) == 0;
      ASSERT_TRUE(there) << "entry " << entries << " names block " << block;
    }
    n = info.next;
  }
  EXPECT_EQ(entries, int(db->header().num_records));
}

}  // namespace
