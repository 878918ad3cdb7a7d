// Layout (see docs/paradox-format.md, .VAL): a 0x35-byte header, then one 0x1C-byte entry per
// checked field, each followed by the values its indicator words announce, then the referential
// integrity part, then a footer describing the table's fields.
#include "engine/paradox/val_file.h"

#include <fstream>
#include <iterator>

#include "engine/paradox/codec.h"
#include "engine/paradox/file.h"
#include "engine/paradox/format.h"

namespace tablorix::paradox {

namespace {

constexpr size_t kEntriesStart = 0x35;
constexpr size_t kEntrySize = 0x1C;
constexpr size_t kFooterFixed = 6;  // field count and two words of unknown meaning
constexpr size_t kFooterTableName = 79;
constexpr size_t kLookupSize = 0x50;  // table name (0x1A) and 0x36 bytes of run-time data

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// The footer must describe the table's fields (count, types and sizes), else the entries' field
// positions cannot be trusted. Names are not compared: renaming a field leaves the old name here.
bool FooterMatches(const uint8_t* data, size_t size, size_t at,
                   const std::vector<FieldInfo>& fields, std::vector<std::string>* names) {
  const size_t n = fields.size();
  if (at > size || size - at < kFooterFixed) return false;
  if (U16(data + at) != n) return false;
  size_t p = at + kFooterFixed + 2 * n;  // after the field numbers
  if (p > size || size - p < 2 * n + kFooterTableName) return false;
  for (size_t i = 0; i < n; ++i)
    if (data[p + 2 * i] != fields[i].type || data[p + 2 * i + 1] != fields[i].size) return false;
  p += 2 * n + kFooterTableName;
  for (size_t i = 0; i < n; ++i) {
    size_t e = p;
    while (e < size && data[e] != 0) ++e;
    if (e == size) return false;
    names->emplace_back(reinterpret_cast<const char*>(data + p), e - p);
    p = e + 1;
  }
  return true;
}

}  // namespace

ValChecks ParseValFile(const uint8_t* data, size_t size, const std::vector<FieldInfo>& fields,
                       int stamp) {
  ValChecks none;
  if (data == nullptr || size < kEntriesStart || fields.empty()) return none;
  // Only the layout of level 4 and 5 files is known; level 3 files start differently.
  const uint8_t version = data[1];
  if (version < kVersion4 || version > kVersion5) return none;
  if (stamp >= 0 && data[0] != uint8_t(stamp)) return none;
  const int entries = data[2];
  const size_t footer = U32(data + 0x09);
  const size_t ri = U32(data + 0x0D);
  const size_t end = ri != 0 ? ri : footer;  // entries and their values end here
  if (end < kEntriesStart || end > footer || footer > size) return none;

  ValChecks out;
  if (!FooterMatches(data, size, footer, fields, &out.footer_names)) return none;
  out.entries = entries;
  out.fields.resize(fields.size());
  std::vector<bool> seen(fields.size(), false);
  size_t p = kEntriesStart;
  for (int e = 0; e < entries; ++e) {
    if (end - p < kEntrySize) return none;
    const uint8_t* en = data + p;
    const size_t field = en[0];
    if (field >= fields.size() || seen[field]) return none;
    seen[field] = true;
    const FieldInfo& f = fields[field];
    const size_t picture_size = en[1];
    const bool lookup = U32(en + 0x04) != 0;
    const bool has_min = U32(en + 0x0C) != 0;
    const bool has_max = U32(en + 0x10) != 0;
    const bool has_default = U32(en + 0x14) != 0;
    const bool has_picture = U32(en + 0x18) != 0;
    if (has_picture != (picture_size != 0)) return none;
    p += kEntrySize;
    const size_t length = size_t(FieldLength(f.type, f.size));
    if ((has_min || has_max || has_default) && (length == 0 || IsBlobType(f.type))) return none;
    FieldCheck& check = out.fields[field];
    // Where lookup data sits among the values is not known: its size is counted so that the
    // total can still be checked, but nothing of such an entry is enforced.
    if (lookup) {
      if (end - p < kLookupSize) return none;
      p += kLookupSize;
    }
    Value* slots[] = {&check.minimum, &check.maximum, &check.default_value};
    const bool present[] = {has_min, has_max, has_default};
    for (int i = 0; i < 3; ++i) {
      if (!present[i]) continue;
      if (end - p < length) return none;
      *slots[i] = DecodeField(f.type, f.size, data + p);
      p += length;
    }
    if (has_picture) {
      if (end - p < picture_size || data[p + picture_size - 1] != 0) return none;
      check.picture.assign(reinterpret_cast<const char*>(data + p), picture_size - 1);
      p += picture_size;
    }
    check.required = !lookup && en[2] != 0;
    if (lookup) check = FieldCheck{};
  }
  if (p != end) return none;  // the entries do not account for their section: unknown layout
  return out;
}

ValChecks ReadValFile(const std::string& path, const std::vector<FieldInfo>& fields, int stamp) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  // Real files hold a few entries and RI records: anything this large is not one.
  constexpr std::streamoff kMaxSize = 16 << 20;
  const std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxSize) return {};
  in.seekg(0);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  return ParseValFile(bytes.data(), bytes.size(), fields, stamp);
}

}  // namespace tablorix::paradox
