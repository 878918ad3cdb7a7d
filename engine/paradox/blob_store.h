// The .MB file of a table opened for writing: stores and frees blob values.
//
// Small values (up to 2048 bytes) share suballocated blocks; larger ones get a run of blocks of
// their own. New values always go into blocks this writer appended, and freed space is marked
// free in its block, so the free-space list another program keeps in the header stays true.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tablorix::paradox {

class Journal;

class BlobStore {
 public:
  static std::unique_ptr<BlobStore> Open(const std::string& dir, const std::string& name,
                                         Journal* journal);
  // Writes the header block of an empty blob file.
  static void CreateFile(const std::string& path);
  ~BlobStore();

  const std::string& path() const { return path_; }
  // Stores `value` (already carrying any stored prefix) and fills the descriptor of a field of
  // `size` bytes at `field`.
  void Store(const std::string& value, int size, uint8_t* field);
  // Frees the value a descriptor points at (nothing for leader-only or null values).
  void Free(const uint8_t* field, int size);
  void Flush(bool sync);
  void Reload();

 private:
  BlobStore() = default;
  std::vector<uint8_t>& Block(uint64_t offset);  // 4096-byte block at a file offset
  void Touch();
  std::string dir_, name_, path_;
  int fd_ = -1;
  Journal* journal_ = nullptr;
  uint64_t size_ = 0;           // file size including blocks appended in memory
  uint64_t original_size_ = 0;  // at the start of the transaction
  std::map<uint64_t, std::vector<uint8_t>> dirty_;
  uint64_t open_block_ = 0;  // suballocated block with room, appended by us (0 = none)
  uint16_t mod_ = 1;
  bool header_dirty_ = false;
};

}  // namespace tablorix::paradox
