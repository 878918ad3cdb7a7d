// The .xlsx sheet over libxlsxwriter.
#include "exchange/core/xlsx_writer.h"

#include <xlsxwriter.h>

#include <cmath>

#include "engine/paradox/codepage.h"
#include "exchange/core/DataExport.h"

namespace tablorix::exchange {

XlsxSheetWriter::XlsxSheetWriter(const std::string& file_name, const std::array<TFont, 3>& fonts)
    : file_name_(file_name), fonts_(fonts) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  workbook_ = workbook_new_opt(file_name_.c_str(), &options);
  if (!workbook_) throw ExportError("Cannot create file \"" + file_name_ + "\".");
  sheet_ = workbook_add_worksheet(workbook_, nullptr);
  if (!sheet_) {
    lxw_workbook_free(workbook_);
    throw ExportError("Cannot create file \"" + file_name_ + "\".");
  }
}

XlsxSheetWriter::~XlsxSheetWriter() {
  if (workbook_) lxw_workbook_free(workbook_);
}

void XlsxSheetWriter::Check(int error, const char* what) {
  if (error == LXW_NO_ERROR) return;
  throw ExportError(std::string("Cannot write file \"") + file_name_ + "\": " + what + ": " +
                    lxw_strerror(lxw_error(error)));
}

const std::string& XlsxSheetWriter::Utf8(std::string_view text) {
  if (text.size() > kMaxText) text = text.substr(0, kMaxText);
  utf8_.clear();
  paradox::Win1250ToUtf8(text, &utf8_);
  return utf8_;
}

lxw_format* XlsxSheetWriter::FormatFor(TCellAttributes attributes) {
  for (const auto& [set, format] : formats_)
    if (set == attributes) return format;
  const auto b = EncodeAttributes(attributes);
  lxw_format* f = workbook_add_format(workbook_);
  const int font_index = b[1] >> 6;
  const TFont& font = fonts_[font_index < 3 ? font_index : 0];
  format_set_font_name(f, Utf8(font.Name).c_str());
  format_set_font_size(f, font.Size);
  if (font.Style & fsBold) format_set_bold(f);
  if (font.Style & fsItalic) format_set_italic(f);
  if (font.Style & fsUnderline) format_set_underline(f, LXW_UNDERLINE_SINGLE);
  if (font.Style & fsStrikeOut) format_set_font_strikeout(f);
  switch (b[2] & 7) {
    case 1:
      format_set_align(f, LXW_ALIGN_LEFT);
      break;
    case 2:
      format_set_align(f, LXW_ALIGN_CENTER);
      break;
    case 3:
      format_set_align(f, LXW_ALIGN_RIGHT);
      break;
    default:
      if (b[2] & 4) format_set_align(f, LXW_ALIGN_FILL);
      break;
  }
  if (b[2] & 0x80) format_set_pattern(f, LXW_PATTERN_GRAY_125);
  if (b[2] & 0x40) format_set_bottom(f, LXW_BORDER_THIN);
  if (b[2] & 0x20) format_set_top(f, LXW_BORDER_THIN);
  if (b[2] & 0x10) format_set_right(f, LXW_BORDER_THIN);
  if (b[2] & 0x08) format_set_left(f, LXW_BORDER_THIN);
  if (b[0] & 0x80) format_set_hidden(f);
  formats_.emplace_back(attributes, f);
  return f;
}

void XlsxSheetWriter::WriteCell(uint32_t row, uint16_t col, const CellData& cell,
                                TCellAttributes attributes) {
  lxw_format* f = FormatFor(attributes);
  switch (cell.type) {
    case ctBlank:
      // A blank cell without a format of its own is no cell at all to the library; the
      // alignment keeps it, as BIFF2's BLANK record does.
      Check(worksheet_write_blank(sheet_, row, col, f), "cell");
      break;
    case ctInteger:
      Check(worksheet_write_number(sheet_, row, col, double(cell.integer), f), "cell");
      break;
    case ctDouble:
      // The format has no NaN or infinity; those cells stay empty.
      if (std::isfinite(cell.number))
        Check(worksheet_write_number(sheet_, row, col, cell.number, f), "cell");
      else
        Check(worksheet_write_blank(sheet_, row, col, f), "cell");
      break;
    case ctLabel:
      WriteLabel(row, col, cell.text, attributes);
      break;
    case ctBoolean:
      Check(worksheet_write_boolean(sheet_, row, col, cell.boolean ? 1 : 0, f), "cell");
      break;
  }
}

void XlsxSheetWriter::WriteLabel(uint32_t row, uint16_t col, std::string_view text,
                                 TCellAttributes attributes) {
  lxw_format* f = FormatFor(attributes);
  Check(worksheet_write_string(sheet_, row, col, Utf8(text).c_str(), f), "cell");
}

void XlsxSheetWriter::SetColWidth(uint16_t col, int width) {
  Check(worksheet_set_column(sheet_, col, col, double(width) / 256.0, nullptr), "column width");
}

void XlsxSheetWriter::WriteNote(uint32_t row, uint16_t col, std::string_view text) {
  Check(worksheet_write_comment(sheet_, row, col, Utf8(text).c_str()), "note");
}

void XlsxSheetWriter::Close() {
  lxw_workbook* wb = workbook_;
  workbook_ = nullptr;
  Check(workbook_close(wb), "workbook");
}

}  // namespace tablorix::exchange
