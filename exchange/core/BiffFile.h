// TBiffFile: writes an Excel 2.x (BIFF2) worksheet onto an output stream, one record per call.
// It knows nothing of datasets; the worksheet writer (DataToXLS.h) decides what goes out.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/format_settings.h"
#include "engine/value.h"

namespace tablorix::exchange {

enum TCellType { ctBlank, ctInteger, ctDouble, ctLabel, ctBoolean };

// Ordinals are the bit numbers of a TCellAttributes set.
enum TCellAttribute {
  caHidden,
  caLocked,
  caShaded,
  caBottomBorder,
  caTopBorder,
  caRightBorder,
  caLeftBorder,
  caFont1,
  caFont2,
  caFont3,
  caFont4,
  caLeft,
  caCenter,
  caRight,
  caFill,
};
using TCellAttributes = uint16_t;  // bit k for the member of ordinal k

constexpr TCellAttributes CellAttributes(std::initializer_list<TCellAttribute> members) {
  TCellAttributes set = 0;
  for (TCellAttribute m : members) set = TCellAttributes(set | (1u << m));
  return set;
}
constexpr bool HasAttribute(TCellAttributes set, TCellAttribute m) { return (set >> m) & 1u; }

// The three attribute bytes of a cell record.
std::array<uint8_t, 3> EncodeAttributes(TCellAttributes set);

enum TFontStyle : uint16_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint16_t;  // the FONT record's option bits

struct TFont {
  std::string Name = "Arial";  // Windows-1250
  int Size = 10;               // points
  TFontStyles Style = 0;
};

// Raised when a value does not convert to the asked cell type.
class VariantConversionError : public std::runtime_error {
 public:
  VariantConversionError() : std::runtime_error("Invalid variant type conversion") {}
};

// A value converted to what a cell of a type holds. `type` is ctBlank for null values.
// Integers keep their full range: the writers decide how to store one that is out of 16 bits.
struct CellData {
  TCellType type = ctBlank;
  int64_t integer = 0;
  double number = 0;
  std::string text;  // ctLabel, not cut
  bool boolean = false;
};

// Conversions follow the variant layer: reals round to the nearest integer (halves to even),
// text is read as a number with '.' or the settings' decimal separator, dates and times count
// days from 1899-12-30 (the spreadsheet serial), labels use the settings' formats, booleans
// come from numbers (not 0), True/False texts and booleans. Throws VariantConversionError.
CellData ConvertCell(const Value& value, TCellType type, const FormatSettings& settings);
// The same into `cell`, reusing its text buffer; `cell` is unchanged when the conversion fails.
void ConvertCell(const Value& value, TCellType type, const FormatSettings& settings,
                 CellData* cell);

class TBiffFile {
 public:
  static constexpr uint16_t kBof = 0x0009, kEof = 0x000A, kDimensions = 0x0000, kBlank = 0x0001,
                            kInteger = 0x0002, kNumber = 0x0003, kLabel = 0x0004, kBoolErr = 0x0005,
                            kNote = 0x001C, kColWidth = 0x0024, kFont = 0x0031;
  static constexpr size_t kMaxText = 255;
  static constexpr int64_t kMaxRows = 65536;

  // The stream is not owned and must outlive the writer. Writes BOF. `settings` are the
  // formats WriteCell turns numbers and dates into labels with.
  explicit TBiffFile(std::ostream& stream, FormatSettings settings = {});
  // Writes EOF, unless Abandon was called.
  ~TBiffFile();
  TBiffFile(const TBiffFile&) = delete;
  TBiffFile& operator=(const TBiffFile&) = delete;
  // After a failure: the destructor then writes nothing, so the stream may already be gone.
  void Abandon() { abandoned_ = true; }

  void WriteBof();
  void WriteEof();
  void WriteDimensions(uint16_t first_row, uint16_t last_row_1, uint16_t first_col,
                       uint16_t last_col_1);
  void WriteBlank(uint16_t row, uint16_t col, TCellAttributes attributes);
  void WriteInteger(uint16_t row, uint16_t col, TCellAttributes attributes, uint16_t value);
  void WriteNumber(uint16_t row, uint16_t col, TCellAttributes attributes, double value);
  // Texts of LABEL, NOTE and FONT are cut to their first 255 bytes.
  void WriteLabel(uint16_t row, uint16_t col, TCellAttributes attributes, std::string_view text);
  void WriteBoolean(uint16_t row, uint16_t col, TCellAttributes attributes, bool value);
  // A null value gives BLANK whatever the type; an integer outside 0..65535 gives a NUMBER, so
  // no value is changed. Nothing is written when the conversion fails.
  void WriteCell(uint16_t row, uint16_t col, const Value& value, TCellType type,
                 TCellAttributes attributes);
  void WriteCellData(uint16_t row, uint16_t col, const CellData& cell, TCellAttributes attributes);
  void WriteColWidth(uint8_t first_col, uint8_t last_col, uint16_t width);
  void SetColWidth(uint8_t col, uint16_t width) { WriteColWidth(col, col, width); }
  void WriteNote(uint16_t row, uint16_t col, std::string_view text);
  void WriteFont(uint16_t height, TFontStyles style, std::string_view name);
  void WriteFontOf(const TFont& font);

  void WriteRecordHeader(uint16_t type, uint16_t length);
  void WriteCellHeader(uint16_t row, uint16_t col, TCellAttributes attributes);
  // Throws std::runtime_error when the stream does not take the bytes.
  void WriteBytes(const void* data, size_t n);

 private:
  void WriteU16(uint16_t v);
  std::ostream& stream_;
  FormatSettings settings_;
  bool abandoned_ = false;
};

}  // namespace tablorix::exchange
