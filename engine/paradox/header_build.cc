#include "engine/paradox/header_build.h"

#include <ctime>

#include "engine/paradox/codec.h"
#include "engine/paradox/format.h"
#include "engine/types.h"

namespace tablorix::paradox {

std::vector<uint8_t> BuildHeader(const NewFileHeader& s) {
  const size_t n = s.fields.size();
  if (n < 1 || n > 255) throw EngineError("a table needs 1 to 255 fields");
  const bool index_format =
      s.file_type == kPrimaryIndex || s.file_type == kSecondaryY || s.file_type == kSecondaryYG;
  int record_size = 0;
  for (const NewField& f : s.fields) {
    const int len = FieldLength(f.type, f.size);
    if (len == 0) throw EngineError("field " + f.name + " has an invalid type or size");
    record_size += len;
  }
  if (record_size > s.block_code * 1024 - kBlockHeaderSize)
    throw EngineError("the record is larger than a block");

  std::vector<uint8_t> h(0x800 * 4, 0);
  size_t pos;
  if (index_format) {
    pos = hdr::kFieldsWithoutExtension;
  } else {
    pos = hdr::kFieldsWithExtension;
  }
  for (const NewField& f : s.fields) {
    h[pos++] = f.type;
    h[pos++] = f.size;
  }
  PutU32(&h[pos], 0);  // table-name pointer (a run-time value in other writers)
  pos += 4;
  if (!index_format) pos += 4 * n;  // field-name pointers
  const std::string tname = s.table_name.substr(0, kTableNameSize7 - 1);
  std::copy(tname.begin(), tname.end(), h.begin() + long(pos));
  pos += kTableNameSize7;
  size_t numbers = 0, sort_id = 0, idx_name = 0;
  if (!index_format) {
    for (const NewField& f : s.fields) {
      if (f.name.size() > 255) throw EngineError("field name too long: " + f.name);
      std::copy(f.name.begin(), f.name.end(), h.begin() + long(pos));
      pos += f.name.size() + 1;
    }
    numbers = pos;
    uint16_t hi = 0;
    for (size_t i = 0; i < n; ++i) {
      const uint16_t num = s.fields[i].number ? s.fields[i].number : uint16_t(i + 1);
      PutU16(&h[pos], num);
      hi = std::max<uint16_t>(hi, num & 0x7FFF);
      pos += 2;
    }
    PutU16(&h[hdr::kHiFieldId], uint16_t(hi + 1));
    sort_id = pos;
    std::copy(s.sort_order_id.begin(), s.sort_order_id.end(), h.begin() + long(pos));
    pos += s.sort_order_id.size() + 1;
    if (!s.index_name.empty()) {
      idx_name = pos;
      std::copy(s.index_name.begin(), s.index_name.end(), h.begin() + long(pos));
      pos += s.index_name.size() + 1;
    }
  }
  const size_t real_size = pos;
  const size_t header_size = (real_size + 0x7FF) / 0x800 * 0x800;
  h.resize(header_size);

  PutU16(&h[hdr::kRecordSize], uint16_t(record_size + (index_format ? 6 : 0)));
  PutU16(&h[hdr::kHeaderSize], uint16_t(header_size));
  h[hdr::kFileType] = s.file_type;
  h[hdr::kBlockSize] = uint8_t(s.block_code);
  PutU16(&h[0x12], 1);
  h[hdr::kIndexFieldNumber] = s.index_field_number;
  PutU16(&h[hdr::kIndexRoot], 1);
  PutU16(&h[hdr::kNumFields], uint16_t(n));
  PutU16(&h[hdr::kKeyFields], uint16_t(s.key_fields));
  PutU32(&h[hdr::kEncryption1], index_format ? 0 : kEncryptionMarker);
  h[hdr::kSortOrder] = s.sort_order;
  const bool x_file = s.file_type == kSecondaryX || s.file_type == kMaintainedX ||
                      s.file_type == kSecondaryXG || s.file_type == kMaintainedXG;
  h[0x2C] = x_file ? 0xFF : 0;
  h[hdr::kChangeCount2] = s.structure_stamp;
  h[hdr::kFileVersion] = kVersion7;
  if (!index_format) PutU16(&h[0x3E], 0x0F1F);
  PutU16(&h[hdr::kRealHeaderSize], uint16_t(real_size));
  h[hdr::kIndexFlags] = s.index_flags;
  if (!index_format) {
    h[0x56] = 0x20;
    PutU16(&h[0x58], 0x0100 + kVersion7);
    PutU16(&h[0x5A], 0x0100 + kVersion7);
    PutU32(&h[hdr::kUpdateTime], uint32_t(std::time(nullptr)));
    PutU16(&h[hdr::kFieldNumbersOffset], uint16_t(numbers - hdr::kExtension));
    PutU16(&h[hdr::kIndexNameOffset], idx_name ? uint16_t(idx_name - hdr::kExtension) : 0);
    PutU16(&h[hdr::kCodePage], uint16_t(s.code_page));
    h[0x6C] = 1;
    h[0x6D] = 1;
    PutU16(&h[hdr::kSortOrderIdOffset], uint16_t(sort_id - hdr::kExtension));
  }
  return h;
}

}  // namespace tablorix::paradox
