// Damaged files: every fault is an EngineError naming the file, never a crash or a hang.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/session.h"
#include "engine/types.h"

using namespace tablorix;
namespace fs = std::filesystem;

namespace {

const std::string kData = std::string(TABLORIX_TEST_DATA) + "/paradox";

using Bytes = std::vector<uint8_t>;

Bytes Load(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), {});
}

void Save(const fs::path& p, const Bytes& b) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

// Opens the table, reads every field of every row (blobs too) and its index list; returns the
// number of rows.
int ReadAll(const std::string& dir, const std::string& table) {
  Session s;
  s.DbOpenDatabase(dir);
  auto c = s.DbOpenTable(table);
  int rows = 0;
  for (c->First(); !c->Eof(); c->Next(), ++rows)
    for (size_t i = 0; i < c->DbFieldDefs().size(); ++i) c->AsText(int(i));
  c->DbIndexDefs();
  return rows;
}

class CorruptTables : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("tablorix-corrupt-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(CorruptTables, EveryFaultIsAnErrorNamingTheFile) {
  // long.db: record size 8, header 0x800, 2 KB blocks, one data block of 3 rows.
  // memo.db + memo.mb: memo values stored in a sub-allocated .MB block at 4096.
  // C.DB + C.X02: a table with a single-field secondary index.
  struct Case {
    const char* what;
    const char* table;  // table to read
    const char* file;   // file that is damaged
    std::function<void(Bytes&)> damage;
    const char* fault;  // expected in the message; nullptr: the damage is tolerated
  };
  const Case cases[] = {
      {"header cut", "long", "long.db", [](Bytes& b) { b.resize(0x40); }, "too short"},
      {"header cut past the field list", "long", "long.db", [](Bytes& b) { b.resize(0x400); },
       "header size"},
      {"block cut", "long", "long.db", [](Bytes& b) { b.resize(0x800 + 100); }, "first block"},
      {"header size too small", "long", "long.db", [](Bytes& b) { Put16(b, 0x02, 0x10); },
       "header size"},
      {"header size past the end", "long", "long.db", [](Bytes& b) { Put16(b, 0x02, 0xF000); },
       "header size"},
      {"record size 0", "long", "long.db", [](Bytes& b) { Put16(b, 0x00, 0); }, "record size 0"},
      {"record size larger than the block", "long", "long.db",
       [](Bytes& b) { Put16(b, 0x00, 3000); }, "record size 3000"},
      {"block size code 0", "long", "long.db", [](Bytes& b) { b[0x05] = 0; }, "block size code"},
      {"block size code 40", "long", "long.db", [](Bytes& b) { b[0x05] = 40; }, "block size code"},
      {"first block past the end", "long", "long.db", [](Bytes& b) { Put16(b, 0x0E, 5); },
       "first block 5"},
      {"block chain loops", "long", "long.db", [](Bytes& b) { Put16(b, 0x800, 1); }, "loops"},
      {"block record count over capacity", "long", "long.db",
       [](Bytes& b) { Put16(b, 0x804, 300 * 8 - 8); }, "records in a block"},
      {"block record count not a whole record", "long", "long.db",
       [](Bytes& b) { Put16(b, 0x804, 3); }, "record count"},
      {"field count 0", "long", "long.db", [](Bytes& b) { Put16(b, 0x21, 0); }, "0 fields"},
      {"field count huge", "long", "long.db", [](Bytes& b) { Put16(b, 0x21, 0xFFFF); },
       "65535 fields"},
      {"field type unknown", "long", "long.db", [](Bytes& b) { b[0x78] = 0x30; }, "has type 48"},
      // The header's record count is only a hint (RowCount); rows come from the block chain.
      {"record count impossible", "long", "long.db",
       [](Bytes& b) { b[0x06] = b[0x07] = b[0x08] = b[0x09] = 0xFF; }, nullptr},
      {"blob pointer past the end of the .MB", "memo", "memo.mb", [](Bytes& b) { b.resize(4096); },
       "past the end"},
      {"MB block of the wrong type", "memo", "memo.mb", [](Bytes& b) { b[4096] = 4; },
       "wrong kind"},
      {"index file is garbage", "C", "C.X02",
       [](Bytes& b) {
         for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i * 37 + 11);
       },
       "C.X02"},
      {"index file is empty", "C", "C.X02", [](Bytes& b) { b.clear(); }, "too short"},
  };
  const std::vector<std::pair<std::string, std::vector<std::string>>> sources = {
      {"fields", {"long.db", "memo.db", "memo.mb"}}, {"indexes", {"C.DB", "C.X02"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& [sub, names] : sources)
      for (const auto& n : names) fs::copy_file(fs::path(kData) / sub / n, dir_ / n);
    Bytes b = Load(dir_ / c.file);
    c.damage(b);
    Save(dir_ / c.file, b);
    if (!c.fault) {
      EXPECT_EQ(ReadAll(dir_.string(), c.table), 3);
      continue;
    }
    try {
      ReadAll(dir_.string(), c.table);
      ADD_FAILURE() << "no error";
    } catch (const EngineError& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(c.file), std::string::npos) << m;
      EXPECT_NE(m.find(c.fault), std::string::npos) << m;
    }
  }
}

}  // namespace
