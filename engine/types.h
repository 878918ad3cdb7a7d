// The engine's shared types: field types, field and index definitions, and its one error type.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tablorix {

// The engine's field type of a field, as callers see it.
enum class TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftTypedBinary,
};

const char* FieldTypeName(TFieldType type);

enum TIndexOption : unsigned {
  ixPrimary = 1u << 0,
  ixUnique = 1u << 1,
  ixDescending = 1u << 2,
  ixCaseInsensitive = 1u << 3,
};
using TIndexOptions = unsigned;  // a set of TIndexOption bits

struct TIndexDef {
  std::string name;    // empty for the primary index
  std::string fields;  // field names joined by ";"
  TIndexOptions options = 0;
};

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

struct TFieldDef {
  std::string name;  // Windows-1250
  TFieldType type = TFieldType::ftUnknown;
  int size = 0;  // characters for strings, bytes for Bytes, leader for blobs, decimals for BCD
  bool required = false;
  std::string display_label;
  TAlignment alignment = TAlignment::taLeftJustify;
  bool visible = true;
  bool is_blob = false;  // large object kept outside the record
};

// Every failing engine operation raises this, carrying the engine's message.
class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tablorix
