// Helpers of the writer tests: a scratch directory, the rows of a table as text, and a checker
// that reads a table's files through the reader and proves the primary index and the secondary
// indexes agree with the data blocks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/paradox/table_store.h"
#include "engine/session.h"

namespace tablorix::writer_check {

namespace fs = std::filesystem;

class TempDir {
 public:
  // In memory when the machine has a tmpfs: these tests commit thousands of times, and what
  // they check does not depend on the flushes reaching a disk.
  TempDir() {
    std::string tmpl = (fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
    tmpl += "/tablorix-wcheck-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
      tmpl = "/tmp/tablorix-wcheck-XXXXXX";
      mkdtemp(tmpl.data());
    }
    path_ = tmpl;
  }
  ~TempDir() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

using Row = std::vector<std::string>;

inline Row CurrentRow(const Cursor& c) {
  Row row;
  for (size_t i = 0; i < c.DbFieldDefs().size(); ++i)
    row.push_back(c.IsNull(int(i)) ? "null" : c.AsText(int(i)));
  return row;
}

inline std::vector<Row> Rows(Session& s, const std::string& table) {
  auto c = s.DbOpenTable(table);
  std::vector<Row> rows;
  for (c->First(); !c->Eof(); c->Next()) rows.push_back(CurrentRow(*c));
  return rows;
}

inline int DecodeShort(const uint8_t* p) {
  return int(int16_t(uint16_t((p[0] << 8) | p[1]) ^ 0x8000));
}

// A DB-format file read through the reader: its records in chain order and its blocks.
struct ChainInfo {
  struct Block {
    int number = 0;
    int count = 0;
  };
  std::vector<std::vector<uint8_t>> records;
  std::vector<int> record_block, record_slot;
  std::vector<Block> blocks;  // non-empty blocks in chain order
  paradox::TableHeader header;
};

inline ChainInfo ReadChain(const std::string& path) {
  ChainInfo out;
  auto t = paradox::TableFile::Open(path);
  out.header = t->header();
  std::vector<uint8_t> buf(size_t(t->header().block_size));
  int n = t->header().first_block, steps = 0;
  while (n != 0 && t->header().num_records > 0) {
    if (++steps > 70000) {
      ADD_FAILURE() << path << ": block chain loops";
      break;
    }
    paradox::BlockInfo bi = t->ReadBlock(n, buf.data());
    if (bi.count > 0) out.blocks.push_back({n, bi.count});
    for (int i = 0; i < bi.count; ++i) {
      const uint8_t* r = buf.data() + 6 + size_t(i) * t->header().record_size;
      out.records.emplace_back(r, r + t->header().record_size);
      out.record_block.push_back(n);
      out.record_slot.push_back(i);
    }
    n = bi.next;
  }
  EXPECT_EQ(out.records.size(), size_t(t->header().num_records)) << path;
  return out;
}

// Checks that the tree at `tree_path` has one level-1 entry per non-empty block of `data` (first
// key, block number, count) in chain order, and that upper levels sum and key their children.
// The tree file is read raw, so the check does not rest on the reader.
inline void CheckTree(const ChainInfo& data, const std::string& tree_path, int key_length) {
  SCOPED_TRACE(tree_path);
  std::vector<uint8_t> file;
  {
    std::ifstream in(tree_path, std::ios::binary);
    ASSERT_TRUE(in.good()) << "missing";
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_GE(file.size(), 0x58u);
  const int record_size = paradox::GetU16(&file[paradox::hdr::kRecordSize]);
  const size_t header_size = paradox::GetU16(&file[paradox::hdr::kHeaderSize]);
  const size_t block_size = size_t(file[paradox::hdr::kBlockSize]) * 1024;
  const int root = paradox::GetU16(&file[paradox::hdr::kIndexRoot]);
  const int levels = file[paradox::hdr::kIndexLevels];
  ASSERT_EQ(record_size, key_length + 6);
  ASSERT_EQ((file.size() - header_size) % block_size, 0u) << "partial block";
  const int blocks = int((file.size() - header_size) / block_size);
  struct Entry {
    std::vector<uint8_t> key;
    int block, count;
  };
  std::vector<Entry> leaves;
  std::function<void(int, int, const uint8_t*, int)> walk = [&](int n, int level,
                                                                const uint8_t* key, int count) {
    ASSERT_TRUE(n >= 1 && n <= blocks) << "tree block " << n << " outside the file";
    const uint8_t* b = &file[header_size + size_t(n - 1) * block_size];
    const int entries = int(int16_t(paradox::GetU16(b + 4))) / record_size + 1;
    ASSERT_GT(entries, 0) << "empty tree block " << n;
    ASSERT_LE(size_t(6 + entries * record_size), block_size);
    int sum = 0;
    for (int i = 0; i < entries; ++i) {
      const uint8_t* e = b + 6 + size_t(i) * size_t(record_size);
      const int child = DecodeShort(e + key_length), cnt = DecodeShort(e + key_length + 2);
      if (i == 0 && key) {
        EXPECT_EQ(0, std::memcmp(e, key, size_t(key_length))) << "block " << n;
      }
      sum += cnt;
      if (level == 1)
        leaves.push_back({std::vector<uint8_t>(e, e + key_length), child, cnt});
      else
        walk(child, level - 1, e, cnt);
    }
    if (key && count < 32767) {
      EXPECT_EQ(sum, count) << "tree block " << n;
    }
  };
  if (data.blocks.empty()) {
    EXPECT_EQ(levels, 0);
    return;
  }
  ASSERT_GT(levels, 0);
  walk(root, levels, nullptr, 0);
  ASSERT_EQ(leaves.size(), data.blocks.size());
  size_t first = 0;
  for (size_t i = 0; i < leaves.size(); ++i) {
    EXPECT_EQ(leaves[i].block, data.blocks[i].number) << "entry " << i;
    EXPECT_EQ(leaves[i].count, data.blocks[i].count) << "entry " << i;
    ASSERT_LT(first, data.records.size());
    EXPECT_EQ(0, std::memcmp(leaves[i].key.data(), data.records[first].data(), size_t(key_length)))
        << "key of entry " << i;
    first += size_t(data.blocks[i].count);
  }
}

// A secondary index as the test expects it: table fields (0-based), case-insensitive or not.
struct IndexExpect {
  std::string ext;  // "X03", "XG0"
  std::vector<int> fields;
  bool case_insensitive = false;
};

// Checks the .PX of a keyed table and every secondary index against the table's records.
inline void CheckFamily(const std::string& dir, const std::string& base,
                        const std::vector<IndexExpect>& indexes) {
  SCOPED_TRACE(base);
  const ChainInfo db = ReadChain(dir + "/" + base + ".DB");
  const auto& h = db.header;
  int pk_len = 0;
  for (int i = 0; i < h.key_fields; ++i) pk_len += h.fields[size_t(i)].length;
  if (h.keyed()) {
    CheckTree(db, dir + "/" + base + ".PX", pk_len);
    for (size_t i = 1; i < db.records.size(); ++i)
      EXPECT_LT(std::memcmp(db.records[i - 1].data(), db.records[i].data(), size_t(pk_len)), 0)
          << "record " << i << " out of key order";
  }
  // Exactly the expected index files, no others.
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(base + ".", 0) != 0) continue;
    const std::string ext = name.substr(base.size() + 1);
    if (ext[0] == 'X') found.push_back(ext);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> want;
  for (const auto& ix : indexes) want.push_back(ix.ext);
  std::sort(want.begin(), want.end());
  EXPECT_EQ(found, want);
  for (const IndexExpect& ix : indexes) {
    SCOPED_TRACE(ix.ext);
    const ChainInfo x = ReadChain(dir + "/" + base + "." + ix.ext);
    ASSERT_EQ(x.records.size(), db.records.size());
    // The index records the table's records make: index fields, then the primary key (keyed)
    // or record number and block (unkeyed).
    std::vector<std::vector<uint8_t>> want_recs;
    int part = 0;
    for (int f : ix.fields) part += h.fields[size_t(f)].length;
    const int key_len = h.keyed() ? part + pk_len : part + 6;
    for (size_t r = 0; r < db.records.size(); ++r) {
      std::vector<uint8_t> k;
      for (int f : ix.fields) {
        const auto& fi = h.fields[size_t(f)];
        std::vector<uint8_t> v(db.records[r].begin() + fi.offset,
                               db.records[r].begin() + fi.offset + fi.length);
        if (ix.case_insensitive && fi.type == paradox::kAlpha)
          paradox::TableStore::UpperWin1250(v.data(), v.size());
        k.insert(k.end(), v.begin(), v.end());
      }
      if (h.keyed()) {
        k.insert(k.end(), db.records[r].begin(), db.records[r].begin() + pk_len);
      } else {
        uint8_t t[6];
        const uint32_t u = uint32_t(r) ^ 0x80000000u;
        t[0] = uint8_t(u >> 24), t[1] = uint8_t(u >> 16), t[2] = uint8_t(u >> 8), t[3] = uint8_t(u);
        const uint16_t b = uint16_t(db.record_block[r]) ^ 0x8000u;
        t[4] = uint8_t(b >> 8), t[5] = uint8_t(b);
        k.insert(k.end(), t, t + 6);
      }
      want_recs.push_back(std::move(k));
    }
    std::sort(want_recs.begin(), want_recs.end());
    for (size_t r = 0; r < x.records.size(); ++r) {
      ASSERT_EQ(0, std::memcmp(x.records[r].data(), want_recs[r].data(), size_t(key_len)))
          << "index record " << r << " of " << x.records.size();
    }
    const std::string y = "Y" + ix.ext.substr(1);
    CheckTree(x, dir + "/" + base + "." + y, key_len);
  }
}

}  // namespace tablorix::writer_check
