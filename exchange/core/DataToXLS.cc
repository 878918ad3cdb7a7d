// The worksheet writer: title, header and records, onto a BIFF2 stream or an .xlsx file.
#include "exchange/core/DataToXLS.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "exchange/core/xlsx_writer.h"

namespace tablorix::exchange {

// Both formats take the same calls, so both get the same cells.
class TDataToXLS::Sheet {
 public:
  virtual ~Sheet() = default;
  virtual void Begin(int64_t rows, int columns) = 0;
  virtual void Label(int64_t row, int col, const std::string& text, TCellAttributes a) = 0;
  virtual void Note(const std::string& text) = 0;
  virtual void ColWidth(int col, int width) = 0;
  virtual void Cell(int64_t row, int col, const CellData& cell, TCellAttributes a) = 0;
  // Success: the file is complete.
  virtual void Finish() = 0;
};

namespace {

class BiffSheet : public TDataToXLS::Sheet {
 public:
  BiffSheet(std::ostream& out, const FormatSettings& settings, const TDataToXLS& x)
      : biff_(out, settings) {
    biff_.WriteFontOf(x.Detail.Font);
    biff_.WriteFontOf(x.Title.Font);
    biff_.WriteFontOf(x.Header.Font);
  }
  // A failed export ends without EOF: the stream may be gone by the time this goes.
  ~BiffSheet() override {
    if (!finished_) biff_.Abandon();
  }
  // The real extent; a full sheet of 65,536 rows is one more than "last row + 1" can say, and
  // readers take the cells that are there.
  void Begin(int64_t rows, int columns) override {
    biff_.WriteDimensions(0, uint16_t(std::min<int64_t>(rows, 0xFFFF)), 0,
                          uint16_t(std::min(columns, 0xFFFF)));
  }
  void Label(int64_t row, int col, const std::string& text, TCellAttributes a) override {
    biff_.WriteLabel(uint16_t(row), uint16_t(col), a, text);
  }
  void Note(const std::string& text) override { biff_.WriteNote(0, 0, text); }
  void ColWidth(int col, int width) override {
    if (col > 0xFF) return;  // COLWIDTH numbers columns in one byte
    biff_.SetColWidth(uint8_t(col), uint16_t(std::clamp(width, 0, 0xFFFF)));
  }
  void Cell(int64_t row, int col, const CellData& cell, TCellAttributes a) override {
    biff_.WriteCellData(uint16_t(row), uint16_t(col), cell, a);
  }
  void Finish() override {
    biff_.WriteEof();
    finished_ = true;
    biff_.Abandon();
  }

 private:
  TBiffFile biff_;
  bool finished_ = false;
};

class XlsxSheet : public TDataToXLS::Sheet {
 public:
  XlsxSheet(const std::string& file_name, const TDataToXLS& x)
      : xlsx_(file_name, {x.Detail.Font, x.Title.Font, x.Header.Font}) {}
  void Begin(int64_t, int) override {}
  void Label(int64_t row, int col, const std::string& text, TCellAttributes a) override {
    xlsx_.WriteLabel(uint32_t(row), uint16_t(col), text, a);
  }
  void Note(const std::string& text) override { xlsx_.WriteNote(0, 0, text); }
  void ColWidth(int col, int width) override { xlsx_.SetColWidth(uint16_t(col), width); }
  void Cell(int64_t row, int col, const CellData& cell, TCellAttributes a) override {
    xlsx_.WriteCell(uint32_t(row), uint16_t(col), cell, a);
  }
  void Finish() override { xlsx_.Close(); }

 private:
  XlsxSheetWriter xlsx_;
};

bool IsLargeObject(const TFieldDef& f) {
  switch (f.type) {
    case TFieldType::ftBlob:
    case TFieldType::ftMemo:
    case TFieldType::ftGraphic:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftTypedBinary:
      return true;
    default:
      return f.is_blob;
  }
}

std::string FormatCount(int64_t n) {
  std::string s = std::to_string(n), out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && (s.size() - i) % 3 == 0) out += ',';
    out += s[i];
  }
  return out;
}

}  // namespace

bool IsXlsxFileName(const std::string& file_name) {
  if (file_name.size() < 5) return false;
  std::string ext = file_name.substr(file_name.size() - 5);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".xlsx";
}

TCellType FieldTypeToCellType(TFieldType type) {
  switch (type) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
      return ctInteger;
    case TFieldType::ftBoolean:
      return ctBoolean;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
      return ctDouble;
    default:
      return ctLabel;
  }
}

void TxlColumn::AssignFromField(const TFieldDef& field) {
  TExportField::AssignFromField(field);
  Title = field.display_label.empty() ? field.name : field.display_label;
  Alignment = field.alignment;
  ColWidth = 0;
  DataType = FieldTypeToCellType(field.type);
}

TDataToXLS::TDataToXLS() {
  Title.Font.Style |= fsBold;
  Header.Font.Style |= fsBold;
}

TDataToXLS::~TDataToXLS() = default;

void TDataToXLS::SaveToFile(const std::string& file_name) {
  if (!IsXlsxFileName(file_name)) {
    xlsx_ = false;
    row_limit_ = TBiffFile::kMaxRows;
    try {
      TDataExport::SaveToFile(file_name);
    } catch (...) {
      sheet_.reset();
      throw;
    }
    return;
  }
  // The library writes the file only when it is closed: every check comes first.
  CheckDataSet();
  xlsx_ = true;
  row_limit_ = XlsxSheetWriter::kMaxRows;
  try {
    CheckLimits();
    sheet_ = std::make_unique<XlsxSheet>(file_name, *this);
    RunExport();
  } catch (...) {
    sheet_.reset();
    xlsx_ = false;
    row_limit_ = TBiffFile::kMaxRows;
    throw;
  }
  xlsx_ = false;
  row_limit_ = TBiffFile::kMaxRows;
}

int64_t TDataToXLS::RowsNeeded() {
  return (Title.Text.empty() ? 0 : 1) + 1 + DataSet()->RecordCount();
}

void TDataToXLS::CheckLimits() {
  rows_needed_ = RowsNeeded();
  if (rows_needed_ > row_limit_) {
    std::string msg = "The dataset needs " + FormatCount(rows_needed_) +
                      " worksheet rows (title and header included), more than the " +
                      FormatCount(row_limit_) + " rows a";
    msg += xlsx_ ? "n .xlsx worksheet holds."
                 : " BIFF2 (.xls) worksheet holds; save it as \".xlsx\" instead.";
    throw ExportError(msg);
  }
}

void TDataToXLS::BeginExport() {
  TDataExport::BeginExport();
  fields_.clear();
  if (!xlsx_) sheet_ = std::make_unique<BiffSheet>(*Stream(), format_settings, *this);
  FRow = 0;
  int saved = 0;
  for (int i = 0; i < Columns.Count(); ++i) saved += Columns.Item(i).Save ? 1 : 0;
  sheet_->Begin(rows_needed_, saved);
  WriteTitle();
  if (!Comment.empty()) sheet_->Note(Comment);
  WriteHeader();
}

void TDataToXLS::WriteTitle() {
  if (Title.Text.empty()) return;
  sheet_->Label(0, 0, Title.Text, CellAttributes({caFont2}));
  FRow = 1;
}

void TDataToXLS::WriteHeader() {
  int c = 0;
  for (int i = 0; i < Columns.Count(); ++i) {
    const TxlColumn& col = Columns.Item(i);
    if (!col.Save) continue;
    if (col.ColWidth > 0) sheet_->ColWidth(c, col.ColWidth);
    sheet_->Label(FRow, c, col.Title, CellAttributes({caFont3}));
    ++c;
  }
  ++FRow;
}

void TDataToXLS::WriteRecord() {
  // The count was checked before the file was begun; rows added since then must not wrap.
  if (FRow >= row_limit_)
    throw ExportError("The worksheet is full: it holds " + FormatCount(row_limit_) + " rows");
  Dataset& ds = *DataSet();
  if (fields_.empty()) ResolveFields();
  int c = 0;
  for (int i = 0; i < Columns.Count(); ++i) {
    const int field = fields_[size_t(i)];
    if (field < 0) continue;
    TxlColumn& col = Columns.Item(i);
    Value value = ds.AsVariant(field);
    if (large_[size_t(i)]) {
      // Large objects are their content as text, never blank.
      value = Value::Text(value.is_null() ? std::string() : value.as_string());
    } else if (value.kind() == Value::Kind::kBytes && col.DataType == ctLabel) {
      value = Value::Text(value.as_string());
    }
    TCellType type = col.DataType;
    TCellAttributes attributes = 0;
    switch (col.Alignment) {
      case TAlignment::taLeftJustify:
        attributes = CellAttributes({caLeft});
        break;
      case TAlignment::taRightJustify:
        attributes = CellAttributes({caRight});
        break;
      case TAlignment::taCenter:
        attributes = CellAttributes({caCenter});
        break;
    }
    if (OnGetDetailParams) OnGetDetailParams(int(FRow), c, col, value, type, attributes);
    ConvertCell(value, type, format_settings, &cell_);
    sheet_->Cell(FRow, c, cell_, attributes);
    ++c;
  }
  ++FRow;
}

// Field positions are looked up once per export, not once per cell; -1 for columns not saved.
void TDataToXLS::ResolveFields() {
  Dataset& ds = *DataSet();
  fields_.assign(size_t(Columns.Count()), -1);
  large_.assign(size_t(Columns.Count()), false);
  for (int i = 0; i < Columns.Count(); ++i) {
    const TxlColumn& col = Columns.Item(i);
    if (!col.Save) continue;
    fields_[size_t(i)] = col.GetField();
    large_[size_t(i)] = IsLargeObject(ds.Field(fields_[size_t(i)]));
  }
}

void TDataToXLS::EndExport() {
  std::unique_ptr<Sheet> sheet = std::move(sheet_);
  sheet->Finish();
  sheet.reset();
  TDataExport::EndExport();
}

}  // namespace tablorix::exchange
