// The CSV import (the import window's core): the file format, the column list built from its
// first line, and the load of its data lines into a table with the load's log.
//
// File format: lines ended by CR LF, LF or CR; values separated by ";". Line 0 names the
// columns (the first 50 names, trimmed, lower-cased, empty ones dropped); the k-th value of a
// data line belongs to the k-th kept name. A value that begins with a double quote and whose
// closing quote ends it is read as quoted text: doubled quotes inside stand for one, and ";" and
// line breaks inside belong to the value (this is how the export writes values that hold them).
// Any other quote character is part of the value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format_settings.h"
#include "engine/session.h"
#include "engine/types.h"

namespace tablorix::exchange {

// The window's own texts (Windows-1250).
inline constexpr char kImportCaption[] = "CSV \xE1llom\xE1ny bet\xF6lt\xE9s";
inline constexpr char kLoadStarts[] = "File bet\xF6lt\xE9s indul...";
inline constexpr char kLoadDonePrefix[] = "File bet\xF6lt\xE9s k\xE9sz: ";
inline constexpr char kLoadDoneSuffix[] = " sor bet\xF6ltve";
inline constexpr int kMaxImportColumns = 50;

// One record of the file: its values and the number of the line it starts on (0 for the
// header, as the editor's gutter counts).
struct ImportRecord {
  int line = 0;
  std::vector<std::string> values;
};
// The records of the text; a final line break opens no new record.
std::vector<ImportRecord> SplitImportText(std::string_view text);

// An item of the column check list; shown as "[" + name + "]".
struct ImportColumn {
  std::string name;
  bool checked = true;
  std::string ItemText() const { return "[" + name + "]"; }
};
std::vector<ImportColumn> ColumnsOfHeader(const ImportRecord& header);

// Rebuilds `columns` from the first line of the file as it is on disk. A file without lines, or
// with an empty first line, leaves `columns` as they were and gives false. A file that cannot
// be read throws EngineError.
bool FillColumnList(const std::string& file_name, std::vector<ImportColumn>* columns);

// A load ended before its end by a line that could not be filled in: a value that does not read
// as its field's type, a column that names no field, a number outside its field's range.
class ImportError : public EngineError {
 public:
  ImportError(int line, const std::string& message) : EngineError(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

struct ImportOutcome {
  std::vector<std::string> log;
  int64_t loaded = 0;
};

// Appends one record per data line of `text` to `table`, filling the checked columns' fields:
// text fields with the trimmed value, integer fields with the integer the value's digits, sign
// and marks make, float, currency and BCD fields with the number (either "." or "," as the decimal
// mark), dates, times and timestamps in the settings' formats, logical fields from True/False.
// Blank values and other field types are left unset. A record the table refuses (a key
// violation, a required field left empty, a text longer than its field) is logged as
// "Sor: N Hiba: message", dropped and not counted, and the load goes on. Records are committed
// in batches; a refusal or an ImportError never takes back the records before it.
//
// `log` receives the log lines as they are made; when an ImportError ends the load the record
// being filled is dropped, the table is closed, and the log holds no closing line.
void LoadImportText(Session& session, const std::string& table, std::string_view text,
                    const std::vector<ImportColumn>& columns, const FormatSettings& settings,
                    ImportOutcome* outcome,
                    const std::function<void(int64_t done, int64_t total)>& progress = {});

}  // namespace tablorix::exchange
