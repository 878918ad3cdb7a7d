// tablorix-cli sql: a SELECT prints its rows (aligned text, CSV or JSON lines), other statements
// report the rows they changed, a script file is cut at ";" like the SQL window cuts it.
#include "cli/sql_command.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/paradox/codepage.h"
#include "engine/sql/sql_session.h"
#include "workspace/core/run_sql.h"

namespace tablorix::cli {
namespace {

enum class Format { kText, kCsv, kJsonl };

std::string U(const std::string& win1250) { return paradox::Win1250ToUtf8(win1250); }

size_t Width(const std::string& utf8) {
  size_t n = 0;
  for (char ch : utf8) n += (uint8_t(ch) & 0xC0) != 0x80;
  return n;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : bytes) {
    out += kDigits[uint8_t(ch) >> 4];
    out += kDigits[uint8_t(ch) & 15];
  }
  return out;
}

std::string Cell(const Value& v) {
  if (v.kind() == Value::Kind::kBytes) return Hex(v.as_string());
  return U(FormatValue(v));
}

std::string CsvField(const std::string& t) {
  if (t.find_first_of(",\"\r\n") == std::string::npos) return t;
  std::string out = "\"";
  for (char ch : t) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + "\"";
}

std::string JsonValue(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull:
      return "null";
    case Value::Kind::kInt:
    case Value::Kind::kDouble:
      return FormatValue(v);
    case Value::Kind::kBool:
      return v.as_bool() ? "true" : "false";
    default:
      return JsonString(Cell(v));
  }
}

// Prints the rows of a SELECT; the host reports errors of the steps.
void PrintRows(SqlStatement& st, Format format) {
  auto r = st.Query();
  std::vector<std::string> names;
  for (const auto& n : r->column_names()) names.push_back(U(n));
  if (format == Format::kCsv) {
    std::string line;
    for (size_t i = 0; i < names.size(); ++i) line += (i ? "," : "") + CsvField(names[i]);
    std::printf("%s\n", line.c_str());
    while (r->Next()) {
      line.clear();
      for (size_t i = 0; i < r->row().size(); ++i)
        line += (i ? "," : "") + CsvField(Cell(r->row()[i]));
      std::printf("%s\n", line.c_str());
    }
    return;
  }
  if (format == Format::kJsonl) {
    while (r->Next()) {
      std::string line = "{";
      for (size_t i = 0; i < r->row().size(); ++i)
        line += (i ? "," : "") + JsonString(names[i]) + ":" + JsonValue(r->row()[i]);
      std::printf("%s}\n", line.c_str());
    }
    return;
  }
  // Aligned text: column widths from the first rows, later rows printed as they come.
  constexpr size_t kMeasured = 1000;
  std::vector<std::vector<std::string>> head;
  bool more = true;
  while (head.size() < kMeasured && (more = r->Next())) {
    std::vector<std::string> cells;
    for (const Value& v : r->row()) cells.push_back(Cell(v));
    head.push_back(std::move(cells));
  }
  std::vector<size_t> widths;
  for (const auto& n : names) widths.push_back(Width(n));
  for (const auto& row : head)
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], std::min<size_t>(Width(row[i]), 60));
  auto print = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      std::string c = cells[i];
      for (char& ch : c)
        if (ch == '\r' || ch == '\n' || ch == '\t') ch = ' ';
      line += (i ? " | " : "") + c;
      if (i + 1 < cells.size() && Width(c) < widths[i]) line.append(widths[i] - Width(c), ' ');
    }
    std::printf("%s\n", line.c_str());
  };
  print(names);
  std::string rule;
  for (size_t i = 0; i < widths.size(); ++i) rule += (i ? "-+-" : "") + std::string(widths[i], '-');
  std::printf("%s\n", rule.c_str());
  size_t count = 0;
  for (const auto& row : head) print(row), ++count;
  while (more && r->Next()) {
    std::vector<std::string> cells;
    for (const Value& v : r->row()) cells.push_back(Cell(v));
    print(cells);
    ++count;
  }
  std::printf("(%zu %s)\n", count, count == 1 ? "row" : "rows");
}

// The SQL window's part played on a terminal: parameters come from --param, messages go to
// stdout, errors to stderr.
class CliHost : public workspace::RunSqlHost {
 public:
  CliHost(Format format, std::map<std::string, std::string> params)
      : format_(format), params_(std::move(params)) {}
  bool failed = false;

  bool InputText(const std::string&, const std::string& prompt, std::string* value) override {
    std::string key = U(prompt);
    for (char& ch : key) ch = char(std::toupper(uint8_t(ch)));
    auto it = params_.find(key);
    if (it == params_.end()) {
      std::fprintf(stderr, "tablorix-cli: no --param given for %s\n", U(prompt).c_str());
      return false;
    }
    *value = paradox::Utf8ToWin1250(it->second);
    return true;
  }
  void ShowError(const std::string& text) override {
    failed = true;
    std::string t = U(text);
    for (size_t at; (at = t.find("\r\n")) != std::string::npos;) t.erase(at, 1);
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  void ShowInfo(const std::string& text) override { std::printf("%s\n", U(text).c_str()); }
  void SetCaption(const std::string& text) override {
    std::fprintf(stderr, "Line: %s\n", U(text).c_str());
  }
  void OpenResult(std::unique_ptr<SqlStatement> st) override { PrintRows(*st, format_); }
  void RefreshLists() override {}

 private:
  Format format_;
  std::map<std::string, std::string> params_;
};

int Usage() {
  std::fputs(
      "usage: tablorix-cli sql DIR \"STATEMENT\" [--format=text|csv|jsonl] [--param "
      "NAME=VALUE]...\n"
      "       tablorix-cli sql DIR -f FILE [--format=text|csv|jsonl] [--param NAME=VALUE]...\n"
      "\n"
      "A STATEMENT runs as it stands. A FILE runs as the SQL window runs its text: a SELECT\n"
      "prints its rows; anything else is cut at every \";\" and each statement runs in turn\n"
      "(what follows the last \";\" is not run). Parameters (:NAME) are integers.\n",
      stderr);
  return 2;
}

}  // namespace

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    const unsigned char c = uint8_t(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      out += b;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

int CmdSql(Session& session, const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  Format format = Format::kText;
  std::map<std::string, std::string> params;
  std::string text, file;
  bool have_text = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format=text") {
      format = Format::kText;
    } else if (a == "--format=csv") {
      format = Format::kCsv;
    } else if (a == "--format=jsonl") {
      format = Format::kJsonl;
    } else if (a == "--param" && i + 1 < args.size()) {
      const std::string& p = args[++i];
      const size_t eq = p.find('=');
      if (eq == std::string::npos || eq == 0) return Usage();
      std::string key = p.substr(0, eq);
      if (!key.empty() && key[0] == ':') key.erase(0, 1);
      for (char& ch : key) ch = char(std::toupper(uint8_t(ch)));
      params[key] = p.substr(eq + 1);
    } else if (a == "-f" && i + 1 < args.size() && file.empty() && !have_text) {
      file = args[++i];
    } else if (!have_text && file.empty() && (a.empty() || a[0] != '-')) {
      text = a;
      have_text = true;
    } else {
      return Usage();
    }
  }
  if (!have_text && file.empty()) return Usage();
  if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "tablorix-cli: cannot read %s\n", file.c_str());
      return 1;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    text = buf.str();
  }
  // Scripts are read as UTF-8, as the terminal gives statements.
  const std::string sql_text = paradox::Utf8ToWin1250(text);
  SqlSession sql(session);
  CliHost host(format, std::move(params));
  if (!file.empty() || workspace::IsSelectText(sql_text)) {
    workspace::RunSql(sql, sql_text, host);
  } else {
    try {
      host.ShowInfo(workspace::DoneMessage(workspace::RunStatement(sql, sql_text, host)));
    } catch (const EngineError& e) {
      workspace::ReportSqlError(host, e.what());
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tablorix-cli: write error\n");
    return 1;
  }
  return host.failed ? 1 : 0;
}

}  // namespace tablorix::cli
