// Tables this engine writes: created, changed row by row, rewritten, and read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/session.h"

using namespace tablorix;
namespace fs = std::filesystem;

namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tablorix-writer-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::vector<std::string>> Rows(Session& s, const std::string& table) {
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
