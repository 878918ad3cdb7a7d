// A one-sheet Office Open XML workbook written with libxlsxwriter in constant-memory mode: rows
// go to disk as they are finished, so memory stays flat however many rows there are. Cells must
// come row by row, left to right. Texts are Windows-1250 and converted to UTF-8 here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/core/BiffFile.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace tablorix::exchange {

class XlsxSheetWriter {
 public:
  static constexpr int64_t kMaxRows = 1048576;
  static constexpr int kMaxColumns = 16384;
  static constexpr size_t kMaxText = 32767;  // characters of a cell

  // Nothing is on disk until Close. `fonts` are selected by the caFont2..caFont4 members of a
  // cell's attributes as in BIFF2: font 0 without them.
  XlsxSheetWriter(const std::string& file_name, const std::array<TFont, 3>& fonts);
  // Without Close the file is not written.
  ~XlsxSheetWriter();
  XlsxSheetWriter(const XlsxSheetWriter&) = delete;
  XlsxSheetWriter& operator=(const XlsxSheetWriter&) = delete;

  // Integers of any size are numbers here.
  void WriteCell(uint32_t row, uint16_t col, const CellData& cell, TCellAttributes attributes);
  void WriteLabel(uint32_t row, uint16_t col, std::string_view text, TCellAttributes attributes);
  // Width in 1/256 of a character, as TxlColumn::ColWidth.
  void SetColWidth(uint16_t col, int width);
  void WriteNote(uint32_t row, uint16_t col, std::string_view text);
  // Writes the file; throws ExportError-like std::runtime_error with the library's reason.
  void Close();

 private:
  lxw_format* FormatFor(TCellAttributes attributes);
  void Check(int error, const char* what);
  const std::string& Utf8(std::string_view text);
  std::string file_name_;
  std::array<TFont, 3> fonts_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  std::vector<std::pair<TCellAttributes, lxw_format*>> formats_;  // a handful per sheet
  std::string utf8_;
};

}  // namespace tablorix::exchange
