// Blob storage: type-2 runs hold one blob, type-3 blocks hold up to 64 small ones in 16-byte
// chunks.
#include "engine/paradox/blob_file.h"

#include <cstring>
#include <vector>

#include "engine/paradox/crypt.h"
#include "engine/paradox/format.h"
#include "engine/types.h"

namespace tablorix::paradox {

std::unique_ptr<BlobFile> BlobFile::Open(const std::string& path, uint32_t crypt_key) {
  auto b = std::unique_ptr<BlobFile>(new BlobFile());
  b->file_ = File::Open(path);
  b->key_ = crypt_key;
  return b;
}

void BlobFile::ReadBytes(uint64_t offset, size_t n, std::string* out) const {
  if (offset > file_->size() || n > file_->size() - offset)
    throw EngineError(path() + ": blob pointer past the end of the file");
  if (key_ == 0) {
    out->resize(n);
    file_->ReadAt(offset, out->data(), n);
    return;
  }
  const uint64_t start = offset & ~uint64_t(255);
  uint64_t stop = (offset + n + 255) & ~uint64_t(255);
  if (stop > file_->size()) stop = file_->size() & ~uint64_t(255);
  if (stop < offset + n) throw EngineError(path() + ": blob pointer past the end of the file");
  std::vector<uint8_t> buf(size_t(stop - start));
  file_->ReadAt(start, buf.data(), buf.size());
  DecryptBlobBytes(buf.data(), buf.size(), key_);
  out->assign(reinterpret_cast<const char*>(buf.data() + (offset - start)), n);
}

std::string BlobFile::Read(uint32_t offset_index, uint32_t length) const {
  const uint64_t block = offset_index & ~uint32_t(0xFF);
  const unsigned index = offset_index & 0xFF;
  std::string head;
  ReadBytes(block, kMbSlotTable + kMbSlots * kMbSlotSize, &head);
  const auto* h = reinterpret_cast<const uint8_t*>(head.data());
  std::string out;
  if (index == kBlobIndexSingle) {
    if (h[0] != kMbSingleBlob)
      throw EngineError(path() + ": blob pointer to a block of the wrong kind");
    const uint32_t stored = GetU32(h + 3);
    const uint64_t blocks = GetU16(h + 1);
    if (stored != length || uint64_t(length) + kMbSingleHeader > blocks * kMbBlockSize)
      throw EngineError(path() + ": blob length does not match its block");
    ReadBytes(block + kMbSingleHeader, length, &out);
    return out;
  }
  if (h[0] != kMbSubAllocated || index >= kMbSlots)
    throw EngineError(path() + ": blob pointer to a block of the wrong kind");
  const uint8_t* slot = h + kMbSlotTable + index * kMbSlotSize;
  const unsigned chunk = slot[0], chunks = slot[1], last = slot[4];
  if (chunk == 0 || chunks == 0 || last == 0 || last > kMbChunk)
    throw EngineError(path() + ": blob slot is empty or damaged");
  const uint32_t slot_len = (chunks - 1) * kMbChunk + last;
  if (slot_len != length || uint64_t(chunk) * kMbChunk + length > kMbBlockSize)
    throw EngineError(path() + ": blob length does not match its slot");
  ReadBytes(block + uint64_t(chunk) * kMbChunk, length, &out);
  return out;
}

bool ReadBlobField(const uint8_t* p, int size, const BlobFile* mb, const std::string& table_path,
                   std::string* out) {
  const int leader = size - kBlobDescriptorSize;
  const uint8_t* desc = p + leader;
  const uint32_t offset_index = GetU32(desc);
  const uint32_t length = GetU32(desc + 4);
  if (length == 0) return false;
  if (length <= uint32_t(leader) && offset_index == 0) {
    out->assign(reinterpret_cast<const char*>(p), length);
    return true;
  }
  if (!mb) throw EngineError(table_path + ": the blob file (.MB) is missing");
  *out = mb->Read(offset_index, length);
  return true;
}

void StripBlobPrefix(std::string* v) {
  if (v->size() >= size_t(kGraphicPrefixSize) && (*v)[0] == 1 && (*v)[1] == 0 && (*v)[2] == 0 &&
      GetU32(reinterpret_cast<const uint8_t*>(v->data()) + 4) == v->size() - kGraphicPrefixSize)
    v->erase(0, kGraphicPrefixSize);
}

}  // namespace tablorix::paradox
