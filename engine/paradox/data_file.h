// A DB-format file opened for writing: a table, or the data part of a secondary index.
//
// The file's blocks form a chain; the writer keeps a directory of that chain in memory (one entry
// per block: block number, record count, key of its first record), so finding the block of a key,
// a record number or the end costs no disk reads. For a table of the format's largest size
// (65,535 blocks) the directory stays small. The primary-index tree (.PX / .Yxx) is derived from
// the directory and written whole when a transaction commits.
//
// Changed blocks stay in a bounded cache until Flush; blocks that existed before the transaction
// are saved to the journal before they are overwritten.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/paradox/table_file.h"

namespace tablorix::paradox {

class Journal;

// One field of a key as it is compared: stored bytes at [offset, offset + length).
struct KeyPart {
  int offset = 0;
  int length = 0;
  bool descending = false;
};

struct RecordPos {
  int entry = -1;  // index into the directory (chain order)
  int slot = 0;
  bool valid() const { return entry >= 0; }
};

class DataFile {
 public:
  // Opens `dir/name` for writing. `journal` receives old bytes before they are overwritten (may be
  // null while building a new file that nobody else sees).
  static std::unique_ptr<DataFile> Open(const std::string& dir, const std::string& name,
                                        Journal* journal);
  // Creates `path` with `header` (from BuildHeader) and opens it.
  static std::unique_ptr<DataFile> Create(const std::string& dir, const std::string& name,
                                          const std::vector<uint8_t>& header, Journal* journal);
  ~DataFile();

  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }
  const TableHeader& header() const { return header_; }
  std::vector<uint8_t>& header_bytes() { return header_bytes_; }
  int record_size() const { return header_.record_size; }
  int capacity() const { return capacity_; }
  int64_t record_count() const { return records_; }
  uint32_t auto_inc() const { return auto_inc_; }
  void set_auto_inc(uint32_t v) {
    auto_inc_ = v;
    dirty_header_ = true;
  }

  // Key order: the parts compared in turn. Empty = unkeyed (records stay where they are put).
  void SetKey(std::vector<KeyPart> parts, int key_length);
  bool keyed() const { return !key_.empty(); }
  int key_length() const { return key_length_; }
  int Compare(const uint8_t* a, const uint8_t* b) const;

  // Reads the chain into the directory (once, on first use).
  void Load();
  int blocks() const { return int(dir_.size()); }
  uint16_t block_number(int entry) const { return dir_[size_t(entry)].block; }
  int block_count(int entry) const { return dir_[size_t(entry)].count; }

  // Record access.
  const uint8_t* Record(RecordPos p);
  RecordPos First();
  RecordPos Next(RecordPos p);
  RecordPos PosOfRecNo(int64_t recno);  // 1-based
  int64_t RecNoOf(RecordPos p) const;
  RecordPos PosOfBlock(uint16_t block, int slot) const;
  // Keyed: position of the first record whose key is >= key; `found` tells equality.
  RecordPos Seek(const uint8_t* key, bool* found);

  // Keyed files insert by key ("Key violation" for a key that is there); unkeyed ones append.
  RecordPos Insert(const uint8_t* record);
  // Overwrites a record in place (keyed: the key must not change).
  void Overwrite(RecordPos p, const uint8_t* record);
  void Delete(RecordPos p);
  // Called with records that moved to another block (a split, or block 1 taking over its
  // successor's records), so that index entries pointing at their block can follow.
  void SetMoveHook(std::function<void(const uint8_t* records, int count, uint16_t block)> hook) {
    move_hook_ = std::move(hook);
  }

  // Writes the changed blocks and the header. `sync` flushes them to disk.
  void Flush(bool sync);
  // Drops every cached block and the directory (after another writer changed the file).
  void Reload();
  // The bytes of the primary-index tree (header + blocks) over this file's blocks.
  std::vector<uint8_t> BuildTree(const std::vector<uint8_t>& tree_header) const;
  bool changed() const { return changed_; }
  void clear_changed() { changed_ = false; }
  int fd() const { return fd_; }

 private:
  struct Entry {
    uint16_t block = 0;
    int count = 0;
    std::string first;  // key of the first record (keyed files)
  };
  struct Block {
    std::vector<uint8_t> data;  // decrypted
    bool dirty = false;
  };
  DataFile() = default;
  void ReadHeader();
  Block& Get(uint16_t n);
  Block& NewBlock(uint16_t* n);
  void FreeBlock(uint16_t n);
  void SetCount(Block& b, int count);
  void SetLinks(Block& b, uint16_t next, uint16_t prev);
  void SpillIfLarge();
  void Touch();
  void WriteBlocks();
  void UpdateFirst(int entry);
  uint64_t BlockOffset(uint16_t n) const {
    return uint64_t(header_.header_size) + uint64_t(n - 1) * uint64_t(header_.block_size);
  }

  std::string dir_path_, name_, path_;
  int fd_ = -1;
  Journal* journal_ = nullptr;
  uint64_t original_blocks_ = 0;  // blocks in the file when the transaction started
  TableHeader header_;
  std::vector<uint8_t> header_bytes_;
  int capacity_ = 0;
  std::vector<KeyPart> key_;
  int key_length_ = 0;
  bool loaded_ = false;
  std::vector<Entry> dir_;
  std::map<uint16_t, Block> cache_;
  size_t dirty_blocks_ = 0;
  int64_t records_ = 0;
  uint16_t file_blocks_ = 0;
  uint16_t first_free_ = 0;
  uint32_t auto_inc_ = 0;
  bool dirty_header_ = false;
  bool changed_ = false;
  std::function<void(const uint8_t*, int, uint16_t)> move_hook_;
  friend class TableStore;
};

}  // namespace tablorix::paradox
