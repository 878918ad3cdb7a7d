// Header parsing and block access. Every count and offset from the file is checked before use so
// that a damaged file gives an error, never a crash or an allocation sized by garbage.
#include "engine/paradox/table_file.h"

#include <cstring>

#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/crypt.h"
#include "engine/paradox/format.h"
#include "engine/types.h"

namespace tablorix::paradox {

const char* TableHeader::VersionText() const {
  switch (version) {
    case 3:
      return "3.0";
    case 4:
      return "3.5";
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
      return "4";
    case 0x0A:
    case 0x0B:
      return "5";
    case 0x0C:
      return "7";
    default:
      return "?";
  }
}

namespace {
[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw EngineError(path + ": " + what);
}

// NUL-terminated string at `pos` that must end before `end`.
std::string StringAt(const uint8_t* data, size_t pos, size_t end, const std::string& path,
                     const char* what) {
  if (pos >= end) Fail(path, std::string("header is damaged (") + what + " outside the header)");
  const void* nul = std::memchr(data + pos, 0, end - pos);
  if (!nul) Fail(path, std::string("header is damaged (") + what + " not terminated)");
  return std::string(reinterpret_cast<const char*>(data + pos),
                     static_cast<const uint8_t*>(nul) - (data + pos));
}
}  // namespace

TableHeader ParseHeader(const uint8_t* d, size_t size, uint64_t file_size,
                        const std::string& path) {
  if (size < 0x58) Fail(path, "file is too short for a table header");
  TableHeader h;
  h.record_size = GetU16(d + hdr::kRecordSize);
  h.header_size = GetU16(d + hdr::kHeaderSize);
  h.file_type = d[hdr::kFileType];
  const int block_code = d[hdr::kBlockSize];
  h.num_records = GetU32(d + hdr::kNumRecords);
  h.used_blocks = GetU16(d + hdr::kUsedBlocks);
  h.file_blocks = GetU16(d + hdr::kFileBlocks);
  h.first_block = GetU16(d + hdr::kFirstBlock);
  h.last_block = GetU16(d + hdr::kLastBlock);
  h.index_field_number = d[hdr::kIndexFieldNumber];
  h.index_root = GetU16(d + hdr::kIndexRoot);
  h.index_levels = d[hdr::kIndexLevels];
  const int num_fields = GetU16(d + hdr::kNumFields);
  h.key_fields = GetU16(d + hdr::kKeyFields);
  h.sort_order = d[hdr::kSortOrder];
  h.version = d[hdr::kFileVersion];
  h.auto_inc = GetU32(d + hdr::kAutoInc);
  h.index_flags = d[hdr::kIndexFlags];

  if (h.file_type > 8)
    Fail(path, "not a Paradox table (file type " + std::to_string(h.file_type) + ")");
  if (h.version < 3 || h.version > 0x0C)
    Fail(path, "not a Paradox table (unknown version " + std::to_string(h.version) + ")");
  if (block_code < 1 || block_code > 32)
    Fail(path, "header is damaged (block size code " + std::to_string(block_code) + ")");
  h.block_size = block_code * 1024;
  if (num_fields < 1 || num_fields > 255)
    Fail(path, "header is damaged (" + std::to_string(num_fields) + " fields)");
  if (h.header_size < 0x58 || h.header_size > file_size)
    Fail(path, "header is damaged (header size " + std::to_string(h.header_size) + ")");
  if (size < h.header_size) Fail(path, "header is truncated");
  const size_t end = h.header_size;

  const bool index_format = h.is_index_format();
  h.has_extension = !index_format && h.version >= kFirstVersionWithExtension;
  const uint32_t enc1 = GetU32(d + hdr::kEncryption1);
  if (h.has_extension) {
    if (end < hdr::kFieldsWithExtension) Fail(path, "header is truncated");
    h.crypt_key = GetU32(d + hdr::kEncryption2);
    if (h.crypt_key == 0 && enc1 != kEncryptionMarker) h.crypt_key = enc1;
    h.header_code_page = GetU16(d + hdr::kCodePage);
  } else {
    h.crypt_key = enc1 == kEncryptionMarker ? 0 : enc1;
  }

  const size_t fields_at =
      h.has_extension ? hdr::kFieldsWithExtension : hdr::kFieldsWithoutExtension;
  if (fields_at + 2 * size_t(num_fields) > end)
    Fail(path, "header is damaged (field list too long)");
  int offset = 0;
  h.fields.resize(size_t(num_fields));
  for (int i = 0; i < num_fields; ++i) {
    FieldInfo& f = h.fields[size_t(i)];
    f.type = d[fields_at + 2 * size_t(i)];
    f.size = d[fields_at + 2 * size_t(i) + 1];
    f.length = FieldLength(f.type, f.size);
    if (f.length == 0)
      Fail(path, "header is damaged (field " + std::to_string(i + 1) + " has type " +
                     std::to_string(f.type) + " size " + std::to_string(f.size) + ")");
    f.offset = offset;
    offset += f.length;
    f.number = uint16_t(i + 1);
  }
  if (offset + (index_format ? 6 : 0) != h.record_size)
    Fail(path, "header is damaged (record size " + std::to_string(h.record_size) +
                   " differs from the fields' " + std::to_string(offset) + ")");
  if (h.record_size > h.block_size - kBlockHeaderSize)
    Fail(path, "header is damaged (record larger than a block)");
  if (h.key_fields > num_fields) Fail(path, "header is damaged (more key fields than fields)");

  if (!index_format) {
    const size_t name_area = h.version >= kVersion7 ? kTableNameSize7 : kTableNameSize3;
    size_t pos = fields_at + 6 * size_t(num_fields) + 4 + name_area;
    for (auto& f : h.fields) {
      f.name = StringAt(d, pos, end, path, "field name");
      pos += f.name.size() + 1;
    }
    if (h.has_extension) {
      // Prefer the offsets the header gives; fall back to the packed layout.
      size_t numbers = GetU16(d + hdr::kFieldNumbersOffset) + size_t(hdr::kExtension);
      if (numbers + 2 * h.fields.size() > end || numbers < pos) numbers = pos;
      if (numbers + 2 * h.fields.size() <= end) {
        for (size_t i = 0; i < h.fields.size(); ++i)
          h.fields[i].number = GetU16(d + numbers + 2 * i);
      }
      size_t sort_id = GetU16(d + hdr::kSortOrderIdOffset) + size_t(hdr::kExtension);
      if (sort_id >= end || sort_id < numbers) sort_id = numbers + 2 * h.fields.size();
      if (sort_id < end) {
        const void* nul = std::memchr(d + sort_id, 0, end - sort_id);
        if (nul)
          h.sort_order_id.assign(reinterpret_cast<const char*>(d + sort_id),
                                 static_cast<const uint8_t*>(nul) - (d + sort_id));
      }
      const uint16_t name_off = GetU16(d + hdr::kIndexNameOffset);
      if (name_off != 0)
        h.index_name = StringAt(d, name_off + size_t(hdr::kExtension), end, path, "index name");
    }
  }
  return h;
}

std::unique_ptr<TableFile> TableFile::Open(const std::string& path) {
  auto t = std::unique_ptr<TableFile>(new TableFile());
  t->file_ = File::Open(path);
  const uint64_t fsize = t->file_->size();
  if (fsize < 0x58) Fail(path, "file is too short for a table header");
  uint8_t first[0x58];
  t->file_->ReadAt(0, first, sizeof first);
  const size_t header_size = GetU16(first + hdr::kHeaderSize);
  std::vector<uint8_t> h(std::max<size_t>(header_size, 0x58));
  t->file_->ReadAt(0, h.data(), std::min<uint64_t>(h.size(), fsize));
  t->header_ = ParseHeader(h.data(), std::min<uint64_t>(h.size(), fsize), fsize, path);
  const TableHeader& hd = t->header_;
  t->physical_blocks_ =
      int(std::min<uint64_t>((fsize - hd.header_size) / uint64_t(hd.block_size), 65535));
  t->capacity_ = (hd.block_size - kBlockHeaderSize) / hd.record_size;
  if (hd.first_block > t->physical_blocks_)
    Fail(path, "header is damaged (first block " + std::to_string(hd.first_block) + " of " +
                   std::to_string(t->physical_blocks_) + ")");
  int cp = -1;
  if (hd.header_code_page > 0 || (hd.header_code_page == 0 && hd.sort_order_id == "BLROM800"))
    cp = hd.header_code_page;
  if (cp >= 0 && !CodePage::Supported(cp)) cp = -1;
  if (cp < 0 && !hd.sort_order_id.empty()) cp = CodePageOfLanguageDriver(hd.sort_order_id);
  if (cp < 0) cp = CodePageOfSortOrderByte(hd.sort_order);
  if (cp < 0 || !CodePage::Supported(cp)) cp = 437;
  t->code_page_ = cp;
  return t;
}

BlockInfo TableFile::ReadBlock(int n, uint8_t* buf) const {
  const TableHeader& h = header_;
  if (n < 1 || n > physical_blocks_)
    Fail(path(), "block " + std::to_string(n) + " does not exist (the file has " +
                     std::to_string(physical_blocks_) + ")");
  file_->ReadAt(uint64_t(h.header_size) + uint64_t(n - 1) * uint64_t(h.block_size), buf,
                size_t(h.block_size));
  if (h.crypt_key != 0) DecryptBlock(buf, size_t(h.block_size), h.crypt_key, uint32_t(n));
  BlockInfo info;
  info.next = GetU16(buf);
  info.prev = GetU16(buf + 2);
  const int add = GetS16(buf + 4);
  if (add < -int(h.record_size) || (add + int(h.record_size)) % int(h.record_size) != 0)
    Fail(path(), "block " + std::to_string(n) + " is damaged (record count)");
  info.count = add / int(h.record_size) + 1;
  if (info.count > capacity_)
    Fail(path(), "block " + std::to_string(n) + " is damaged (" + std::to_string(info.count) +
                     " records in a block of " + std::to_string(capacity_) + ")");
  return info;
}

}  // namespace tablorix::paradox
