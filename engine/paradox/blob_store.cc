#include "engine/paradox/blob_store.h"

#include <algorithm>
#include <cstring>

#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/paradox/io.h"
#include "engine/paradox/journal.h"
#include "engine/types.h"

namespace tablorix::paradox {

namespace {
constexpr size_t kSmallLimit = 2048;
constexpr int kFirstDataChunk = 21;  // slot table ends at 0x150
constexpr int kChunks = kMbBlockSize / kMbChunk;
}  // namespace

void BlobStore::CreateFile(const std::string& path) {
  std::vector<uint8_t> h(kMbBlockSize, 0);
  h[0] = kMbHeaderBlock;
  PutU16(&h[1], 1);
  PutU16(&h[3], 1);
  const uint8_t constant[6] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
  std::memcpy(&h[5], constant, 6);
  PutU16(&h[0x0B], 0x1000);
  PutU16(&h[0x0D], 0x1000);
  h[0x10] = 0x10;
  PutU16(&h[0x11], 0x40);
  PutU16(&h[0x13], 0x800);
  PutU16(&h[0x29], 0x02A1);
  int fd = OpenForWrite(path, true);
  try {
    TruncateFd(fd, 0, path);
    WriteAt(fd, 0, h.data(), h.size(), path);
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
}

std::unique_ptr<BlobStore> BlobStore::Open(const std::string& dir, const std::string& name,
                                           Journal* journal) {
  auto b = std::unique_ptr<BlobStore>(new BlobStore());
  b->dir_ = dir;
  b->name_ = name;
  b->path_ = JoinPath(dir, name);
  b->journal_ = journal;
  b->fd_ = OpenForWrite(b->path_, false);
  b->Reload();
  return b;
}

BlobStore::~BlobStore() { CloseFd(fd_); }

void BlobStore::Reload() {
  dirty_.clear();
  open_block_ = 0;
  header_dirty_ = false;
  size_ = FdSize(fd_, path_);
  if (size_ < 0x20) throw EngineError(path_ + ": blob file is too short");
  uint8_t h[5];
  ReadFdAt(fd_, 0, h, sizeof h, path_);
  if (h[0] != kMbHeaderBlock) throw EngineError(path_ + ": not a blob file (or it is encrypted)");
  mod_ = std::max<uint16_t>(1, GetU16(h + 3));
  // Another writer may leave a short last block: new blocks start on a block boundary.
  size_ = (size_ + kMbBlockSize - 1) / kMbBlockSize * kMbBlockSize;
  original_size_ = size_;
}

void BlobStore::Touch() {
  if (journal_ && journal_->active() && !journal_->HasFile(name_)) {
    const uint64_t size = FdSize(fd_, path_);
    journal_->NoteFile(name_, true, size);
    original_size_ = (size + kMbBlockSize - 1) / kMbBlockSize * kMbBlockSize;
  }
}

std::vector<uint8_t>& BlobStore::Block(uint64_t offset) {
  auto it = dirty_.find(offset);
  if (it != dirty_.end()) return it->second;
  std::vector<uint8_t>& b = dirty_[offset];
  b.assign(kMbBlockSize, 0);
  const uint64_t on_disk = FdSize(fd_, path_);
  if (offset < on_disk)
    ReadFdAt(fd_, offset, b.data(), size_t(std::min<uint64_t>(kMbBlockSize, on_disk - offset)),
             path_);
  return b;
}

void BlobStore::Store(const std::string& value, int size, uint8_t* field) {
  const int leader = size - kBlobDescriptorSize;
  std::memset(field, 0, size_t(size));
  if (value.empty()) return;
  std::memcpy(field, value.data(), std::min<size_t>(size_t(leader), value.size()));
  PutU32(field + leader + 4, uint32_t(value.size()));
  if (value.size() <= size_t(leader)) return;
  if (value.size() > 0x7FFFFFFF) throw EngineError(path_ + ": blob value too large");
  Touch();
  const uint16_t mod = mod_++;
  header_dirty_ = true;
  if (value.size() <= kSmallLimit) {
    const int chunks = int((value.size() + kMbChunk - 1) / kMbChunk);
    // Find room in the open suballocated block, else start a new one.
    int slot = -1, at = 0;
    if (open_block_) {
      std::vector<uint8_t>& b = Block(open_block_);
      int end = kFirstDataChunk;
      for (int s = 0; s < kMbSlots; ++s) {
        const uint8_t* e = &b[kMbSlotTable + size_t(s) * kMbSlotSize];
        if (e[0]) end = std::max(end, e[0] + e[1]);
      }
      for (int s = kMbSlots - 1; s >= 0; --s)
        if (b[kMbSlotTable + size_t(s) * kMbSlotSize] == 0 &&
            b[kMbSlotTable + size_t(s) * kMbSlotSize + 1] == 0) {
          slot = s;
          break;
        }
      if (slot >= 0 && end + chunks <= kChunks)
        at = end;
      else
        slot = -1;
    }
    if (slot < 0) {
      open_block_ = size_;
      size_ += kMbBlockSize;
      std::vector<uint8_t>& b = dirty_[open_block_];
      b.assign(kMbBlockSize, 0);
      b[0] = kMbSubAllocated;
      PutU16(&b[1], 1);
      slot = kMbSlots - 1;
      at = kFirstDataChunk;
    }
    std::vector<uint8_t>& b = Block(open_block_);
    uint8_t* e = &b[kMbSlotTable + size_t(slot) * kMbSlotSize];
    e[0] = uint8_t(at);
    e[1] = uint8_t(chunks);
    PutU16(e + 2, mod);
    e[4] = uint8_t(value.size() - size_t(chunks - 1) * kMbChunk);
    std::memcpy(&b[size_t(at) * kMbChunk], value.data(), value.size());
    PutU32(field + leader, uint32_t(open_block_) | uint32_t(slot));
  } else {
    const uint64_t blocks = (value.size() + kMbSingleHeader + kMbBlockSize - 1) / kMbBlockSize;
    if (blocks > 0xFFFF) throw EngineError(path_ + ": blob value too large");
    const uint64_t start = size_;
    size_ += blocks * kMbBlockSize;
    size_t done = 0;
    for (uint64_t i = 0; i < blocks; ++i) {
      std::vector<uint8_t>& b = dirty_[start + i * kMbBlockSize];
      b.assign(kMbBlockSize, 0);
      size_t from = 0;
      if (i == 0) {
        b[0] = kMbSingleBlob;
        PutU16(&b[1], uint16_t(blocks));
        PutU32(&b[3], uint32_t(value.size()));
        PutU16(&b[7], mod);
        from = kMbSingleHeader;
      }
      const size_t n = std::min(value.size() - done, kMbBlockSize - from);
      std::memcpy(&b[from], value.data() + done, n);
      done += n;
    }
    if (start > 0xFFFFFF00u) throw EngineError(path_ + ": blob file is full");
    PutU32(field + leader, uint32_t(start) | kBlobIndexSingle);
  }
  PutU16(field + leader + 8, mod);
  if (dirty_.size() > 1024) Flush(false);  // keeps memory bounded during long transactions
}

void BlobStore::Free(const uint8_t* field, int size) {
  const int leader = size - kBlobDescriptorSize;
  const uint32_t where = GetU32(field + leader);
  const uint32_t length = GetU32(field + leader + 4);
  if (length <= uint32_t(leader) || where == 0) return;
  const uint64_t offset = where & ~uint32_t(0xFF);
  const unsigned index = where & 0xFF;
  if (offset == 0 || offset >= size_) return;  // a dangling pointer frees nothing
  Touch();
  std::vector<uint8_t>& b = Block(offset);
  if (index == kBlobIndexSingle) {
    if (b[0] == kMbSingleBlob) {
      b[0] = kMbFreeBlock;
      PutU16(&b[7], 0);
    }
  } else if (index < kMbSlots && b[0] == kMbSubAllocated) {
    uint8_t* e = &b[kMbSlotTable + index * kMbSlotSize];
    e[0] = 0;
    PutU16(e + 2, 0);
  }
}

void BlobStore::Flush(bool sync) {
  if (dirty_.empty() && !header_dirty_) return;
  Touch();
  if (header_dirty_) {
    std::vector<uint8_t>& h = Block(0);
    PutU16(&h[3], mod_);
    header_dirty_ = false;
  }
  if (journal_ && journal_->active()) {
    std::vector<uint8_t> old(kMbBlockSize);
    const uint64_t on_disk = FdSize(fd_, path_);
    for (auto& [off, b] : dirty_) {
      if (off >= original_size_ || off >= on_disk || journal_->HasRange(name_, off)) continue;
      const size_t n = size_t(std::min<uint64_t>(kMbBlockSize, on_disk - off));
      ReadFdAt(fd_, off, old.data(), n, path_);
      journal_->NoteOriginal(name_, off, old.data(), n);
    }
    journal_->Sync();
  }
  for (auto& [off, b] : dirty_) WriteAt(fd_, off, b.data(), b.size(), path_);
  dirty_.clear();
  if (sync) SyncFd(fd_, path_);
}

}  // namespace tablorix::paradox
