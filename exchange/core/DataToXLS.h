// TDataToXLS: writes the records of a dataset as a worksheet: an optional title cell, a header
// row of column titles, then one row per record. File names ending in ".xlsx" (any case) get an
// Office Open XML workbook with the same cells (xlsx_writer.h); every other name and
// SaveToStream get a BIFF2 worksheet (BiffFile.h).
//
// The cells, by format:
//   BIFF2  rows are 16 bits: a dataset that needs more than 65,536 rows (title and header
//          included) fails before anything is written. Texts are cut to 255 bytes. Integers
//          outside 0..65535 are NUMBER records.
//   .xlsx  up to 1,048,576 rows, likewise checked first; texts are cut to 32,767 characters
//          and converted from Windows-1250 to UTF-8. Written in constant-memory mode, so the
//          size of the dataset does not raise the memory used.
// Dates and times are labels in `format_settings`' formats in both; large objects give their
// content as a label (an empty one when there is none); null values give blank cells.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/format_settings.h"
#include "exchange/core/BiffFile.h"
#include "exchange/core/DataExport.h"

namespace tablorix::exchange {

class TxlColumn : public TExportField {
 public:
  using TExportField::TExportField;
  std::string Title;  // header text
  TAlignment Alignment = TAlignment::taLeftJustify;
  int ColWidth = 0;  // 1/256 of a character; 0 leaves the width to the spreadsheet program
  TCellType DataType = ctLabel;
  // Besides DataField and Save: Title := the display label (the name when there is none),
  // Alignment := the display alignment, ColWidth := 0, DataType by FieldTypeToCellType.
  void AssignFromField(const TFieldDef& field) override;
};

class TxlColumns : public TExportFields {
 public:
  using TExportFields::TExportFields;
  TxlColumn& Add() { return static_cast<TxlColumn&>(TExportFields::Add()); }
  TxlColumn& Item(int i) const { return static_cast<TxlColumn&>(TExportFields::Item(i)); }

 protected:
  std::unique_ptr<TExportField> NewItem() override { return std::make_unique<TxlColumn>(this); }
};

struct TxlBand {
  TFont Font;  // Arial, 10 points, regular
};
struct TxlTitle : TxlBand {
  std::string Text;
};
struct TxlHeader : TxlBand {};
struct TxlDetail : TxlBand {};

// Integer types give ctInteger, logical ctBoolean, floating and money ctDouble, all the others
// (bytes fields included: their bytes are no number) ctLabel.
TCellType FieldTypeToCellType(TFieldType type);

class TDataToXLS : public TDataExport {
 public:
  // ARow and ACol are the cell's sheet row and column.
  using TGetDetailCellParams =
      std::function<void(int ARow, int ACol, TxlColumn& AColumn, Value& AValue,
                         TCellType& AColumnType, TCellAttributes& AAttributes)>;

  TDataToXLS();
  ~TDataToXLS() override;

  TxlColumns Columns{this};
  TxlTitle Title;    // bold
  TxlHeader Header;  // bold
  TxlDetail Detail;
  std::string Comment;  // a note on cell (0, 0); nothing when empty
  TGetDetailCellParams OnGetDetailParams;
  // How numbers, dates and times become labels.
  FormatSettings format_settings;

  void SaveToFile(const std::string& file_name) override;

  class Sheet;  // where the cells go: BIFF2 or .xlsx

 protected:
  void BeginExport() override;
  void EndExport() override;
  void WriteRecord() override;
  TExportFields* GetExportFields() override { return &Columns; }
  void CheckLimits() override;

 private:
  void WriteTitle();
  void WriteHeader();
  int64_t RowsNeeded();
  void ResolveFields();
  std::vector<int> fields_;
  std::vector<bool> large_;
  CellData cell_;
  bool xlsx_ = false;
  int64_t row_limit_ = TBiffFile::kMaxRows;
  int64_t rows_needed_ = 0;
  int64_t FRow = 0;
  std::unique_ptr<Sheet> sheet_;
};

// Whether `file_name` ends in ".xlsx", ignoring case.
bool IsXlsxFileName(const std::string& file_name);

}  // namespace tablorix::exchange
