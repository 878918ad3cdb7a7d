// The SQL session: the SQLite connection, its safety settings, Hungarian-aware text functions,
// and statements with named parameters.
#include "engine/sql/sql_session.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "engine/paradox/codepage.h"
#include "engine/sql/ddl.h"
#include "engine/sql/sql_glue.h"

namespace tablorix {
namespace sql {

std::string ToUtf8(const std::string& text) { return paradox::Win1250ToUtf8(text); }

std::string FromUtf8(const char* text, int n) {
  if (!text) return {};
  return paradox::Utf8ToWin1250(n < 0 ? std::string_view(text) : std::string_view(text, size_t(n)));
}

namespace {

// Case of the letters Windows-1250 holds (Latin-1 and Latin Extended-A in Unicode).
char32_t UpperOf(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c == 0x130 || c == 0x131) return c;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t(1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
  return c;
}

char32_t LowerOf(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if (c == 0x130 || c == 0x131) return c;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
  return c;
}

// Decodes one UTF-8 character at p (< end); malformed bytes stand for themselves.
char32_t Decode(const unsigned char*& p, const unsigned char* end) {
  const unsigned char c = *p++;
  int n = c < 0x80             ? 0
          : (c & 0xE0) == 0xC0 ? 1
          : (c & 0xF0) == 0xE0 ? 2
          : (c & 0xF8) == 0xF0 ? 3
                               : -1;
  if (n <= 0) return c;
  if (end - p < n) return c;
  char32_t u = c & (0x3F >> n);
  for (int i = 0; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return c;
    u = (u << 6) | (p[i] & 0x3F);
  }
  p += n;
  return u;
}

void Encode(char32_t u, std::string* out) {
  if (u < 0x80) {
    out->push_back(char(u));
  } else if (u < 0x800) {
    out->push_back(char(0xC0 | (u >> 6)));
    out->push_back(char(0x80 | (u & 0x3F)));
  } else if (u < 0x10000) {
    out->push_back(char(0xE0 | (u >> 12)));
    out->push_back(char(0x80 | ((u >> 6) & 0x3F)));
    out->push_back(char(0x80 | (u & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (u >> 18)));
    out->push_back(char(0x80 | ((u >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((u >> 6) & 0x3F)));
    out->push_back(char(0x80 | (u & 0x3F)));
  }
}

template <char32_t (*Map)(char32_t)>
void CaseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto* p = sqlite3_value_text(argv[0]);
  const auto* end = p + sqlite3_value_bytes(argv[0]);
  std::string out;
  out.reserve(size_t(end - p));
  while (p < end) Encode(Map(Decode(p, end)), &out);
  sqlite3_result_text64(ctx, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Weight of a letter in the Hungarian alphabet, case folded: accented vowels sort with their
// base letter (a = á), ö/ő after o and ü/ű after u; other letters by their upper case.
uint32_t Primary(char32_t upper) {
  switch (upper) {
    case 0xC1:
      return 'A' * 2;
    case 0xC9:
      return 'E' * 2;
    case 0xCD:
      return 'I' * 2;
    case 0xD3:
      return 'O' * 2;
    case 0xD6:
    case 0x150:
      return 'O' * 2 + 1;
    case 0xDA:
      return 'U' * 2;
    case 0xDC:
    case 0x170:
      return 'U' * 2 + 1;
    default:
      return uint32_t(upper) * 2;
  }
}

// NOCASE for UTF-8 text: letters compare without case by the Hungarian alphabet, then by
// accent (a before á), so only texts that differ in case alone are equal.
int NoCase(void*, int n1, const void* s1, int n2, const void* s2) {
  auto weights = [](const void* s, int n, std::vector<uint32_t>* primary,
                    std::vector<uint32_t>* secondary) {
    const auto* p = static_cast<const unsigned char*>(s);
    const auto* end = p + n;
    while (p < end) {
      const char32_t u = UpperOf(Decode(p, end));
      primary->push_back(Primary(u));
      secondary->push_back(uint32_t(u));
    }
  };
  std::vector<uint32_t> p1, q1, p2, q2;
  weights(s1, n1, &p1, &q1);
  weights(s2, n2, &p2, &q2);
  if (p1 != p2) return p1 < p2 ? -1 : 1;
  if (q1 != q2) return q1 < q2 ? -1 : 1;
  return 0;
}

int Authorize(void* data, int action, const char*, const char* name, const char*, const char*) {
  auto* conn = static_cast<Connection*>(data);
  if (conn->internal) return SQLITE_OK;
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
      conn->refusal =
          "ATTACH and DETACH are not allowed: SQL works on the tables of the open directory only";
      return SQLITE_DENY;
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE:
      conn->refusal = "The tables of the directory cannot be created or dropped this way";
      return SQLITE_DENY;
    case SQLITE_FUNCTION:
      if (name && strcasecmp(name, "load_extension") == 0) {
        conn->refusal = "Loading extensions is not allowed";
        return SQLITE_DENY;
      }
      return SQLITE_OK;
    default:
      return SQLITE_OK;
  }
}

// SQLite's message of the last failure (Windows-1250), with the line SQLite points at.
std::string ErrorText(Connection& conn, const std::string& utf8) {
  std::string message = sqlite3_errmsg(conn.db);
  const int offset = sqlite3_error_offset(conn.db);
  if (!conn.refusal.empty()) message = conn.refusal;
  std::string out = FromUtf8(message.data(), int(message.size()));
  if (offset >= 0 && size_t(offset) <= utf8.size()) {
    const auto line = 1 + std::count(utf8.begin(), utf8.begin() + offset, '\n');
    out += "\nLine Number: " + std::to_string(line);
  }
  return out;
}

void Exec(Connection& conn, const std::string& utf8) {
  char* err = nullptr;
  if (sqlite3_exec(conn.db, utf8.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string message = err ? err : "SQL error";
    sqlite3_free(err);
    throw EngineError(FromUtf8(message.data(), int(message.size())));
  }
}

std::string QuotedName(const std::string& utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + "\"";
}

bool IdentChar(unsigned char c) { return c >= 0x80 || std::isalnum(c) || c == '_' || c == '$'; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// SQLite reads a bare `name.db` as table "db" of schema "name": where `name` is a table of the
// directory, that becomes the quoted "name.db". Literals, quoted names and comments are skipped.
// (A table's alias that is itself a table name, followed by a column DB, would be misread.)
std::string QuoteDbSuffixes(const std::string& text, const std::vector<std::string>& tables) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto skip_to = [&](size_t end) {
    out.append(text, i, end - i);
    i = end;
  };
  while (i < n) {
    const unsigned char c = uint8_t(text[i]);
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : char(c);
      size_t j = i + 1;
      while (j < n) {
        if (text[j] == close) {
          if (close != ']' && j + 1 < n && text[j + 1] == close) {
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        ++j;
      }
      skip_to(std::min(j, n));
    } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
      const size_t e = text.find('\n', i);
      skip_to(e == std::string::npos ? n : e);
    } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      const size_t e = text.find("*/", i + 2);
      skip_to(e == std::string::npos ? n : e + 2);
    } else if (IdentChar(c) && !std::isdigit(c)) {
      size_t j = i;
      while (j < n && IdentChar(uint8_t(text[j]))) ++j;
      const std::string_view word(text.data() + i, j - i);
      const bool suffix = j + 2 < n && text[j] == '.' &&
                          (text[j + 1] == 'd' || text[j + 1] == 'D') &&
                          (text[j + 2] == 'b' || text[j + 2] == 'B') &&
                          (j + 3 == n || !IdentChar(uint8_t(text[j + 3])));
      const bool preceded = i > 0 && text[i - 1] == '.';
      bool known = false;
      for (size_t t = 0; suffix && !preceded && !known && t < tables.size(); ++t)
        known = SameName(word, ToUtf8(tables[t]));
      if (known) {
        out += QuotedName(std::string(word) + text.substr(j, 3));
        i = j + 3;
      } else {
        skip_to(j);
      }
    } else {
      skip_to(i + 1);
    }
  }
  return out;
}

}  // namespace

void RegisterTextFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  sqlite3_create_function(db, "upper", 1, flags, nullptr, CaseFunction<UpperOf>, nullptr, nullptr);
  sqlite3_create_function(db, "lower", 1, flags, nullptr, CaseFunction<LowerOf>, nullptr, nullptr);
  sqlite3_create_collation(db, "NOCASE", SQLITE_UTF8, nullptr, NoCase);
}

void RefreshTables(Connection& c) {
  c.internal = true;
  try {
    for (const std::string& name : c.tables) {
      const std::string q = QuotedName(ToUtf8(name));
      const std::string qdb = QuotedName(ToUtf8(name + ".DB"));
      Exec(c, "DROP TABLE IF EXISTS temp." + q + "; DROP TABLE IF EXISTS temp." + qdb);
    }
    c.tables = c.session->DbListTables();
    c.fields.assign(c.tables.size(), {});
    for (size_t i = 0; i < c.tables.size(); ++i) {
      const std::string arg = " USING tablorix(" + std::to_string(i) + ")";
      // A table that cannot be opened (damaged, encrypted) is left out; using it says
      // "no such table".
      try {
        Exec(c, "CREATE VIRTUAL TABLE temp." + QuotedName(ToUtf8(c.tables[i])) + arg);
        Exec(c, "CREATE VIRTUAL TABLE temp." + QuotedName(ToUtf8(c.tables[i] + ".DB")) + arg);
      } catch (const EngineError&) {
      }
    }
  } catch (...) {
    c.internal = false;
    throw;
  }
  c.internal = false;
}

// Runs a data definition statement; the virtual tables are made again afterwards, also after a
// failure (the statement may have changed the directory before it failed).
void RunDdl(StatementHandle& h) {
  try {
    RunDdl(*h.ddl, *h.conn->session);
  } catch (...) {
    try {
      RefreshTables(*h.conn);
    } catch (...) {
    }
    throw;
  }
  RefreshTables(*h.conn);
}

}  // namespace sql

// --- SqlResult ---

SqlResult::SqlResult(std::shared_ptr<sql::StatementHandle> h) : h_(std::move(h)) {
  if (!h_->stmt) {
    done_ = true;
    return;
  }
  const int n = sqlite3_column_count(h_->stmt);
  for (int i = 0; i < n; ++i) names_.push_back(sql::FromUtf8(sqlite3_column_name(h_->stmt, i), -1));
}

SqlResult::~SqlResult() = default;

bool SqlResult::Next() {
  row_.clear();
  if (done_) return false;
  sqlite3_stmt* st = h_->stmt;
  const int rc = sqlite3_step(st);
  if (rc == SQLITE_DONE) {
    done_ = true;
    sqlite3_reset(st);
    return false;
  }
  if (rc != SQLITE_ROW) {
    done_ = true;
    std::string message = sql::ErrorText(*h_->conn, h_->utf8);
    sqlite3_reset(st);
    throw EngineError(message);
  }
  const int n = sqlite3_column_count(st);
  row_.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    switch (sqlite3_column_type(st, i)) {
      case SQLITE_NULL:
        row_.push_back(Value::Null());
        break;
      case SQLITE_INTEGER:
        row_.push_back(Value::Int(sqlite3_column_int64(st, i)));
        break;
      case SQLITE_FLOAT:
        row_.push_back(Value::Double(sqlite3_column_double(st, i)));
        break;
      case SQLITE_BLOB: {
        const char* p = static_cast<const char*>(sqlite3_column_blob(st, i));
        row_.push_back(Value::Bytes(std::string(p ? p : "", size_t(sqlite3_column_bytes(st, i)))));
        break;
      }
      default: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        row_.push_back(Value::Text(sql::FromUtf8(p, sqlite3_column_bytes(st, i))));
        break;
      }
    }
  }
  return true;
}

bool SqlResult::SourceField(int i, TFieldDef* field) const {
  if (!h_->stmt || i < 0 || i >= int(names_.size())) return false;
  const char* table = sqlite3_column_table_name(h_->stmt, i);
  const char* column = sqlite3_column_origin_name(h_->stmt, i);
  if (!table || !column) return false;
  std::string name = sql::FromUtf8(table, -1);
  if (name.size() > 3 && sql::SameName(std::string_view(name).substr(name.size() - 3), ".DB"))
    name.resize(name.size() - 3);
  const std::string wanted = sql::FromUtf8(column, -1);
  const sql::Connection& c = *h_->conn;
  for (size_t t = 0; t < c.tables.size() && t < c.fields.size(); ++t) {
    if (!sql::SameName(c.tables[t], name)) continue;
    for (const TFieldDef& f : c.fields[t]) {
      if (sql::SameName(f.name, wanted)) {
        *field = f;
        return true;
      }
    }
  }
  return false;
}

// --- SqlStatement ---

SqlStatement::SqlStatement(std::shared_ptr<sql::StatementHandle> h) : h_(std::move(h)) {
  if (!h_->stmt) return;
  const int n = sqlite3_bind_parameter_count(h_->stmt);
  for (int i = 1; i <= n; ++i) {
    const char* name = sqlite3_bind_parameter_name(h_->stmt, i);
    std::string text = name ? sql::FromUtf8(name + 1, -1) : std::string();
    params_.push_back(std::move(text));
  }
}

SqlStatement::~SqlStatement() = default;

void SqlStatement::SetParam(const std::string& name, const Value& value) {
  std::string bare = name.empty() || name[0] != ':' ? name : name.substr(1);
  int index = 0;
  for (size_t i = 0; i < params_.size() && index == 0; ++i)
    if (params_[i].size() == bare.size() &&
        strncasecmp(params_[i].c_str(), bare.c_str(), bare.size()) == 0)
      index = int(i) + 1;
  if (index == 0) throw EngineError("Parameter not found: " + bare);
  sqlite3_stmt* st = h_->stmt;
  sqlite3_reset(st);
  std::string text;
  int rc = SQLITE_OK;
  switch (value.kind()) {
    case Value::Kind::kNull:
      rc = sqlite3_bind_null(st, index);
      break;
    case Value::Kind::kInt:
      rc = sqlite3_bind_int64(st, index, value.as_int());
      break;
    case Value::Kind::kBool:
      rc = sqlite3_bind_int(st, index, value.as_bool() ? 1 : 0);
      break;
    case Value::Kind::kDouble:
      rc = sqlite3_bind_double(st, index, value.as_double());
      break;
    case Value::Kind::kBytes:
      rc = sqlite3_bind_blob64(st, index, value.as_string().data(), value.as_string().size(),
                               SQLITE_TRANSIENT);
      break;
    case Value::Kind::kText:
      text = sql::ToUtf8(value.as_string());
      break;
    case Value::Kind::kDate:
      AppendIsoDate(int32_t(value.as_int()), &text);
      break;
    case Value::Kind::kTime:
      AppendIsoTime(value.as_int(), &text);
      break;
    case Value::Kind::kDateTime:
      AppendIsoDateTime(value.as_double(), &text);
      break;
  }
  const Value::Kind k = value.kind();
  if (k == Value::Kind::kText || k == Value::Kind::kDate || k == Value::Kind::kTime ||
      k == Value::Kind::kDateTime)
    rc = sqlite3_bind_text64(st, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) throw EngineError(sql::ErrorText(*h_->conn, h_->utf8));
}

std::unique_ptr<SqlResult> SqlStatement::Query() {
  if (h_->ddl) sql::RunDdl(*h_);
  if (h_->stmt) sqlite3_reset(h_->stmt);
  return std::make_unique<SqlResult>(h_);
}

int64_t SqlStatement::Exec() {
  if (h_->ddl) {
    sql::RunDdl(*h_);
    return 0;
  }
  sqlite3_stmt* st = h_->stmt;
  if (!st) return 0;
  sqlite3_reset(st);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    std::string message = sql::ErrorText(*h_->conn, h_->utf8);
    sqlite3_reset(st);
    throw EngineError(message);
  }
  sqlite3_reset(st);
  return sqlite3_stmt_readonly(st) ? 0 : sqlite3_changes64(h_->conn->db);
}

// --- SqlSession ---

SqlSession::SqlSession(Session& session) : conn_(std::make_shared<sql::Connection>()) {
  conn_->session = &session;
  if (sqlite3_open(":memory:", &conn_->db) != SQLITE_OK)
    throw EngineError("Cannot open the SQL engine");
  sqlite3* db = conn_->db;
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);  // also stops VACUUM INTO a file
  sql::RegisterTextFunctions(db);
  sql::RegisterModule(conn_.get());
  sqlite3_set_authorizer(db, sql::Authorize, conn_.get());
  Refresh();
}

SqlSession::~SqlSession() = default;

void SqlSession::Refresh() { sql::RefreshTables(*conn_); }

std::unique_ptr<SqlStatement> SqlSession::Prepare(const std::string& sql_text) {
  auto h = std::make_shared<sql::StatementHandle>();
  h->conn = conn_;
  if (sql::IsDdl(sql_text)) {
    h->ddl = sql::ParseDdl(sql_text);
    return std::make_unique<SqlStatement>(std::move(h));
  }
  h->utf8 = sql::QuoteDbSuffixes(sql::ToUtf8(sql_text), conn_->tables);
  conn_->refusal.clear();
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(conn_->db, h->utf8.c_str(), int(h->utf8.size()), &h->stmt, &tail) !=
      SQLITE_OK)
    throw EngineError(sql::ErrorText(*conn_, h->utf8));
  if (tail && *tail) {
    sqlite3_stmt* more = nullptr;
    const int rc = sqlite3_prepare_v2(conn_->db, tail, -1, &more, nullptr);
    if (more) sqlite3_finalize(more);
    if (rc != SQLITE_OK || more) throw EngineError("Only one statement can be run at a time");
  }
  return std::make_unique<SqlStatement>(std::move(h));
}

}  // namespace tablorix
