// The .MB file of a table: resolves blob field descriptors into their bytes.
#pragma once

#include <memory>
#include <string>

#include "engine/paradox/file.h"

namespace tablorix::paradox {

class BlobFile {
 public:
  // `crypt_key` is the table's key (0 = plain).
  static std::unique_ptr<BlobFile> Open(const std::string& path, uint32_t crypt_key);
  const std::string& path() const { return file_->path(); }
  // Bytes of a blob stored at `offset_index` with `length`; throws EngineError for pointers
  // that lead outside the file or to a block that does not hold this blob.
  std::string Read(uint32_t offset_index, uint32_t length) const;

 private:
  void ReadBytes(uint64_t offset, size_t n, std::string* out) const;
  std::unique_ptr<File> file_;
  uint32_t key_ = 0;
};

// Value of a blob field (descriptor of `size` bytes at p): leader-only values come from the
// record, others from the MB file (opened on demand via `mb`). Returns false for null.
// Graphic and OLE values keep their 8-byte prefix; see StripBlobPrefix.
bool ReadBlobField(const uint8_t* p, int size, const BlobFile* mb, const std::string& table_path,
                   std::string* out);
// The image/object bytes of a Graphic or OLE value without the stored 8-byte prefix.
void StripBlobPrefix(std::string* value);

}  // namespace tablorix::paradox
