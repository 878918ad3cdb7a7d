// INSERT statements of a table's rows and the whole-database script.
#include "scripts/core/database_script.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include <sqlite3.h>

#include "common/core/Seged.h"
#include "engine/dataset.h"
#include "scripts/core/create_table_script.h"

namespace tablorix::scripts {

namespace {

void Append2(int v, std::string* out) {
  out->push_back(char('0' + v / 10 % 10));
  out->push_back(char('0' + v % 10));
}

void Append4(int v, std::string* out) {
  if (v < 0 || v > 9999) {
    char b[16];
    std::snprintf(b, sizeof b, "%04d", v);
    out->append(b);
    return;
  }
  Append2(v / 100, out);
  Append2(v % 100, out);
}

// 'mm/dd/yyyy' (engine) or 'yyyy-mm-dd' (MySQL), unquoted.
void AppendDate(int32_t day_number, SqlFlavour flavour, std::string* out) {
  const CivilDate d = CivilFromDayNumber(day_number);
  if (flavour == SqlFlavour::kEngine) {
    Append2(d.month, out);
    out->push_back('/');
    Append2(d.day, out);
    out->push_back('/');
    Append4(d.year, out);
  } else {
    Append4(d.year, out);
    out->push_back('-');
    Append2(d.month, out);
    out->push_back('-');
    Append2(d.day, out);
  }
}

// hh:mm:ss, with .mmm when the engine keeps milliseconds (MySQL's DATETIME holds whole seconds
// and would round them up, possibly into the next day).
void AppendClock(int64_t ms, SqlFlavour flavour, std::string* out) {
  Append2(int(ms / 3600000), out);
  out->push_back(':');
  Append2(int(ms / 60000 % 60), out);
  out->push_back(':');
  Append2(int(ms / 1000 % 60), out);
  if (flavour == SqlFlavour::kEngine && ms % 1000 != 0) {
    out->push_back('.');
    out->push_back(char('0' + ms % 1000 / 100));
    Append2(int(ms % 100), out);
  }
}

// The quoted rule: between single quotes, each one inside doubled. The MySQL flavour also
// escapes backslashes and line breaks. In the engine flavour a ";" is written as CHAR(59)
// joined on, since the SQL window cuts its text at every ";" (quotes or not) before running it.
void AppendQuoted(const std::string& text, SqlFlavour flavour, std::string* out) {
  out->push_back('\'');
  const bool my = flavour == SqlFlavour::kMySql;
  for (char c : text) {
    if (c == '\'') {
      out->append("''");
    } else if (c == ';' && !my) {
      out->append("'||CHAR(59)||'");
    } else if (my && c == '\0') {
      out->append("\\0");  // MySQL's escape for a NUL inside a text
    } else if (my && (c == '\\' || c == '\r' || c == '\n')) {
      out->append(common::EscapeSqlText(std::string_view(&c, 1)));
    } else {
      out->push_back(c);
    }
  }
  out->push_back('\'');
}

// Binary values as hex literals, which both engines read back as bytes.
void AppendHex(const std::string& bytes, std::string* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  out->append("X'");
  for (unsigned char b : bytes) {
    out->push_back(kDigits[b >> 4]);
    out->push_back(kDigits[b & 15]);
  }
  out->push_back('\'');
}

// One non-null value `v` of field `i` of the current row.
void AppendValue(const Dataset& data, int i, const Value& v, SqlFlavour flavour,
                 const FormatSettings& settings, std::string* out) {
  const TFieldType type = data.Field(i).type;
  // Numbers and plain texts straight from the value: the same text as the dataset shows,
  // the number rule applied, without the round trip through the decimal comma.
  const bool plain_separator =
      settings.decimal_separator == ',' || settings.decimal_separator == '.';
  if (plain_separator && type != TFieldType::ftTime) {
    char b[64];
    switch (v.kind()) {
      case Value::Kind::kInt:
        out->append(b, std::to_chars(b, b + sizeof b, v.as_int()).ptr);
        return;
      case Value::Kind::kDouble:
        out->append(b, std::to_chars(b, b + sizeof b, v.as_double()).ptr);
        return;
      case Value::Kind::kBool:
        out->append(v.as_bool() ? "True" : "False");
        return;
      default:
        break;
    }
  }
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo: {
      // A NUL byte (formatted memos hold them) ends the engine's SQL text literal early: there
      // such a text is written as bytes. MySQL escapes it inside the text (bytes would not be
      // valid text for a text column).
      const std::string& text = v.as_string();
      if (flavour == SqlFlavour::kEngine && text.find('\0') != std::string::npos)
        AppendHex(text, out);
      else
        AppendQuoted(text, flavour, out);
      return;
    }
    case TFieldType::ftTime: {
      // The time as the dataset shows it; milliseconds it does not show are kept in the
      // engine flavour.
      std::string text = FormatForDisplay(v, type, settings);
      const int64_t ms = v.as_int() % 1000;
      if (flavour == SqlFlavour::kEngine && ms != 0 && text.find('.') == std::string::npos) {
        text.push_back('.');
        text.push_back(char('0' + ms / 100));
        Append2(int(ms % 100), &text);
      }
      AppendQuoted(text, flavour, out);
      return;
    }
    case TFieldType::ftDate: {
      out->push_back('\'');
      AppendDate(int32_t(v.as_int()), flavour, out);
      out->push_back('\'');
      return;
    }
    case TFieldType::ftDateTime: {
      const double t = v.as_double();
      if (!DateTimeInRange(t)) {
        out->append("null");  // a damaged stored timestamp has no date to write
        return;
      }
      const double day = std::floor(t / double(kMsPerDay));
      out->push_back('\'');
      AppendDate(int32_t(day), flavour, out);
      out->push_back(' ');
      AppendClock(int64_t(t - day * double(kMsPerDay)), flavour, out);
      out->push_back('\'');
      return;
    }
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes:
    case TFieldType::ftBlob:
    case TFieldType::ftGraphic:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftTypedBinary:
      AppendHex(v.as_string(), out);
      return;
    default: {
      // The number rule: the shown text with the decimal comma made a point.
      std::string text = FormatForDisplay(v, type, settings);
      std::replace(text.begin(), text.end(), ',', '.');
      out->append(text);
      return;
    }
  }
}

// MySQL's header names: only the letters A to Z are lower-cased.
std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// The table name as the engine flavour's INSERT lines write it: as listed, in double quotes
// only when it is an SQL keyword (a table named CASE), which the engine's SQL cannot read bare.
std::string InsertTableName(const std::string& table) {
  if (sqlite3_keyword_check(table.data(), int(table.size())) == 0) return table;
  std::string q = "\"";
  for (char c : table) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

void EngineRows(TableDataset& data, const std::string& listed, const FormatSettings& settings,
                std::string* out) {
  const std::string table = InsertTableName(listed);
  const int n = data.FieldCount();
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back(common::LowerCase(data.Field(i).name));
  std::string columns, values;
  for (data.First(); !data.Eof(); data.Next()) {
    columns = "(";
    values = "VALUES (";
    for (int i = 0; i < n; ++i) {
      const Value v = data.AsVariant(i);
      if (v.is_null()) continue;
      columns += names[size_t(i)];
      columns += ',';
      AppendValue(data, i, v, SqlFlavour::kEngine, settings, &values);
      values += ',';
    }
    if (columns.size() == 1) {
      // Every field null: name the first one, so the statement still inserts the row.
      columns += names.empty() ? std::string() : names[0] + ",";
      values += "NULL,";
    }
    columns.pop_back();
    values.pop_back();
    out->append("INSERT INTO ").append(table).append(" ").append(columns).append(")\r\n");
    out->append(values).append(");\r\n");
  }
}

void MySqlRows(TableDataset& data, const std::string& table, const FormatSettings& settings,
               std::string* out) {
  if (data.IsEmpty()) return;
  const int n = data.FieldCount();
  std::string header = "INSERT INTO " + MySqlName(common::LowerCase(table)) + " (";
  for (int i = 0; i < n; ++i) {
    if (i) header += ',';
    header += MySqlName(AsciiLower(data.Field(i).name));
  }
  header += ") VALUES\r\n";
  // Row lines go straight into `out`; a flush only turns the last one's "),"  into ");".
  int64_t counter = 0;
  size_t batch_rows = 0;
  auto flush = [&] {
    (*out)[out->size() - 3] = ';';  // the last row line ends in "),\r\n"
    batch_rows = 0;
  };
  for (data.First(); !data.Eof(); data.Next()) {
    ++counter;
    if (counter % kMySqlBatchRows == 0 && batch_rows > 0) flush();
    if (batch_rows == 0) out->append(header);
    out->push_back('(');
    for (int i = 0; i < n; ++i) {
      if (i) out->push_back(',');
      const Value v = data.AsVariant(i);
      if (v.is_null())
        out->append("null");
      else
        AppendValue(data, i, v, SqlFlavour::kMySql, settings, out);
    }
    out->append("),\r\n");
    ++batch_rows;
  }
  if (batch_rows > 0) flush();
}

}  // namespace

void AppendTableDataScript(Session& session, const std::string& table, SqlFlavour flavour,
                           const FormatSettings& settings, std::string* out) {
  TableDataset data(session.DbOpenTable(table));
  if (flavour == SqlFlavour::kEngine)
    EngineRows(data, table, settings, out);
  else
    MySqlRows(data, table, settings, out);
}

std::string TableDataScript(Session& session, const std::string& table, SqlFlavour flavour,
                            const FormatSettings& settings) {
  std::string s;
  AppendTableDataScript(session, table, flavour, settings, &s);
  return s;
}

std::optional<std::string> DatabaseScript(Session& session, SqlFlavour flavour, bool with_data,
                                          const FormatSettings& settings,
                                          const ScriptProgress& go_on) {
  const std::vector<std::string> tables = session.DbListTables();
  std::string s;
  for (size_t i = 0; i < tables.size(); ++i) {
    if (go_on && !go_on(i, tables.size(), tables[i])) return std::nullopt;
    s += CreateTableScript(session, tables[i], flavour);
    s += "\r\n";
    if (with_data) {
      AppendTableDataScript(session, tables[i], flavour, settings, &s);
      s += "\r\n";
    }
  }
  if (go_on && !go_on(tables.size(), tables.size(), std::string())) return std::nullopt;
  return s;
}

std::string DatabaseScript(Session& session, SqlFlavour flavour, bool with_data,
                           const FormatSettings& settings) {
  return *DatabaseScript(session, flavour, with_data, settings, ScriptProgress());
}

}  // namespace tablorix::scripts
