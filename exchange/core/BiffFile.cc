// The BIFF2 records and the variant conversions of worksheet cells.
#include "exchange/core/BiffFile.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/dataset.h"

namespace tablorix::exchange {
namespace {

// Day number of the spreadsheet serial 0.
const int32_t kSerialBase = DayNumberFromCivil(1899, 12, 30);

bool ParseNumber(const std::string& text, char decimal_separator, double* out) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b == e) return false;
  std::string s = text.substr(b, e - b);
  for (char& c : s)
    if (c == decimal_separator) c = '.';
  // Hex, inf and nan texts are no numbers to a user.
  for (char c : s)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size()) return false;
  *out = v;
  return true;
}

double AsNumber(const Value& v, const FormatSettings& settings) {
  switch (v.kind()) {
    case Value::Kind::kInt:
      return double(v.as_int());
    case Value::Kind::kDouble:
      return v.as_double();
    case Value::Kind::kBool:
      return v.as_bool() ? 1 : 0;
    case Value::Kind::kDate:
      return double(v.as_int() - kSerialBase);
    case Value::Kind::kTime:
      return double(v.as_int()) / double(kMsPerDay);
    case Value::Kind::kDateTime:
      return v.as_double() / double(kMsPerDay) - kSerialBase;
    case Value::Kind::kText: {
      double d = 0;
      if (ParseNumber(v.as_string(), settings.decimal_separator, &d)) return d;
      break;
    }
    default:
      break;
  }
  throw VariantConversionError();
}

bool EqualsNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

}  // namespace

std::array<uint8_t, 3> EncodeAttributes(TCellAttributes set) {
  std::array<uint8_t, 3> b{0, 0, 0};
  if (HasAttribute(set, caHidden)) b[0] |= 0x80;
  if (HasAttribute(set, caLocked)) b[0] |= 0x40;
  if (!HasAttribute(set, caFont1)) {
    if (HasAttribute(set, caFont2))
      b[1] |= 0x40;
    else if (HasAttribute(set, caFont3))
      b[1] |= 0x80;
    else if (HasAttribute(set, caFont4))
      b[1] |= 0xC0;
  }
  if (HasAttribute(set, caShaded)) b[2] |= 0x80;
  if (HasAttribute(set, caBottomBorder)) b[2] |= 0x40;
  if (HasAttribute(set, caTopBorder)) b[2] |= 0x20;
  if (HasAttribute(set, caRightBorder)) b[2] |= 0x10;
  if (HasAttribute(set, caLeftBorder)) b[2] |= 0x08;
  if (HasAttribute(set, caLeft))
    b[2] |= 1;
  else if (HasAttribute(set, caCenter))
    b[2] |= 2;
  else if (HasAttribute(set, caRight))
    b[2] |= 3;
  if (HasAttribute(set, caFill)) b[2] |= 4;
  return b;
}

CellData ConvertCell(const Value& value, TCellType type, const FormatSettings& settings) {
  CellData cell;
  ConvertCell(value, type, settings, &cell);
  return cell;
}

void ConvertCell(const Value& value, TCellType type, const FormatSettings& settings,
                 CellData* out) {
  if (value.is_null()) {
    out->type = ctBlank;
    return;
  }
  CellData& cell = *out;
  // Converted into locals first: a failure leaves `out` as it was.
  int64_t integer = 0;
  double number = 0;
  bool boolean = false;
  switch (type) {
    case ctBlank:
      break;
    case ctInteger:
      if (value.kind() == Value::Kind::kInt) {
        integer = value.as_int();
      } else {
        const double d = std::nearbyint(AsNumber(value, settings));  // halves to even
        if (!(d >= -9.2e18 && d <= 9.2e18)) throw VariantConversionError();
        integer = int64_t(d);
      }
      break;
    case ctDouble:
      number = AsNumber(value, settings);
      break;
    case ctLabel:
      if (value.kind() == Value::Kind::kText || value.kind() == Value::Kind::kBytes)
        cell.text.assign(value.as_string());
      else
        cell.text = FormatForDisplay(value, TFieldType::ftUnknown, settings);
      break;
    case ctBoolean:
      if (value.kind() == Value::Kind::kText && EqualsNoCase(value.as_string(), "true"))
        boolean = true;
      else if (value.kind() == Value::Kind::kText && EqualsNoCase(value.as_string(), "false"))
        boolean = false;
      else
        boolean = AsNumber(value, settings) != 0;
      break;
  }
  cell.type = type;
  cell.integer = integer;
  cell.number = number;
  cell.boolean = boolean;
}

TBiffFile::TBiffFile(std::ostream& stream, FormatSettings settings)
    : stream_(stream), settings_(std::move(settings)) {
  WriteBof();
}

TBiffFile::~TBiffFile() {
  if (abandoned_) return;
  try {
    WriteEof();
  } catch (...) {
    // A stream that fails here has failed a write before, which was reported then.
  }
}

void TBiffFile::WriteBytes(const void* data, size_t n) {
  stream_.write(static_cast<const char*>(data), std::streamsize(n));
  if (!stream_) throw std::runtime_error("Cannot write the worksheet: the output stream failed");
}

void TBiffFile::WriteU16(uint16_t v) {
  const uint8_t b[2] = {uint8_t(v & 0xFF), uint8_t(v >> 8)};
  WriteBytes(b, 2);
}

void TBiffFile::WriteRecordHeader(uint16_t type, uint16_t length) {
  WriteU16(type);
  WriteU16(length);
}

void TBiffFile::WriteCellHeader(uint16_t row, uint16_t col, TCellAttributes attributes) {
  WriteU16(row);
  WriteU16(col);
  const auto a = EncodeAttributes(attributes);
  WriteBytes(a.data(), a.size());
}

void TBiffFile::WriteBof() {
  WriteRecordHeader(kBof, 4);
  WriteU16(0x0002);
  WriteU16(0x0010);
}

void TBiffFile::WriteEof() { WriteRecordHeader(kEof, 0); }

void TBiffFile::WriteDimensions(uint16_t first_row, uint16_t last_row_1, uint16_t first_col,
                                uint16_t last_col_1) {
  WriteRecordHeader(kDimensions, 8);
  WriteU16(first_row);
  WriteU16(last_row_1);
  WriteU16(first_col);
  WriteU16(last_col_1);
}

void TBiffFile::WriteBlank(uint16_t row, uint16_t col, TCellAttributes attributes) {
  WriteRecordHeader(kBlank, 7);
  WriteCellHeader(row, col, attributes);
}

void TBiffFile::WriteInteger(uint16_t row, uint16_t col, TCellAttributes attributes,
                             uint16_t value) {
  WriteRecordHeader(kInteger, 9);
  WriteCellHeader(row, col, attributes);
  WriteU16(value);
}

void TBiffFile::WriteNumber(uint16_t row, uint16_t col, TCellAttributes attributes, double value) {
  WriteRecordHeader(kNumber, 15);
  WriteCellHeader(row, col, attributes);
  uint64_t bits = 0;
  std::memcpy(&bits, &value, 8);
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = uint8_t(bits >> (8 * i));
  WriteBytes(b, 8);
}

void TBiffFile::WriteLabel(uint16_t row, uint16_t col, TCellAttributes attributes,
                           std::string_view text) {
  if (text.size() > kMaxText) text = text.substr(0, kMaxText);
  WriteRecordHeader(kLabel, uint16_t(8 + text.size()));
  WriteCellHeader(row, col, attributes);
  const uint8_t n = uint8_t(text.size());
  WriteBytes(&n, 1);
  WriteBytes(text.data(), text.size());
}

void TBiffFile::WriteBoolean(uint16_t row, uint16_t col, TCellAttributes attributes, bool value) {
  WriteRecordHeader(kBoolErr, 9);
  WriteCellHeader(row, col, attributes);
  const uint8_t b[2] = {uint8_t(value ? 1 : 0), 0};
  WriteBytes(b, 2);
}

void TBiffFile::WriteCell(uint16_t row, uint16_t col, const Value& value, TCellType type,
                          TCellAttributes attributes) {
  WriteCellData(row, col, ConvertCell(value, type, settings_), attributes);
}

void TBiffFile::WriteCellData(uint16_t row, uint16_t col, const CellData& cell,
                              TCellAttributes attributes) {
  switch (cell.type) {
    case ctBlank:
      WriteBlank(row, col, attributes);
      break;
    case ctInteger:
      // INTEGER holds 16 unsigned bits; a NUMBER keeps any other integer exactly.
      if (cell.integer >= 0 && cell.integer <= 0xFFFF)
        WriteInteger(row, col, attributes, uint16_t(cell.integer));
      else
        WriteNumber(row, col, attributes, double(cell.integer));
      break;
    case ctDouble:
      WriteNumber(row, col, attributes, cell.number);
      break;
    case ctLabel:
      WriteLabel(row, col, attributes, cell.text);
      break;
    case ctBoolean:
      WriteBoolean(row, col, attributes, cell.boolean);
      break;
  }
}

void TBiffFile::WriteColWidth(uint8_t first_col, uint8_t last_col, uint16_t width) {
  WriteRecordHeader(kColWidth, 4);
  const uint8_t b[2] = {first_col, last_col};
  WriteBytes(b, 2);
  WriteU16(width);
}

void TBiffFile::WriteNote(uint16_t row, uint16_t col, std::string_view text) {
  if (text.size() > kMaxText) text = text.substr(0, kMaxText);
  WriteRecordHeader(kNote, uint16_t(6 + text.size()));
  WriteU16(row);
  WriteU16(col);
  WriteU16(uint16_t(text.size()));
  WriteBytes(text.data(), text.size());
}

void TBiffFile::WriteFont(uint16_t height, TFontStyles style, std::string_view name) {
  if (name.size() > kMaxText) name = name.substr(0, kMaxText);
  WriteRecordHeader(kFont, uint16_t(5 + name.size()));
  WriteU16(height);
  WriteU16(style & (fsBold | fsItalic | fsUnderline | fsStrikeOut));
  const uint8_t n = uint8_t(name.size());
  WriteBytes(&n, 1);
  WriteBytes(name.data(), name.size());
}

void TBiffFile::WriteFontOf(const TFont& font) {
  const int height = font.Size * 20;
  WriteFont(uint16_t(height < 0 ? 0 : height > 0xFFFF ? 0xFFFF : height), font.Style, font.Name);
}

}  // namespace tablorix::exchange
