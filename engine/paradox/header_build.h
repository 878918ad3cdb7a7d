// Headers of new files of the table family (version 7 layout).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tablorix::paradox {

struct NewField {
  uint8_t type = 0;
  uint8_t size = 0;
  std::string name;     // in the table's code page
  uint16_t number = 0;  // field-number array entry (0 = position + 1)
};

struct NewFileHeader {
  uint8_t file_type = 2;
  int block_code = 4;  // block size in KiB
  std::vector<NewField> fields;
  int key_fields = 0;
  int code_page = 1250;
  std::string sort_order_id = "anhundc";
  uint8_t sort_order = 0xE1;
  std::string table_name;  // informational name stored in the header
  std::string index_name;  // XG files
  uint8_t index_field_number = 0;
  uint8_t index_flags = 0;
  uint8_t structure_stamp = 1;
};

// The complete header, padded to its header size, for a file with no blocks yet.
std::vector<uint8_t> BuildHeader(const NewFileHeader& header);

// Language driver of new tables: Hungarian Windows (Windows-1250).
constexpr const char* kNewTableDriver = "anhundc";
constexpr uint8_t kNewTableSortOrder = 0xE1;

}  // namespace tablorix::paradox
