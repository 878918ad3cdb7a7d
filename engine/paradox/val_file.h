// Validity checks of a table, read from its .VAL companion: required fields, minimum, maximum,
// default and picture per field. Referential integrity and lookup tables are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/paradox/table_file.h"
#include "engine/value.h"

namespace tablorix::paradox {

struct FieldCheck {
  bool required = false;
  Value minimum;  // null when there is none; values as DecodeField gives them
  Value maximum;
  Value default_value;
  std::string picture;  // kept as stored (table code page), not enforced
};

struct ValChecks {
  // One per table field, by position; empty when the file gave no usable checks.
  std::vector<FieldCheck> fields;
  // What the file itself says, for diagnostics: validity entries and the field names of its footer.
  int entries = 0;
  std::vector<std::string> footer_names;
  bool empty() const { return fields.empty(); }
};

// Parses the bytes of a .VAL file for a table with these fields. `stamp` is byte 0x2E of the
// table's header (the structure stamp the .VAL repeats in byte 0), or -1 to skip that check.
// Anything damaged, stale (stamp or fields differ) or of a layout not known here gives empty
// checks; it never throws and never reads outside `data`.
ValChecks ParseValFile(const uint8_t* data, size_t size, const std::vector<FieldInfo>& fields,
                       int stamp);
// Reads and parses a file; a missing or unreadable file gives empty checks.
ValChecks ReadValFile(const std::string& path, const std::vector<FieldInfo>& fields, int stamp);

}  // namespace tablorix::paradox
