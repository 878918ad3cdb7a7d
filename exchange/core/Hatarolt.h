// The delimited text export of one dataset (the export dialog's core): the file format, the
// field check list, the record loop with its stop flag and progress, and the file names the
// dialog offers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset.h"
#include "engine/format_settings.h"

namespace tablorix::exchange {

// The dialog's own texts (Windows-1250).
inline constexpr char kExportCaption[] = "Hat\xE1rolt sz\xF6veg export";
inline constexpr char kNoExportData[] = "Nincs export\xE1lhat\xF3 adat";
inline constexpr char kExportDoneSuffix[] = " file k\xE9sz.";
inline constexpr char kExportErrorPrefix[] = "Hiba: ";
inline constexpr char kBlobPlaceholder[] = "BLOB";
inline constexpr char kDefaultExportName[] = "File001.csv";

// Separators of the "Határoló karakter" items in their order: ";", tab, ",", "|".
char SeparatorOfItem(int item);
// Quotes of the "Szövegjelölő" items in their order: '"', '\'', none (0).
char QuoteOfItem(int item);

struct TextExportOptions {
  char separator = ';';
  char quote = 0;             // 0: no quote
  bool memo_as_text = false;  // memo lines joined by "|" instead of the placeholder
  bool field_names = false;   // header from field names instead of display labels
  bool no_header = false;     // the first line stays empty
};

// Q + text + Q + S for one value. The chosen quote inside a quoted value is doubled, so the
// columns of the file stay where they are. Without a quote a value holding the separator, a
// double quote or a line break is put between double quotes (doubling those inside); other
// values are written bare.
void AppendDelimited(std::string_view text, const TextExportOptions& options, std::string* line);

// The text one field of the current record exports as (before quoting): memo fields with
// memo_as_text their lines joined by "|" and then the separator made ","; other large objects
// (and memos without memo_as_text) the placeholder; anything else what the grid shows.
std::string ExportFieldText(const Dataset& dataset, int field, const TextExportOptions& options,
                            const FormatSettings& settings);

enum class ExportFileKind { kText, kXls, kXlsx };
// By the extension of the file-name part (from its last "."), letter case ignored.
ExportFileKind ExportKindOf(std::string_view file_name);

// The name the dialog starts with: `name` (a window caption or a table name) with its extension
// replaced by ".CSV" (added when it has none); an empty name gives `documents_folder` +
// "/File001.csv".
std::string DefaultExportFileName(std::string_view name, std::string_view documents_folder);

struct TextExportResult {
  int64_t records = 0;   // record lines written
  bool stopped = false;  // the stop flag ended the loop before the dataset's end
};

// The export dialog's state over one dataset, which it borrows. The check list holds one item per
// field, in field order, all checked.
class TextExport {
 public:
  explicit TextExport(Dataset& dataset);

  struct Item {
    std::string name;
    bool checked = true;
  };
  std::vector<Item>& items() { return items_; }
  const std::vector<Item>& items() const { return items_; }
  void CheckAll(bool checked);
  // True when an item equals the name (letter case ignored) and is checked.
  bool IsFieldChecked(std::string_view name) const;

  // Called once per record before the stop flag is looked at: the dialog lets its message loop
  // run here, which is where Stop arrives.
  std::function<void()> on_idle;
  // After each record line: records done, record count taken at the start.
  std::function<void(int64_t done, int64_t total)> on_progress;

  // Clears the running flag: the loop ends at the next record.
  void Stop() { running_ = false; }
  bool running() const { return running_; }

  // Writes the header line and one line per record from the first record, each ended by CR LF,
  // to `file_name` (replaced when it exists). The lines go to a temporary file beside it that
  // replaces it only when everything was written, so an error leaves any former file as it was.
  // The dataset's views are detached while the loop runs and re-attached in every case; the
  // dataset stays where the loop ended. Errors are thrown (the dialog shows kExportErrorPrefix +
  // the message).
  TextExportResult Run(const std::string& file_name, const TextExportOptions& options,
                       const FormatSettings& settings);

  // The worksheet branch (".xls", or ".xlsx" for an Office Open XML workbook): the checked
  // fields as columns under their display labels, on_progress after each record; no stop, and
  // the dataset goes back to where it stood. Errors (an empty dataset among them) are thrown.
  void ExportToWorksheet(const std::string& file_name, const FormatSettings& settings);

 private:
  Dataset& dataset_;
  std::vector<Item> items_;
  bool running_ = false;
};

}  // namespace tablorix::exchange
