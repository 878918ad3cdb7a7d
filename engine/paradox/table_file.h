// A DB-format file (table or secondary-index data part): its header and its data blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/paradox/file.h"

namespace tablorix::paradox {

struct FieldInfo {
  uint8_t type = 0;
  uint8_t size = 0;
  int offset = 0;       // within the record
  int length = 0;       // bytes in the record
  std::string name;     // in the table's code page
  uint16_t number = 0;  // entry of the field-number array (id, descending bit for X files)
};

struct TableHeader {
  uint16_t record_size = 0;
  uint16_t header_size = 0;
  uint8_t file_type = 0;
  int block_size = 0;
  uint32_t num_records = 0;
  uint16_t used_blocks = 0;
  uint16_t file_blocks = 0;
  uint16_t first_block = 0;
  uint16_t last_block = 0;
  uint8_t index_field_number = 0;
  uint16_t index_root = 0;
  uint8_t index_levels = 0;
  uint16_t key_fields = 0;
  uint8_t sort_order = 0;
  uint8_t version = 0;
  uint32_t crypt_key = 0;
  uint32_t auto_inc = 0;
  uint8_t index_flags = 0;
  bool has_extension = false;
  int header_code_page = -1;  // -1 when the header has none
  std::string sort_order_id;
  std::string index_name;  // XG files
  std::vector<FieldInfo> fields;
  bool keyed() const { return file_type == 0 && key_fields > 0; }
  bool is_index_format() const { return file_type == 1 || file_type == 4 || file_type == 7; }
  const char* VersionText() const;
};

// Parses and checks a header; `path` names the file in messages.
TableHeader ParseHeader(const uint8_t* data, size_t size, uint64_t file_size,
                        const std::string& path);

struct BlockInfo {
  uint16_t next = 0;
  uint16_t prev = 0;
  int count = 0;
};

class TableFile {
 public:
  // Throws EngineError naming the file and the fault for anything that is not a sound table.
  static std::unique_ptr<TableFile> Open(const std::string& path);

  const TableHeader& header() const { return header_; }
  const std::string& path() const { return file_->path(); }
  const File& file() const { return *file_; }
  int physical_blocks() const { return physical_blocks_; }
  int capacity() const { return capacity_; }
  // The table's code page (header, then language driver, then sort-order byte, then 437).
  int code_page() const { return code_page_; }

  // Reads block n (1-based) into buf (block_size bytes), decrypted; checks its header.
  BlockInfo ReadBlock(int n, uint8_t* buf) const;

 private:
  std::unique_ptr<File> file_;
  TableHeader header_;
  int physical_blocks_ = 0;
  int capacity_ = 0;
  int code_page_ = 437;
};

}  // namespace tablorix::paradox
