// The CSV import: reading the file's records and filling one new record of the table per line.
#include "exchange/core/Betolt.h"

#include <charconv>
#include <exception>
#include <fstream>
#include <sstream>

#include "common/core/Seged.h"
#include "engine/filter.h"
#include "engine/value.h"

namespace tablorix::exchange {

namespace {

bool LineEnd(char ch) { return ch == '\r' || ch == '\n'; }

// A quoted value starting at `i` (on its opening quote): its text, and past it, when the closing
// quote is followed by ";", a line break or the end; false otherwise.
bool ReadQuoted(std::string_view t, size_t i, std::string* value, size_t* end, int* lines) {
  std::string out;
  int breaks = 0;
  for (size_t j = i + 1; j < t.size(); ++j) {
    const char ch = t[j];
    if (ch == '"') {
      if (j + 1 < t.size() && t[j + 1] == '"') {
        out += '"';
        ++j;
        continue;
      }
      if (j + 1 < t.size() && t[j + 1] != ';' && !LineEnd(t[j + 1])) return false;
      *value = std::move(out);
      *end = j + 1;
      *lines += breaks;
      return true;
    }
    if (ch == '\n' || (ch == '\r' && (j + 1 >= t.size() || t[j + 1] != '\n'))) ++breaks;
    out += ch;
  }
  return false;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && uint8_t(s[b]) <= ' ') ++b;
  while (e > b && uint8_t(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace

std::vector<ImportRecord> SplitImportText(std::string_view t) {
  std::vector<ImportRecord> records;
  size_t i = 0;
  int line = 0;
  while (i < t.size()) {
    ImportRecord rec;
    rec.line = line;
    for (;;) {
      std::string value;
      size_t end = 0;
      if (i < t.size() && t[i] == '"' && ReadQuoted(t, i, &value, &end, &line)) {
        i = end;
      } else {
        const size_t stop = t.find_first_of(";\r\n", i);
        end = stop == std::string_view::npos ? t.size() : stop;
        value.assign(t.substr(i, end - i));
        i = end;
      }
      rec.values.push_back(std::move(value));
      if (i < t.size() && t[i] == ';') {
        ++i;
        continue;
      }
      break;
    }
    // At a line break or the end of the text.
    if (i < t.size() && t[i] == '\r') ++i;
    if (i < t.size() && t[i] == '\n') ++i;
    ++line;
    records.push_back(std::move(rec));
  }
  return records;
}

std::vector<ImportColumn> ColumnsOfHeader(const ImportRecord& header) {
  std::vector<ImportColumn> columns;
  for (size_t n = 0; n < header.values.size() && n < size_t(kMaxImportColumns); ++n) {
    std::string name = Trim(common::LowerCase(header.values[n]));
    if (!name.empty()) columns.push_back({std::move(name), true});
  }
  return columns;
}

bool FillColumnList(const std::string& file_name, std::vector<ImportColumn>* columns) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) throw EngineError("Cannot open file \"" + file_name + "\"");
  std::ostringstream text;
  text << in.rdbuf();
  const std::vector<ImportRecord> records = SplitImportText(text.str());
  if (records.empty()) return false;
  const ImportRecord& header = records.front();
  if (header.values.size() == 1 && header.values[0].empty()) return false;
  *columns = ColumnsOfHeader(header);
  return true;
}

namespace {

// A value the load cannot put into its field: ends the load.
[[noreturn]] void NotValid(const std::string& text, const char* what) {
  throw EngineError("'" + text + "' is not a valid " + what);
}

int64_t ReadInteger(const std::string& value) {
  // The loose reading of the integer fields (blanks and other characters dropped), keeping the
  // sign: "-12" is -12, not 12.
  const std::string kept = common::KeepNumberChars(value);
  int64_t v = 0;
  const char* b = kept.data();
  const char* e = b + kept.size();
  if (kept.empty()) NotValid(Trim(value), "integer value");
  const auto r = std::from_chars(b, e, v);
  if (r.ec != std::errc() || r.ptr != e) NotValid(Trim(value), "integer value");
  return v;
}

double ReadFloat(const std::string& value, const FormatSettings& settings) {
  const double v = common::StrToFloatLoose(value, settings);
  if (v != 0) return v;
  // StrToFloatLoose gives 0 also for text that is no number: only a written zero is one.
  const std::string t = Trim(value);
  if (t.find('0') == std::string::npos || t.find_first_not_of("0.,+- ") != std::string::npos)
    NotValid(t, "floating point value");
  return 0;
}

Value ReadDateTime(const std::string& t, const FormatSettings& settings) {
  // The date format may hold blanks itself: try each blank as the place the time begins.
  for (size_t sp = t.find(' '); sp != std::string::npos; sp = t.find(' ', sp + 1)) {
    int32_t day, ms;
    if (ParseDateInFormat(t.substr(0, sp), settings.short_date_format, &day) &&
        ParseTimeInFormat(Trim(t.substr(sp + 1)), settings.long_time_format, &ms))
      return Value::DateTime(double(day) * double(kMsPerDay) + ms);
  }
  int32_t day;
  if (ParseDateInFormat(t, settings.short_date_format, &day))
    return Value::DateTime(double(day) * double(kMsPerDay));
  NotValid(t, "date and time");
}

// The value for a field of `type`; null for the types the import leaves unset.
Value ConvertValue(const std::string& value, TFieldType type, const FormatSettings& settings) {
  switch (type) {
    case TFieldType::ftString:
      return Value::Text(Trim(value));
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
      return Value::Int(ReadInteger(value));
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
      return Value::Double(ReadFloat(value, settings));
    case TFieldType::ftDate: {
      const std::string t = Trim(value);
      int32_t day;
      if (!ParseDateInFormat(t, settings.short_date_format, &day)) NotValid(t, "date");
      return Value::Date(day);
    }
    case TFieldType::ftTime: {
      const std::string t = Trim(value);
      int32_t ms;
      if (!ParseTimeInFormat(t, settings.long_time_format, &ms)) NotValid(t, "time");
      return Value::Time(ms);
    }
    case TFieldType::ftDateTime:
      return ReadDateTime(Trim(value), settings);
    case TFieldType::ftBoolean: {
      const std::string t = Trim(value);
      if (common::SameText(t, "True")) return Value::Bool(true);
      if (common::SameText(t, "False")) return Value::Bool(false);
      NotValid(t, "boolean value");
    }
    default:
      return Value::Null();
  }
}

// Records posted with one commit.
constexpr size_t kBatchSize = 1000;

// Refusals of the table for one record: logged, the record dropped, the load goes on.
class RowRefused : public EngineError {
 public:
  using EngineError::EngineError;
};

// Sets the fields of the checked columns of one record. RowRefused for what the table refuses
// in this record; any other error ends the load.
void FillRecord(Cursor& tbl, const ImportRecord& rec, const std::vector<ImportColumn>& columns,
                const FormatSettings& settings) {
  const std::vector<TFieldDef>& defs = tbl.DbFieldDefs();
  for (size_t k = 0; k < columns.size(); ++k) {
    if (!columns[k].checked) continue;
    const std::string& value = k < rec.values.size() ? rec.values[k] : std::string();
    if (Trim(value).empty()) continue;
    const int field = tbl.FieldIndex(columns[k].name);
    const TFieldDef& def = defs[size_t(field)];
    const Value v = ConvertValue(value, def.type, settings);
    if (v.is_null()) continue;
    if (def.type != TFieldType::ftString) {
      tbl.SetValue(field, v);
      continue;
    }
    // A text that does not fit, or one the field cannot hold, is the table refusing this record,
    // not the end of the load. A NUL would silently cut the stored text short.
    if (v.as_string().find('\0') != std::string::npos)
      throw RowRefused("Field " + def.name + ": text holds a NUL character");
    try {
      tbl.SetValue(field, v);
    } catch (const EngineError& e) {
      throw RowRefused(e.what());
    }
  }
}

}  // namespace

void LoadImportText(Session& session, const std::string& table, std::string_view text,
                    const std::vector<ImportColumn>& columns, const FormatSettings& settings,
                    ImportOutcome* outcome,
                    const std::function<void(int64_t done, int64_t total)>& progress) {
  OpenOptions options;
  options.read_only = false;
  std::unique_ptr<Cursor> tbl = session.DbOpenTable(table, options);
  outcome->log.clear();
  outcome->loaded = 0;
  outcome->log.push_back(kLoadStarts);

  const std::vector<ImportRecord> records = SplitImportText(text);
  const int64_t total = records.empty() ? 0 : int64_t(records.size()) - 1;

  // Records are posted in batches (one commit for many), which a failing post undoes as a
  // whole: then the table is opened afresh and the records of the batch that had gone in are
  // posted again, so only the refused one is missing.
  std::vector<size_t> in_batch;  // records posted since the batch began
  int64_t batch_base = tbl->RowCount();
  auto post = [&](const ImportRecord& rec) {
    tbl->Insert();
    FillRecord(*tbl, rec, columns, settings);
    tbl->Post();
  };
  auto reopen = [&] {
    session.DbCloseTable(*tbl);
    tbl = session.DbOpenTable(table, options);
  };
  auto end_batch = [&] {
    tbl->EndBatch();
    in_batch.clear();
    batch_base = tbl->RowCount();
  };
  tbl->BeginBatch();
  for (size_t r = 1; r < records.size(); ++r) {
    const ImportRecord& rec = records[r];
    if (progress) progress(int64_t(r), total);
    ++outcome->loaded;
    auto refused = [&](const char* message) {
      outcome->log.push_back("Sor: " + std::to_string(rec.line) + " Hiba: " + message);
      --outcome->loaded;
    };
    tbl->Insert();
    try {
      FillRecord(*tbl, rec, columns, settings);
    } catch (const RowRefused& e) {
      tbl->Cancel();
      refused(e.what());
      continue;
    } catch (const std::exception& e) {
      tbl->Cancel();
      --outcome->loaded;
      end_batch();  // what went in before this line stays
      throw ImportError(rec.line, e.what());
    }
    try {
      tbl->Post();
      in_batch.push_back(r);
      if (in_batch.size() >= kBatchSize) {
        end_batch();
        tbl->BeginBatch();
      }
      continue;
    } catch (const std::exception& e) {
      refused(e.what());
    }
    tbl->Cancel();
    tbl->EndBatch();  // nothing to do when the failure undid the batch
    reopen();
    const int64_t now = tbl->RowCount();
    if (now == batch_base && !in_batch.empty()) {
      tbl->BeginBatch();
      for (size_t i : in_batch) {
        try {
          post(records[i]);
        } catch (const EngineError& e) {
          tbl->Cancel();
          throw ImportError(records[i].line, e.what());
        }
      }
    } else if (now != batch_base + int64_t(in_batch.size())) {
      throw ImportError(rec.line, "The table changed during the load: " + table);
    }
    end_batch();
    tbl->BeginBatch();
  }
  end_batch();
  outcome->log.push_back(std::string(kLoadDonePrefix) + std::to_string(outcome->loaded) +
                         kLoadDoneSuffix);
  session.DbCloseTable(*tbl);
}

}  // namespace tablorix::exchange
