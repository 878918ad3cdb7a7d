// Running the text of an SQL window: the kind test, the cut at ";", parameters, messages.
#include "workspace/core/run_sql.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "engine/sql/db_query.h"

namespace tablorix::workspace {
namespace {

bool Blank(unsigned char c) { return c <= ' '; }

// "SQL futtatása kész" in Windows-1250.
const std::string kDone = "SQL futtat\xE1sa k\xE9sz";

}  // namespace

// A message without a line number leaves the caption as it was.
void ReportSqlError(RunSqlHost& host, const std::string& message) {
  host.ShowError("SQL error:\r\n" + message);
  if (message.find(kLineMarker) == std::string::npos) return;
  int line = 0;
  try {
    line = ErrorLineNumber(message, kLineMarker);
  } catch (const EngineError&) {
    return;
  }
  host.SetCaption(std::to_string(line));
}

std::string TrimText(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && Blank(uint8_t(text[b]))) ++b;
  while (e > b && Blank(uint8_t(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

bool IsSelectText(const std::string& text) {
  const std::string t = TrimText(text);
  if (t.size() < 6) return false;
  static const char kSelect[] = "SELECT";
  for (int i = 0; i < 6; ++i)
    if (std::toupper(uint8_t(t[size_t(i)])) != kSelect[i]) return false;
  return true;
}

std::vector<std::string> CutStatements(const std::string& text, std::string* rest) {
  std::vector<std::string> out;
  std::string buffer;
  for (char ch : text) {
    if (ch == ';') {
      out.push_back(std::move(buffer));
      buffer.clear();
    } else {
      buffer.push_back(ch);
    }
  }
  if (rest) *rest = std::move(buffer);
  return out;
}

int ErrorLineNumber(const std::string& message, const std::string& marker) {
  const size_t at = message.find(marker);
  std::string t = at == std::string::npos ? message : message.substr(at);
  t = t.size() > 13 ? t.substr(13) : std::string();
  t = TrimText(t);
  errno = 0;
  char* end = nullptr;
  const long v = t.empty() ? 0 : std::strtol(t.c_str(), &end, 10);
  if (t.empty() || *end != '\0' || errno == ERANGE || v > INT_MAX || v < INT_MIN)
    throw EngineError("'" + t + "' is not a valid integer value");
  return int(v);
}

bool IsEmptyStatement(const std::string& s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    if (Blank(uint8_t(s[i]))) {
      ++i;
    } else if (s.compare(i, 2, "--") == 0) {
      const size_t e = s.find('\n', i);
      i = e == std::string::npos ? n : e + 1;
    } else if (s.compare(i, 2, "/*") == 0) {
      const size_t e = s.find("*/", i + 2);
      if (e == std::string::npos) return false;  // an open comment: let the engine say so
      i = e + 2;
    } else {
      return false;
    }
  }
  return true;
}

void RunSql(SqlSession& sql, const std::string& text, RunSqlHost& host) {
  if (IsSelectText(text)) {
    try {
      auto st = DbPrepareQuery(sql, text);
      if (!st->param_names().empty())
        throw EngineError("No value given for the parameter " + st->param_names().front());
      host.OpenResult(std::move(st));
    } catch (const EngineError& e) {
      ReportSqlError(host, e.what());
    }
    return;
  }
  int64_t rows = 0;
  for (const std::string& statement : CutStatements(text)) {
    try {
      rows = RunStatement(sql, statement, host);
    } catch (const EngineError& e) {
      ReportSqlError(host, e.what());
      return;
    }
  }
  host.ShowInfo(DoneMessage(rows));
  host.RefreshLists();
}

int64_t RunStatement(SqlSession& sql, const std::string& statement, RunSqlHost& host) {
  if (IsEmptyStatement(statement)) throw EngineError("Empty statement: nothing to run");
  auto st = DbPrepareQuery(sql, statement);
  // Each parameter is an integer input parameter given the prompt's text (empty after Cancel).
  for (const std::string& name : st->param_names()) {
    std::string value;
    host.InputText(kParamCaption, name, &value);
    DbSetParam(*st, name, TParamType::ptInput, TFieldType::ftInteger, value);
  }
  return DbExecQuery(*st);
}

std::string DoneMessage(int64_t rows) {
  return rows != 0 ? kDone + ", " + std::to_string(rows) + " sor." : kDone + ".";
}

}  // namespace tablorix::workspace
