#include "engine/paradox/data_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/paradox/codec.h"
#include "engine/paradox/crypt.h"
#include "engine/paradox/format.h"
#include "engine/paradox/io.h"
#include "engine/paradox/journal.h"
#include "engine/types.h"

namespace tablorix::paradox {

namespace {
constexpr size_t kMaxDirtyBlocks = 512;  // spill changed blocks beyond this many
constexpr size_t kMaxCachedBlocks = 1024;
}  // namespace

std::unique_ptr<DataFile> DataFile::Open(const std::string& dir, const std::string& name,
                                         Journal* journal) {
  auto f = std::unique_ptr<DataFile>(new DataFile());
  f->dir_path_ = dir;
  f->name_ = name;
  f->path_ = JoinPath(dir, name);
  f->journal_ = journal;
  f->fd_ = OpenForWrite(f->path_, false);
  f->ReadHeader();
  return f;
}

std::unique_ptr<DataFile> DataFile::Create(const std::string& dir, const std::string& name,
                                           const std::vector<uint8_t>& header, Journal* journal) {
  const std::string path = JoinPath(dir, name);
  int fd = OpenForWrite(path, true);
  try {
    TruncateFd(fd, 0, path);
    WriteAt(fd, 0, header.data(), header.size(), path);
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
  return Open(dir, name, journal);
}

DataFile::~DataFile() { CloseFd(fd_); }

void DataFile::ReadHeader() {
  const uint64_t size = FdSize(fd_, path_);
  uint8_t first[0x58];
  if (size < sizeof first) throw EngineError(path_ + ": file is too short for a table header");
  ReadFdAt(fd_, 0, first, sizeof first, path_);
  header_bytes_.assign(std::max<size_t>(GetU16(first + hdr::kHeaderSize), 0x58), 0);
  if (header_bytes_.size() > size) throw EngineError(path_ + ": header is truncated");
  ReadFdAt(fd_, 0, header_bytes_.data(), header_bytes_.size(), path_);
  header_ = ParseHeader(header_bytes_.data(), header_bytes_.size(), size, path_);
  capacity_ = (header_.block_size - kBlockHeaderSize) / header_.record_size;
  const uint64_t physical = (size - header_.header_size) / uint64_t(header_.block_size);
  if (physical > 65535) throw EngineError(path_ + ": has more blocks than a table can hold");
  file_blocks_ = uint16_t(physical);
  original_blocks_ = physical;
  first_free_ = GetU16(&header_bytes_[hdr::kFirstFreeBlock]);
  if (first_free_ > file_blocks_) first_free_ = 0;
  auto_inc_ = header_.auto_inc;
  records_ = header_.num_records;
}

void DataFile::SetKey(std::vector<KeyPart> parts, int key_length) {
  key_ = std::move(parts);
  key_length_ = key_length;
}

int DataFile::Compare(const uint8_t* a, const uint8_t* b) const {
  for (const KeyPart& k : key_) {
    int c = std::memcmp(a + k.offset, b + k.offset, size_t(k.length));
    if (c != 0) {
      if (k.descending) {
        // Descending fields keep nulls last.
        const bool an =
            std::all_of(a + k.offset, a + k.offset + k.length, [](uint8_t x) { return x == 0; });
        const bool bn =
            std::all_of(b + k.offset, b + k.offset + k.length, [](uint8_t x) { return x == 0; });
        if (an != bn) return an ? 1 : -1;
        c = -c;
      }
      return c < 0 ? -1 : 1;
    }
  }
  return 0;
}

void DataFile::Load() {
  if (loaded_) return;
  dir_.clear();
  int64_t total = 0;
  uint16_t n = header_.first_block;
  std::vector<uint8_t> buf(size_t(header_.block_size));
  int steps = 0;
  uint16_t prev = 0;
  while (n != 0) {
    if (n > file_blocks_ || ++steps > 65535)
      throw EngineError(path_ + ": the block chain is damaged (block " + std::to_string(n) + ")");
    const Block* cached = nullptr;
    auto it = cache_.find(n);
    if (it != cache_.end()) cached = &it->second;
    const uint8_t* d;
    if (cached) {
      d = cached->data.data();
    } else {
      ReadFdAt(fd_, BlockOffset(n), buf.data(), buf.size(), path_);
      if (header_.crypt_key) DecryptBlock(buf.data(), buf.size(), header_.crypt_key, n);
      d = buf.data();
    }
    const int add = GetS16(d + 4);
    const int count = add / header_.record_size + 1;
    if (add < -header_.record_size || count > capacity_)
      throw EngineError(path_ + ": block " + std::to_string(n) + " is damaged (record count)");
    Entry e;
    e.block = n;
    e.count = count;
    if (keyed() && count > 0) e.first.assign(reinterpret_cast<const char*>(d + 6), key_length_);
    dir_.push_back(std::move(e));
    total += count;
    prev = n;
    n = GetU16(d);
  }
  (void)prev;
  records_ = total;
  loaded_ = true;
}

void DataFile::Reload() {
  cache_.clear();
  dirty_blocks_ = 0;
  dir_.clear();
  loaded_ = false;
  dirty_header_ = false;
  ReadHeader();
}

void DataFile::Touch() {
  changed_ = true;
  dirty_header_ = true;
  if (journal_ && journal_->active() && !journal_->HasFile(name_)) {
    const uint64_t size = FdSize(fd_, path_);
    journal_->NoteFile(name_, true, size);
    original_blocks_ = size < header_.header_size
                           ? 0
                           : (size - header_.header_size) / uint64_t(header_.block_size);
  }
}

DataFile::Block& DataFile::Get(uint16_t n) {
  auto it = cache_.find(n);
  if (it != cache_.end()) return it->second;
  if (n < 1 || n > file_blocks_)
    throw EngineError(path_ + ": block " + std::to_string(n) + " does not exist");
  Block& b = cache_[n];
  b.data.resize(size_t(header_.block_size));
  ReadFdAt(fd_, BlockOffset(n), b.data.data(), b.data.size(), path_);
  if (header_.crypt_key) DecryptBlock(b.data.data(), b.data.size(), header_.crypt_key, n);
  return b;
}

DataFile::Block& DataFile::NewBlock(uint16_t* n) {
  if (first_free_ != 0) {
    *n = first_free_;
    Block& b = Get(*n);
    uint16_t next = GetU16(b.data.data());
    first_free_ = next <= file_blocks_ ? next : 0;
    return b;
  }
  if (file_blocks_ == 65535) throw EngineError(path_ + ": the table is full (65535 blocks)");
  *n = ++file_blocks_;
  Block& b = cache_[*n];
  b.data.assign(size_t(header_.block_size), 0);
  return b;
}

void DataFile::SetCount(Block& b, int count) {
  PutU16(b.data.data() + 4, uint16_t(int16_t((count - 1) * header_.record_size)));
  if (!b.dirty) {
    b.dirty = true;
    ++dirty_blocks_;
  }
}

void DataFile::SetLinks(Block& b, uint16_t next, uint16_t prev) {
  PutU16(b.data.data(), next);
  PutU16(b.data.data() + 2, prev);
  if (!b.dirty) {
    b.dirty = true;
    ++dirty_blocks_;
  }
}

void DataFile::FreeBlock(uint16_t n) {
  Block& b = Get(n);
  SetLinks(b, first_free_, 0);
  SetCount(b, 0);
  first_free_ = n;
}

void DataFile::UpdateFirst(int entry) {
  Entry& e = dir_[size_t(entry)];
  if (!keyed()) return;
  if (e.count == 0) {
    e.first.clear();
    return;
  }
  Block& b = Get(e.block);
  e.first.assign(reinterpret_cast<const char*>(b.data.data() + 6), size_t(key_length_));
}

const uint8_t* DataFile::Record(RecordPos p) {
  Load();
  if (!p.valid() || p.entry >= int(dir_.size()) || p.slot < 0 ||
      p.slot >= dir_[size_t(p.entry)].count)
    throw EngineError(path_ + ": no such record");
  if (cache_.size() >= kMaxCachedBlocks) SpillIfLarge();
  Block& b = Get(dir_[size_t(p.entry)].block);
  return b.data.data() + 6 + size_t(p.slot) * size_t(header_.record_size);
}

RecordPos DataFile::First() {
  Load();
  for (size_t i = 0; i < dir_.size(); ++i)
    if (dir_[i].count > 0) return {int(i), 0};
  return {};
}

RecordPos DataFile::Next(RecordPos p) {
  Load();
  if (!p.valid()) return {};
  if (p.slot + 1 < dir_[size_t(p.entry)].count) return {p.entry, p.slot + 1};
  for (size_t i = size_t(p.entry) + 1; i < dir_.size(); ++i)
    if (dir_[i].count > 0) return {int(i), 0};
  return {};
}

RecordPos DataFile::PosOfRecNo(int64_t recno) {
  Load();
  if (recno < 1) return {};
  int64_t left = recno - 1;
  for (size_t i = 0; i < dir_.size(); ++i) {
    if (left < dir_[i].count) return {int(i), int(left)};
    left -= dir_[i].count;
  }
  return {};
}

int64_t DataFile::RecNoOf(RecordPos p) const {
  if (!p.valid()) return 0;
  int64_t n = 0;
  for (int i = 0; i < p.entry; ++i) n += dir_[size_t(i)].count;
  return n + p.slot + 1;
}

RecordPos DataFile::PosOfBlock(uint16_t block, int slot) const {
  for (size_t i = 0; i < dir_.size(); ++i)
    if (dir_[i].block == block) return slot < dir_[i].count ? RecordPos{int(i), slot} : RecordPos{};
  return {};
}

RecordPos DataFile::Seek(const uint8_t* key, bool* found) {
  Load();
  *found = false;
  if (dir_.empty()) return {};
  // The last block whose first key is <= key.
  size_t lo = 0, hi = dir_.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const Entry& e = dir_[mid];
    if (e.count > 0 && Compare(reinterpret_cast<const uint8_t*>(e.first.data()), key) <= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  size_t entry = lo == 0 ? 0 : lo - 1;
  // Skip empty blocks (only the lone block of an emptied table can be empty).
  while (entry < dir_.size() && dir_[entry].count == 0) ++entry;
  if (entry == dir_.size()) return {};
  Block& b = Get(dir_[entry].block);
  const uint8_t* recs = b.data.data() + 6;
  int l = 0, h = dir_[entry].count;
  while (l < h) {
    const int m = (l + h) / 2;
    if (Compare(recs + size_t(m) * size_t(header_.record_size), key) < 0)
      l = m + 1;
    else
      h = m;
  }
  if (l < dir_[entry].count) {
    *found = Compare(recs + size_t(l) * size_t(header_.record_size), key) == 0;
    return {int(entry), l};
  }
  // Past the end of this block: the first record of the next non-empty block.
  RecordPos p{int(entry), l - 1};
  p = Next(p);
  if (p.valid()) *found = Compare(Record(p), key) == 0;
  return p.valid() ? p : RecordPos{int(entry), l};
}

RecordPos DataFile::Insert(const uint8_t* record) {
  Load();
  Touch();
  const int rs = header_.record_size;
  size_t entry;
  int slot;
  if (dir_.empty()) {
    uint16_t n;
    Block& b = NewBlock(&n);
    SetLinks(b, 0, 0);
    SetCount(b, 0);
    dir_.push_back({n, 0, {}});
    entry = 0;
    slot = 0;
  } else if (keyed()) {
    bool found;
    RecordPos p = Seek(record, &found);
    if (found) throw EngineError("Key violation");
    if (!p.valid()) {
      entry = 0;
      slot = 0;
    } else {
      entry = size_t(p.entry);
      slot = p.slot;
      // Seek gives the start of the next block for a key past the end of a block: the record
      // goes at the end of that block instead.
      if (slot == 0 && entry > 0) {
        size_t prev = entry - 1;
        while (prev > 0 && dir_[prev].count == 0) --prev;
        if (dir_[prev].count > 0) {
          entry = prev;
          slot = dir_[prev].count;
        }
      }
    }
  } else {
    entry = dir_.size() - 1;
    slot = dir_[entry].count;
  }

  if (dir_[entry].count == capacity_) {
    // Full: a record past the end of the last block starts a new block; otherwise the block is
    // split and its upper half moves to a new block linked after it.
    const bool append = slot == dir_[entry].count && entry + 1 == dir_.size();
    uint16_t n;
    Block& nb = NewBlock(&n);
    const uint16_t cur = dir_[entry].block;
    Block& b = Get(cur);
    const uint16_t old_next = GetU16(b.data.data());
    SetLinks(nb, old_next, cur);
    SetLinks(b, n, GetU16(b.data.data() + 2));
    if (old_next != 0) {
      Block& after = Get(old_next);
      SetLinks(after, GetU16(after.data.data()), n);
    }
    const int count = dir_[entry].count;
    const int move = append ? 0 : count / 2;
    const int keep = count - move;
    std::memcpy(nb.data.data() + 6, b.data.data() + 6 + size_t(keep) * size_t(rs),
                size_t(move) * size_t(rs));
    SetCount(nb, move);
    SetCount(b, keep);
    dir_[entry].count = keep;
    dir_.insert(dir_.begin() + long(entry) + 1, Entry{n, move, {}});
    if (move > 0) UpdateFirst(int(entry) + 1);
    if (move > 0 && move_hook_) {
      const std::vector<uint8_t> moved(nb.data.begin() + 6,
                                       nb.data.begin() + 6 + long(move) * long(rs));
      move_hook_(moved.data(), move, n);
    }
    if (append) {
      ++entry;
      slot = 0;
    } else if (slot > keep) {
      slot -= keep;
      ++entry;
    }
  }
  Entry* e = &dir_[entry];
  Block& b = Get(e->block);
  uint8_t* recs = b.data.data() + 6;
  std::memmove(recs + size_t(slot + 1) * size_t(rs), recs + size_t(slot) * size_t(rs),
               size_t(e->count - slot) * size_t(rs));
  std::memcpy(recs + size_t(slot) * size_t(rs), record, size_t(rs));
  ++e->count;
  SetCount(b, e->count);
  if (slot == 0) UpdateFirst(int(entry));
  ++records_;
  SpillIfLarge();
  return {int(entry), slot};
}

void DataFile::Overwrite(RecordPos p, const uint8_t* record) {
  Load();
  Record(p);  // checks the position
  Touch();
  Block& b = Get(dir_[size_t(p.entry)].block);
  std::memcpy(b.data.data() + 6 + size_t(p.slot) * size_t(header_.record_size), record,
              size_t(header_.record_size));
  if (!b.dirty) {
    b.dirty = true;
    ++dirty_blocks_;
  }
  if (p.slot == 0) UpdateFirst(p.entry);
  SpillIfLarge();
}

void DataFile::Delete(RecordPos p) {
  Load();
  Record(p);
  Touch();
  const int rs = header_.record_size;
  Entry& e = dir_[size_t(p.entry)];
  Block& b = Get(e.block);
  uint8_t* recs = b.data.data() + 6;
  std::memmove(recs + size_t(p.slot) * size_t(rs), recs + size_t(p.slot + 1) * size_t(rs),
               size_t(e.count - p.slot - 1) * size_t(rs));
  --e.count;
  SetCount(b, e.count);
  --records_;
  if (e.count == 0 && dir_.size() > 1) {
    size_t entry = size_t(p.entry);
    if (e.block == 1 && entry + 1 < dir_.size()) {
      // Block 1 stays in use: the next block's records move into it and that block is freed.
      Entry& nx = dir_[entry + 1];
      Block& nb = Get(nx.block);
      Block& b1 = Get(1);
      std::memcpy(b1.data.data() + 6, nb.data.data() + 6, size_t(nx.count) * size_t(rs));
      if (move_hook_) {
        const std::vector<uint8_t> moved(nb.data.begin() + 6,
                                         nb.data.begin() + 6 + long(nx.count) * long(rs));
        move_hook_(moved.data(), nx.count, 1);
      }
      SetCount(b1, nx.count);
      const uint16_t after = GetU16(nb.data.data());
      SetLinks(b1, after, GetU16(b1.data.data() + 2));
      if (after) {
        Block& a = Get(after);
        SetLinks(a, GetU16(a.data.data()), 1);
      }
      const uint16_t freed = nx.block;
      dir_[entry].count = nx.count;
      dir_.erase(dir_.begin() + long(entry) + 1);
      FreeBlock(freed);
      UpdateFirst(int(entry));
    } else {
      Block& eb = Get(e.block);
      const uint16_t next = GetU16(eb.data.data());
      const uint16_t prev = GetU16(eb.data.data() + 2);
      if (prev) {
        Block& pb = Get(prev);
        SetLinks(pb, next, GetU16(pb.data.data() + 2));
      }
      if (next) {
        Block& nb = Get(next);
        SetLinks(nb, GetU16(nb.data.data()), prev);
      }
      const uint16_t freed = e.block;
      dir_.erase(dir_.begin() + long(entry));
      FreeBlock(freed);
    }
  } else if (p.slot == 0) {
    UpdateFirst(p.entry);
  }
  SpillIfLarge();
}

// Runs at the end of every change, when no block reference is held: keeps the cache bounded.
void DataFile::SpillIfLarge() {
  if (dirty_blocks_ >= kMaxDirtyBlocks) {
    WriteBlocks();
    cache_.clear();
  } else if (cache_.size() >= kMaxCachedBlocks) {
    for (auto c = cache_.begin(); c != cache_.end();) {
      if (!c->second.dirty)
        c = cache_.erase(c);
      else
        ++c;
    }
  }
}

void DataFile::WriteBlocks() {
  if (dirty_blocks_ == 0) return;
  // Old contents of blocks that existed before the transaction go to the journal first.
  if (journal_ && journal_->active()) {
    std::vector<uint8_t> old(size_t(header_.block_size));
    for (auto& [n, b] : cache_) {
      if (!b.dirty || n > original_blocks_ || journal_->HasRange(name_, BlockOffset(n))) continue;
      ReadFdAt(fd_, BlockOffset(n), old.data(), old.size(), path_);
      journal_->NoteOriginal(name_, BlockOffset(n), old.data(), old.size());
    }
    journal_->Sync();
  }
  std::vector<uint8_t> out(size_t(header_.block_size));
  for (auto& [n, b] : cache_) {
    if (!b.dirty) continue;
    const uint8_t* src = b.data.data();
    if (header_.crypt_key) {
      out = b.data;
      EncryptBlock(out.data(), out.size(), header_.crypt_key, n);
      src = out.data();
    }
    WriteAt(fd_, BlockOffset(n), src, size_t(header_.block_size), path_);
    b.dirty = false;
  }
  dirty_blocks_ = 0;
}

void DataFile::Flush(bool sync) {
  if (!dirty_header_ && dirty_blocks_ == 0) return;
  if (loaded_) {
    int64_t total = 0;
    for (const Entry& e : dir_) total += e.count;
    records_ = total;
  }
  // The old header goes to the journal with the old blocks, so one flush of the journal covers
  // both.
  if (dirty_header_ && journal_ && journal_->active() && !journal_->HasRange(name_, 0)) {
    std::vector<uint8_t> old(header_bytes_.size());
    ReadFdAt(fd_, 0, old.data(), old.size(), path_);
    journal_->NoteOriginal(name_, 0, old.data(), old.size());
  }
  WriteBlocks();
  if (dirty_header_) {
    uint8_t* h = header_bytes_.data();
    PutU32(h + hdr::kNumRecords, uint32_t(records_));
    if (loaded_) {
      PutU16(h + hdr::kUsedBlocks, uint16_t(dir_.size()));
      PutU16(h + hdr::kFirstBlock, dir_.empty() ? 0 : dir_.front().block);
      PutU16(h + hdr::kLastBlock, dir_.empty() ? 0 : dir_.back().block);
    }
    PutU16(h + hdr::kFileBlocks, file_blocks_);
    PutU16(h + 0x3A, file_blocks_);
    PutU16(h + hdr::kFirstFreeBlock, first_free_);
    PutU32(h + hdr::kAutoInc, auto_inc_);
    h[hdr::kChangeCount1] = uint8_t(h[hdr::kChangeCount1] + 1);
    if (header_.has_extension) PutU32(h + hdr::kUpdateTime, uint32_t(::time(nullptr)));
    if (journal_ && journal_->active()) journal_->Sync();
    WriteAt(fd_, 0, header_bytes_.data(), header_bytes_.size(), path_);
    header_.num_records = uint32_t(records_);
    header_.file_blocks = file_blocks_;
    header_.auto_inc = auto_inc_;
    dirty_header_ = false;
  }
  if (sync) SyncFd(fd_, path_);
}

std::vector<uint8_t> DataFile::BuildTree(const std::vector<uint8_t>& tree_header) const {
  // Entries: key of the block's first record, block number, records below (Short encoding).
  const int key_len = key_length_;
  const int entry_size = key_len + 6;
  std::vector<uint8_t> out = tree_header;
  const size_t hsize = GetU16(&out[hdr::kHeaderSize]);
  out.resize(hsize);
  const int block_size = out[hdr::kBlockSize] * 1024;
  const int per_block = std::max(2, (block_size - kBlockHeaderSize) / entry_size - 1);
  struct Item {
    std::string key;
    int block;
    int64_t count;
  };
  std::vector<Item> level;
  for (const Entry& e : dir_)
    if (e.count > 0) level.push_back({e.first, e.block, e.count});
  int blocks = 0, levels = 0;
  uint32_t entries = 0;
  std::vector<std::vector<uint8_t>> written;
  while (!level.empty()) {
    ++levels;
    std::vector<Item> up;
    for (size_t i = 0; i < level.size(); i += size_t(per_block)) {
      const size_t end = std::min(level.size(), i + size_t(per_block));
      std::vector<uint8_t> b(size_t(block_size), 0);
      int64_t sum = 0;
      for (size_t j = i; j < end; ++j) {
        uint8_t* p = b.data() + 6 + (j - i) * size_t(entry_size);
        std::memcpy(p, level[j].key.data(), size_t(key_len));
        EncodeInt16(int16_t(level[j].block), p + key_len);
        EncodeInt16(int16_t(std::min<int64_t>(level[j].count, 32767)), p + key_len + 2);
        EncodeInt16(0, p + key_len + 4);
        sum += level[j].count;
        ++entries;
      }
      PutU16(b.data() + 4, uint16_t(int16_t((int(end - i) - 1) * entry_size)));
      written.push_back(std::move(b));
      ++blocks;
      up.push_back({level[i].key, blocks, sum});
    }
    if (up.size() == 1) break;
    level = std::move(up);
  }
  for (size_t i = 0; i < written.size(); ++i) {
    PutU16(written[i].data(), i + 1 < written.size() ? uint16_t(i + 2) : 0);
    PutU16(written[i].data() + 2, i > 0 ? uint16_t(i) : 0);
    out.insert(out.end(), written[i].begin(), written[i].end());
  }
  uint8_t* h = out.data();
  PutU32(h + hdr::kNumRecords, entries);
  PutU16(h + hdr::kUsedBlocks, uint16_t(blocks));
  PutU16(h + hdr::kFileBlocks, uint16_t(blocks));
  PutU16(h + 0x3A, uint16_t(blocks));
  PutU16(h + hdr::kFirstBlock, blocks ? 1 : 0);
  PutU16(h + hdr::kLastBlock, uint16_t(blocks));
  PutU16(h + hdr::kIndexRoot, blocks ? uint16_t(blocks) : 1);
  h[hdr::kIndexLevels] = uint8_t(levels);
  PutU16(h + hdr::kFirstFreeBlock, 0);
  h[0x2C] = uint8_t(h[0x2C] + 1);  // index revision
  return out;
}

}  // namespace tablorix::paradox
