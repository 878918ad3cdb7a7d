// BIFF2 records byte by byte: each record kind, each cell type through WriteCell, the attribute
// encoding, and what a failed conversion leaves behind.
#include "exchange/core/BiffFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

namespace tablorix::exchange {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

const std::string kBofHex = "09 00 04 00 02 00 10 00";
const std::string kEofHex = "0A 00 00 00";

// Bytes between BOF and EOF of a writer that ran `body`.
std::string Body(const std::function<void(TBiffFile&)>& body) {
  std::ostringstream out;
  {
    TBiffFile biff(out);
    body(biff);
  }
  std::string all = Hex(out.str());
  EXPECT_EQ(all.substr(0, kBofHex.size()), kBofHex);
  EXPECT_EQ(all.substr(all.size() - kEofHex.size()), kEofHex);
  if (all.size() == kBofHex.size() + 1 + kEofHex.size()) return "";
  return all.substr(kBofHex.size() + 1, all.size() - kBofHex.size() - kEofHex.size() - 2);
}

TEST(BiffFile, EmptyWriterIsBofAndEof) {
  std::ostringstream out;
  { TBiffFile biff(out); }
  EXPECT_EQ(Hex(out.str()), "09 00 04 00 02 00 10 00 0A 00 00 00");
}

TEST(BiffFile, RecordBytes) {
  const Value kNull;
  const CellData kLabel{ctLabel, 0, 0, "\xC1rvai", false};  // Árvai in Windows-1250
  struct Case {
    const char* what;
    std::function<void(TBiffFile&)> body;
    std::string hex;
  };
  const Case cases[] = {
      {"dimensions", [](TBiffFile& b) { b.WriteDimensions(0, 1025, 0, 4); },
       "00 00 08 00 00 00 01 04 00 00 04 00"},
      {"blank", [](TBiffFile& b) { b.WriteBlank(1, 2, CellAttributes({caRight})); },
       "01 00 07 00 01 00 02 00 00 00 03"},
      {"integer max", [](TBiffFile& b) { b.WriteInteger(0x0102, 3, 0, 65535); },
       "02 00 09 00 02 01 03 00 00 00 00 FF FF"},
      {"integer zero", [](TBiffFile& b) { b.WriteInteger(0, 0, 0, 0); },
       "02 00 09 00 00 00 00 00 00 00 00 00 00"},
      {"number", [](TBiffFile& b) { b.WriteNumber(2, 0, 0, 1.5); },
       "03 00 0F 00 02 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F"},
      {"label", [](TBiffFile& b) { b.WriteLabel(0, 1, CellAttributes({caFont3}), "\xC1rvai"); },
       "04 00 0D 00 00 00 01 00 00 80 00 05 C1 72 76 61 69"},
      {"empty label", [](TBiffFile& b) { b.WriteLabel(0, 0, 0, ""); },
       "04 00 08 00 00 00 00 00 00 00 00 00"},
      {"boolean true", [](TBiffFile& b) { b.WriteBoolean(0, 0, 0, true); },
       "05 00 09 00 00 00 00 00 00 00 00 01 00"},
      {"boolean false", [](TBiffFile& b) { b.WriteBoolean(0, 0, 0, false); },
       "05 00 09 00 00 00 00 00 00 00 00 00 00"},
      {"note", [](TBiffFile& b) { b.WriteNote(0, 0, "Hi"); },
       "1C 00 08 00 00 00 00 00 02 00 48 69"},
      {"colwidth", [](TBiffFile& b) { b.SetColWidth(3, 0x0A00); }, "24 00 04 00 03 03 00 0A"},
      {"font Arial 10 bold",
       [](TBiffFile& b) {
         b.WriteFontOf(TFont{"Arial", 10, fsBold});
       },
       "31 00 0A 00 C8 00 01 00 05 41 72 69 61 6C"},
      {"font styles", [](TBiffFile& b) { b.WriteFont(240, fsItalic | fsStrikeOut, "X"); },
       "31 00 06 00 F0 00 0A 00 01 58"},
      // WriteCell: the cell type decides the record, a null value always gives BLANK.
      {"cell null integer", [&](TBiffFile& b) { b.WriteCell(0, 0, kNull, ctInteger, 0); },
       "01 00 07 00 00 00 00 00 00 00 00"},
      {"cell null label", [&](TBiffFile& b) { b.WriteCell(0, 0, kNull, ctLabel, 0); },
       "01 00 07 00 00 00 00 00 00 00 00"},
      {"cell blank", [](TBiffFile& b) { b.WriteCell(0, 0, Value::Int(5), ctBlank, 0); },
       "01 00 07 00 00 00 00 00 00 00 00"},
      {"cell integer", [](TBiffFile& b) { b.WriteCell(0, 0, Value::Int(258), ctInteger, 0); },
       "02 00 09 00 00 00 00 00 00 00 00 02 01"},
      {"cell integer from 2.5 (half to even)",
       [](TBiffFile& b) { b.WriteCell(0, 0, Value::Double(2.5), ctInteger, 0); },
       "02 00 09 00 00 00 00 00 00 00 00 02 00"},
      {"cell integer from 3.5 (half to even)",
       [](TBiffFile& b) { b.WriteCell(0, 0, Value::Double(3.5), ctInteger, 0); },
       "02 00 09 00 00 00 00 00 00 00 00 04 00"},
      // Out of the INTEGER record's 16 bits: a NUMBER holding the exact value.
      {"cell integer 65536",
       [](TBiffFile& b) { b.WriteCell(0, 0, Value::Int(65536), ctInteger, 0); },
       "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 40"},
      {"cell integer -1", [](TBiffFile& b) { b.WriteCell(0, 0, Value::Int(-1), ctInteger, 0); },
       "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 BF"},
      {"cell double from text with decimal comma",
       [](TBiffFile& b) { b.WriteCell(0, 0, Value::Text("1,5"), ctDouble, 0); },
       "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F"},
      {"cell double from date (day serial)",
       [](TBiffFile& b) {
         b.WriteCell(0, 0, Value::Date(DayNumberFromCivil(1900, 1, 1)), ctDouble, 0);
       },
       "03 00 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 40"},
      {"cell label of a number, decimal comma",
       [](TBiffFile& b) { b.WriteCell(0, 0, Value::Double(1.5), ctLabel, 0); },
       "04 00 0B 00 00 00 00 00 00 00 00 03 31 2C 35"},
      {"cell label of a date",
       [](TBiffFile& b) {
         b.WriteCell(0, 0, Value::Date(DayNumberFromCivil(2024, 3, 5)), ctLabel, 0);
       },
       "04 00 15 00 00 00 00 00 00 00 00 0D 32 30 32 34 2E 20 30 33 2E 20 30 35 2E"},
      {"cell label of text", [&](TBiffFile& b) { b.WriteCellData(0, 0, kLabel, 0); },
       "04 00 0D 00 00 00 00 00 00 00 00 05 C1 72 76 61 69"},
      {"cell boolean", [](TBiffFile& b) { b.WriteCell(0, 0, Value::Bool(true), ctBoolean, 0); },
       "05 00 09 00 00 00 00 00 00 00 00 01 00"},
      {"cell boolean from text",
       [](TBiffFile& b) { b.WriteCell(0, 0, Value::Text("FALSE"), ctBoolean, 0); },
       "05 00 09 00 00 00 00 00 00 00 00 00 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(Body(c.body), c.hex) << c.what;
}

TEST(BiffFile, LongTextsAreCutTo255Bytes) {
  const std::string text(300, 'x');
  std::ostringstream out;
  {
    TBiffFile biff(out);
    biff.WriteLabel(0, 0, 0, text);
    biff.WriteNote(0, 0, text);
    biff.WriteFont(200, 0, text);
  }
  const std::string b = out.str().substr(8);
  // LABEL: data length 263 = 8 + 255, length byte 255, the first 255 characters.
  EXPECT_EQ(Hex(b.substr(0, 4)), "04 00 07 01");
  EXPECT_EQ(uint8_t(b[11]), 255);
  EXPECT_EQ(b.substr(12, 255), text.substr(0, 255));
  size_t at = 4 + 263;
  EXPECT_EQ(Hex(b.substr(at, 4)), "1C 00 05 01");  // NOTE: 6 + 255
  EXPECT_EQ(Hex(b.substr(at + 8, 2)), "FF 00");
  at += 4 + 261;
  EXPECT_EQ(Hex(b.substr(at, 4)), "31 00 04 01");  // FONT: 5 + 255
  at += 4 + 260;
  EXPECT_EQ(Hex(b.substr(at)), kEofHex);
}

TEST(BiffFile, EncodeAttributes) {
  struct Case {
    TCellAttributes set;
    std::string hex;
  };
  const Case cases[] = {
      {CellAttributes({caFont2}), "00 40 00"},
      {CellAttributes({caFont3}), "00 80 00"},
      {CellAttributes({caFont4}), "00 C0 00"},
      {CellAttributes({caFont1, caFont3}), "00 00 00"},
      {CellAttributes({caFont2, caFont3}), "00 40 00"},
      {CellAttributes({caRight}), "00 00 03"},
      {CellAttributes({caLeft, caRight}), "00 00 01"},
      {CellAttributes({caCenter, caFill}), "00 00 06"},
      {CellAttributes({caHidden, caLocked}), "C0 00 00"},
      {CellAttributes({caShaded, caBottomBorder, caTopBorder, caRightBorder, caLeftBorder}),
       "00 00 F8"},
  };
  for (const Case& c : cases) {
    const auto a = EncodeAttributes(c.set);
    EXPECT_EQ(Hex(std::string(a.begin(), a.end())), c.hex) << "set " << c.set;
  }
}

// A value that does not convert raises the variant layer's error and writes nothing of the cell.
TEST(BiffFile, FailedConversionWritesNothing) {
  struct Case {
    Value value;
    TCellType type;
  };
  const Case cases[] = {
      {Value::Text("abc"), ctDouble},    {Value::Text("12x"), ctInteger},
      {Value::Text("igen"), ctBoolean},  {Value::Bytes("\x01\x02"), ctInteger},
      {Value::Double(1e300), ctInteger},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    TBiffFile biff(out);
    try {
      biff.WriteCell(0, 0, c.value, c.type, 0);
      ADD_FAILURE() << "converted: " << c.value.as_string() << " to " << c.type;
    } catch (const VariantConversionError& e) {
      EXPECT_STREQ(e.what(), "Invalid variant type conversion");
    }
    EXPECT_EQ(out.str().size(), 8u);  // BOF only
    biff.Abandon();
  }
}

TEST(BiffFile, StreamFailureIsReported) {
  std::ostringstream out;
  TBiffFile biff(out);
  out.setstate(std::ios::badbit);
  EXPECT_THROW(biff.WriteBlank(0, 0, 0), std::runtime_error);
}

}  // namespace
}  // namespace tablorix::exchange
