// The virtual-table module: each table of the open directory seen by SQLite, read through the
// engine's cursors and changed through a writable cursor.
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/paradox/table_file.h"
#include "engine/sql/sql_glue.h"
#include "engine/value.h"

namespace tablorix::sql {
namespace {

bool IsNumeric(TFieldType t) {
  switch (t) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
    case TFieldType::ftAutoInc:
      return true;
    default:
      return false;
  }
}

// Types whose key order is the order SQLite gives their column values (numbers, ISO text of
// dates and times). Alpha keys follow the table's sort order, which is not SQLite's.
bool KeyOrderMatches(TFieldType t) {
  return IsNumeric(t) || t == TFieldType::ftDate || t == TFieldType::ftTime ||
         t == TFieldType::ftDateTime;
}

bool IsBinary(TFieldType t) {
  switch (t) {
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes:
    case TFieldType::ftBlob:
    case TFieldType::ftGraphic:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftTypedBinary:
      return true;
    default:
      return false;
  }
}

const char* DeclaredType(TFieldType t) {
  if (IsNumeric(t)) {
    return (t == TFieldType::ftFloat || t == TFieldType::ftCurrency || t == TFieldType::ftBCD)
               ? "REAL"
               : "INTEGER";
  }
  if (t == TFieldType::ftBoolean) return "INTEGER";
  if (IsBinary(t)) return "BLOB";
  return "TEXT";
}

std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + "\"";
}

// A first key of each non-empty block, in chain order.
struct BlockStart {
  int block = 0;
  int64_t recno = 0;
  double first = 0;
};

// What the table file looked like when a block directory was made: a directory is used again
// only while the file is unchanged.
struct FileStamp {
  uint32_t records = 0;
  uint16_t used_blocks = 0, file_blocks = 0, first_block = 0, last_block = 0;
  int64_t mtime_ns = -1;
  bool operator==(const FileStamp&) const = default;
};

using Directory = std::vector<BlockStart>;

struct Table : sqlite3_vtab {
  Connection* conn = nullptr;
  std::string name;  // Windows-1250
  std::vector<TFieldDef> fields;
  int key_fields = 0;
  int64_t rows = 0;
  // Row identities by rowid - 1: key values of keyed tables, all values of unkeyed ones.
  std::vector<std::vector<Value>> identities;
  std::unique_ptr<Cursor> writer;
  // The block directory of the last keyed search, kept across statements.
  std::shared_ptr<const Directory> dir;
  FileStamp dir_stamp;
};

struct Scan : sqlite3_vtab_cursor {
  std::unique_ptr<Cursor> c;
  bool eof = true;
  bool has_upper = false;
  bool upper_strict = false;
  double upper = 0;
  std::shared_ptr<const Directory> dir;  // the one this cursor searches
};

Table* TableOf(sqlite3_vtab* vt) { return static_cast<Table*>(vt); }
Scan* ScanOf(sqlite3_vtab_cursor* cur) { return static_cast<Scan*>(cur); }

void SetError(sqlite3_vtab* vt, const std::string& message) {
  sqlite3_free(vt->zErrMsg);
  vt->zErrMsg = sqlite3_mprintf("%s", ToUtf8(message).c_str());
}

// Runs f for a callback of table vt, turning an exception into vt's error message.
template <class F>
int Run(sqlite3_vtab* vt, F&& f) noexcept {
  std::string message;
  int rc = Guarded(&message, f);
  if (rc != SQLITE_OK && !message.empty()) SetError(vt, message);
  return rc;
}

double KeyOf(const Cursor& c) {
  Value v = c.AsVariant(0);
  switch (v.kind()) {
    case Value::Kind::kInt:
      return double(v.as_int());
    case Value::Kind::kDouble:
      return v.as_double();
    default:
      return -std::numeric_limits<double>::infinity();  // blank keys come first
  }
}

void ResultValue(sqlite3_context* ctx, const Value& v) {
  std::string text;
  switch (v.kind()) {
    case Value::Kind::kNull:
      sqlite3_result_null(ctx);
      return;
    case Value::Kind::kInt:
      sqlite3_result_int64(ctx, v.as_int());
      return;
    case Value::Kind::kDouble:
      sqlite3_result_double(ctx, v.as_double());
      return;
    case Value::Kind::kBool:
      sqlite3_result_int(ctx, v.as_bool() ? 1 : 0);
      return;
    case Value::Kind::kText:
      text = ToUtf8(v.as_string());
      break;
    case Value::Kind::kDate:
      AppendIsoDate(int32_t(v.as_int()), &text);
      break;
    case Value::Kind::kTime:
      AppendIsoTime(v.as_int(), &text);
      break;
    case Value::Kind::kDateTime:
      if (!DateTimeInRange(v.as_double())) {
        sqlite3_result_null(ctx);
        return;
      }
      AppendIsoDateTime(v.as_double(), &text);
      break;
    case Value::Kind::kBytes:
      sqlite3_result_blob64(ctx, v.as_string().data(), v.as_string().size(), SQLITE_TRANSIENT);
      return;
  }
  sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// A value SQLite hands over for field f, in the form the cursor takes.
Value FieldValue(sqlite3_value* v, const TFieldDef& f) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER: {
      const int64_t i = sqlite3_value_int64(v);
      if (f.type == TFieldType::ftBoolean) return Value::Bool(i != 0);
      if (f.type == TFieldType::ftFloat || f.type == TFieldType::ftCurrency ||
          f.type == TFieldType::ftBCD)
        return Value::Double(double(i));
      if (IsNumeric(f.type)) return Value::Int(i);
      return Value::Text(std::to_string(i));
    }
    case SQLITE_FLOAT: {
      const double d = sqlite3_value_double(v);
      if (f.type == TFieldType::ftBoolean) return Value::Bool(d != 0);
      if (IsNumeric(f.type) && !(f.type == TFieldType::ftFloat ||
                                 f.type == TFieldType::ftCurrency || f.type == TFieldType::ftBCD)) {
        if (d == std::floor(d) && std::fabs(d) < 9.2e18) return Value::Int(int64_t(d));
      }
      if (IsNumeric(f.type)) return Value::Double(d);
      const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
      return Value::Text(t ? t : "");
    }
    case SQLITE_BLOB: {
      const char* p = static_cast<const char*>(sqlite3_value_blob(v));
      std::string bytes(p ? p : "", size_t(sqlite3_value_bytes(v)));
      return IsBinary(f.type) ? Value::Bytes(std::move(bytes)) : Value::Text(std::move(bytes));
    }
    default: {
      const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
      const int n = sqlite3_value_bytes(v);
      if (IsBinary(f.type)) return Value::Bytes(std::string(t ? t : "", size_t(n)));
      return Value::Text(FromUtf8(t, n));
    }
  }
}

std::vector<Value> IdentityOf(const Table& t, const Cursor& c) {
  const int n = t.key_fields > 0 ? t.key_fields : int(t.fields.size());
  std::vector<Value> id;
  id.reserve(size_t(n));
  for (int i = 0; i < n; ++i) id.push_back(c.AsVariant(i));
  return id;
}

// Positions the writer on the row named by rowid.
void Locate(Table& t, sqlite3_int64 rowid) {
  if (rowid < 1 || size_t(rowid) > t.identities.size())
    throw EngineError("The row to change is no longer known in " + t.name);
  const std::vector<Value>& id = t.identities[size_t(rowid - 1)];
  Cursor& w = *t.writer;
  for (w.First(); !w.Eof(); w.Next()) {
    bool same = true;
    for (size_t i = 0; i < id.size() && same; ++i) same = w.AsVariant(int(i)) == id[i];
    if (same) return;
  }
  throw EngineError("The row to change was not found in " + t.name +
                    " (another user changed or deleted it)");
}

void CloseWriter(Table& t) {
  t.identities.clear();
  if (t.writer) {
    std::unique_ptr<Cursor> w = std::move(t.writer);
    if (w->state() != Cursor::State::kBrowse) w->Cancel();
  }
}

int Create(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
           char** err) {
  auto* conn = static_cast<Connection*>(aux);
  std::string message;
  auto table = std::make_unique<Table>();
  int rc = Guarded(&message, [&] {
    if (argc < 4) throw EngineError("Missing table argument");
    const size_t index = size_t(std::stoul(argv[3]));
    if (index >= conn->tables.size()) throw EngineError("Unknown table");
    table->conn = conn;
    table->name = conn->tables[index];
    auto c = conn->session->DbOpenTable(table->name);
    table->fields = c->DbFieldDefs();
    const auto& header = c->table_file().header();
    table->key_fields = header.keyed() ? header.key_fields : 0;
    table->rows = c->RowCount();
    c.reset();
    std::string ddl = "CREATE TABLE x(";
    for (size_t i = 0; i < table->fields.size(); ++i) {
      if (i) ddl += ", ";
      ddl += Quoted(ToUtf8(table->fields[i].name));
      ddl += ' ';
      ddl += DeclaredType(table->fields[i].type);
    }
    ddl += ")";
    int r = sqlite3_declare_vtab(db, ddl.c_str());
    if (r != SQLITE_OK) throw EngineError(FromUtf8(sqlite3_errmsg(db), -1));
    return SQLITE_OK;
  });
  if (rc != SQLITE_OK) {
    *err = sqlite3_mprintf("%s", ToUtf8(message).c_str());
    return rc;
  }
  *out = table.release();
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vt) {
  delete TableOf(vt);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vt, sqlite3_index_info* info) {
  Table* t = TableOf(vt);
  int eq = -1, lo = -1, hi = -1;
  bool lo_strict = false, hi_strict = false;
  const bool ranged = t->key_fields > 0 && IsNumeric(t->fields[0].type);
  for (int i = 0; ranged && i < info->nConstraint; ++i) {
    const auto& con = info->aConstraint[i];
    if (!con.usable || con.iColumn != 0) continue;
    switch (con.op) {
      case SQLITE_INDEX_CONSTRAINT_EQ:
        eq = i;
        break;
      case SQLITE_INDEX_CONSTRAINT_GT:
      case SQLITE_INDEX_CONSTRAINT_GE:
        lo = i;
        lo_strict = con.op == SQLITE_INDEX_CONSTRAINT_GT;
        break;
      case SQLITE_INDEX_CONSTRAINT_LT:
      case SQLITE_INDEX_CONSTRAINT_LE:
        hi = i;
        hi_strict = con.op == SQLITE_INDEX_CONSTRAINT_LT;
        break;
      default:
        break;
    }
  }
  // SQLite checks every constraint again (omit stays 0): a bound we cannot use (text, null)
  // only widens the scan.
  int idx = 0, arg = 1;
  const double rows = double(std::max<int64_t>(t->rows, 1));
  double cost = rows;
  if (eq >= 0) {
    idx |= 1;
    info->aConstraintUsage[eq].argvIndex = arg++;
    cost = 1 + std::log2(rows + 1);
    info->estimatedRows = t->key_fields == 1 ? 1 : 10;
  } else {
    if (lo >= 0) {
      idx |= lo_strict ? 2 | 8 : 2;
      info->aConstraintUsage[lo].argvIndex = arg++;
      cost /= 3;
    }
    if (hi >= 0) {
      idx |= hi_strict ? 4 | 16 : 4;
      info->aConstraintUsage[hi].argvIndex = arg++;
      cost /= 3;
    }
    info->estimatedRows = sqlite3_int64(std::max(1.0, cost));
  }
  info->idxNum = idx;
  info->estimatedCost = cost;
  bool ordered = t->key_fields > 0 && info->nOrderBy > 0 && info->nOrderBy <= t->key_fields;
  for (int j = 0; ordered && j < info->nOrderBy; ++j) {
    const auto& o = info->aOrderBy[j];
    ordered = !o.desc && o.iColumn == j && KeyOrderMatches(t->fields[size_t(j)].type);
  }
  if (ordered) info->orderByConsumed = 1;
  return SQLITE_OK;
}

int Open(sqlite3_vtab* vt, sqlite3_vtab_cursor** out) {
  Table* t = TableOf(vt);
  return Run(vt, [&] {
    auto scan = std::make_unique<Scan>();
    scan->c = t->conn->session->DbOpenTable(t->name);
    *out = scan.release();
    return SQLITE_OK;
  });
}

int Close(sqlite3_vtab_cursor* cur) {
  delete ScanOf(cur);
  return SQLITE_OK;
}

void CheckEnd(Scan& s) {
  s.eof = s.c->Eof();
  if (!s.eof && s.has_upper) {
    const double k = KeyOf(*s.c);
    s.eof = s.upper_strict ? k >= s.upper : k > s.upper;
  }
}

FileStamp StampOf(const Cursor& c) {
  const paradox::TableHeader& h = c.table_file().header();
  FileStamp stamp{h.num_records, h.used_blocks, h.file_blocks, h.first_block, h.last_block, -1};
  struct stat st;
  if (stat(c.table_file().path().c_str(), &st) == 0)
    stamp.mtime_ns = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return stamp;
}

// The first key of every block, made once per cursor and kept in the table while the file stays
// as it was (our own changes drop it at once).
void UseDirectory(Table& t, Scan& s) {
  if (s.dir) return;
  const FileStamp stamp = StampOf(*s.c);
  if (t.dir && stamp.mtime_ns >= 0 && stamp == t.dir_stamp) {
    s.dir = t.dir;
    return;
  }
  const paradox::TableFile& file = s.c->table_file();
  std::vector<uint8_t> buf(size_t(file.header().block_size));
  auto dir = std::make_shared<Directory>();
  int64_t recno = 0;
  int steps = 0;
  for (int n = file.header().first_block; n != 0;) {
    if (++steps > file.physical_blocks())
      throw EngineError(s.c->table_name() + ": block chain is damaged (it loops)");
    paradox::BlockInfo info = file.ReadBlock(n, buf.data());
    if (info.count > 0) {
      s.c->RestoreBookmark(Bookmark{n, 0, recno + 1});
      dir->push_back(BlockStart{n, recno + 1, KeyOf(*s.c)});
      recno += info.count;
    }
    n = info.next;
  }
  s.dir = dir;
  t.dir = std::move(dir);
  t.dir_stamp = stamp;
}

// Moves to the first row whose key is >= lower (> lower when strict).
void SeekLower(Table& t, Scan& s, double lower, bool strict) {
  for (int attempt = 0;; ++attempt) {
    UseDirectory(t, s);
    const Directory& dir = *s.dir;
    // Rows that qualify may begin in the last block whose first key is below the bound.
    size_t a = 0, b = dir.size();
    while (a < b) {
      const size_t m = (a + b) / 2;
      const bool before = strict ? dir[m].first <= lower : dir[m].first < lower;
      if (before)
        a = m + 1;
      else
        b = m;
    }
    if (a == 0) {
      s.c->First();
      break;
    }
    const BlockStart& start = dir[a - 1];
    bool valid = true;
    try {
      s.c->RestoreBookmark(Bookmark{start.block, 0, start.recno});
      valid = KeyOf(*s.c) == start.first;
    } catch (const EngineError&) {
      if (attempt > 0) throw;
      valid = false;
    }
    if (valid || attempt > 0) break;
    // The block no longer starts where the directory says: the file changed under it.
    t.dir.reset();
    s.dir.reset();
  }
  while (!s.c->Eof()) {
    const double k = KeyOf(*s.c);
    if (strict ? k > lower : k >= lower) break;
    s.c->Next();
  }
}

bool NumberArg(sqlite3_value* v, double* out) {
  const int type = sqlite3_value_type(v);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return false;
  *out = sqlite3_value_double(v);
  return true;
}

int Filter(sqlite3_vtab_cursor* cur, int idx, const char*, int argc, sqlite3_value** argv) {
  Scan* s = ScanOf(cur);
  return Run(cur->pVtab, [&] {
    s->has_upper = false;
    bool has_lower = false, lower_strict = false;
    double lower = 0;
    int a = 0;
    if (idx & 1) {
      if (a < argc && NumberArg(argv[a], &lower)) {
        has_lower = s->has_upper = true;
        s->upper = lower;
        s->upper_strict = false;
      }
      ++a;
    }
    if (idx & 2) {
      if (a < argc && NumberArg(argv[a], &lower)) {
        has_lower = true;
        lower_strict = (idx & 8) != 0;
      }
      ++a;
    }
    if (idx & 4) {
      if (a < argc && NumberArg(argv[a], &s->upper)) {
        s->has_upper = true;
        s->upper_strict = (idx & 16) != 0;
      }
      ++a;
    }
    if (has_lower)
      SeekLower(*TableOf(cur->pVtab), *s, lower, lower_strict);
    else
      s->c->First();
    CheckEnd(*s);
    return SQLITE_OK;
  });
}

int Next(sqlite3_vtab_cursor* cur) {
  Scan* s = ScanOf(cur);
  return Run(cur->pVtab, [&] {
    s->c->Next();
    CheckEnd(*s);
    return SQLITE_OK;
  });
}

int Eof(sqlite3_vtab_cursor* cur) { return ScanOf(cur)->eof ? 1 : 0; }

int Column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  Scan* s = ScanOf(cur);
  std::string message;
  int rc = Guarded(&message, [&] {
    ResultValue(ctx, s->c->AsVariant(i));
    return SQLITE_OK;
  });
  if (rc != SQLITE_OK) {
    const std::string utf8 = ToUtf8(message);
    sqlite3_result_error(ctx, utf8.c_str(), int(utf8.size()));
  }
  return rc;
}

int Rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
  Scan* s = ScanOf(cur);
  Table* t = TableOf(cur->pVtab);
  return Run(cur->pVtab, [&] {
    t->identities.push_back(IdentityOf(*t, *s->c));
    *rowid = sqlite3_int64(t->identities.size());
    return SQLITE_OK;
  });
}

int Update(sqlite3_vtab* vt, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  Table* t = TableOf(vt);
  return Run(vt, [&] {
    t->dir.reset();
    if (!t->writer) {
      OpenOptions o;
      o.read_only = false;
      t->writer = t->conn->session->DbOpenTable(t->name, o);
    }
    Cursor& w = *t->writer;
    if (argc == 1) {
      Locate(*t, sqlite3_value_int64(argv[0]));
      w.Delete();
      --t->rows;
      return SQLITE_OK;
    }
    const bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    if (insert) {
      w.Insert();
    } else {
      Locate(*t, sqlite3_value_int64(argv[0]));
      w.Edit();
    }
    try {
      for (size_t i = 0; i < t->fields.size() && int(i) + 2 < argc; ++i) {
        sqlite3_value* v = argv[i + 2];
        if (insert && sqlite3_value_type(v) == SQLITE_NULL) continue;  // blank, autoinc fills
        w.SetValue(int(i), FieldValue(v, t->fields[i]));
      }
      w.Post();
    } catch (...) {
      if (w.state() != Cursor::State::kBrowse) w.Cancel();
      throw;
    }
    if (insert) {
      *rowid = 0;
      ++t->rows;
    }
    return SQLITE_OK;
  });
}

int Begin(sqlite3_vtab* vt) {
  TableOf(vt)->identities.clear();
  return SQLITE_OK;
}

int Sync(sqlite3_vtab*) { return SQLITE_OK; }

int Commit(sqlite3_vtab* vt) {
  return Run(vt, [&] {
    CloseWriter(*TableOf(vt));
    return SQLITE_OK;
  });
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xCreate = Create;
  m.xConnect = Create;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xDestroy = Disconnect;
  m.xOpen = Open;
  m.xClose = Close;
  m.xFilter = Filter;
  m.xNext = Next;
  m.xEof = Eof;
  m.xColumn = Column;
  m.xRowid = Rowid;
  m.xUpdate = Update;
  m.xBegin = Begin;
  m.xSync = Sync;
  m.xCommit = Commit;
  m.xRollback = Commit;  // rows already posted stay (see SqlSession)
  return m;
}

}  // namespace

void RegisterModule(Connection* conn) {
  static const sqlite3_module module = MakeModule();
  int rc = sqlite3_create_module_v2(conn->db, "tablorix", &module, conn, nullptr);
  if (rc != SQLITE_OK) throw EngineError("Cannot register the table module");
}

}  // namespace tablorix::sql
