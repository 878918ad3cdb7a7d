// The virtual-table module: each table of the open directory seen by SQLite, read through the
// engine's cursors and changed through a writable cursor.
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/paradox/table_store.h"
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

// Identity of a file as one stat gives it.
struct FileId {
  uint64_t dev = 0, ino = 0;
  int64_t size = -1, mtime_ns = -1;
  bool operator==(const FileId&) const = default;
};

int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool StatFile(const std::string& path, FileId* id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *id = FileId{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
               int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
  return true;
}

// A stamp seen at `seen_ns` proves nothing about changes made in the same clock tick: such a
// change may leave the stamp as it was. Only a stamp older than this margin is relied on.
constexpr int64_t kStampMarginNs = 100'000'000;

bool StampSettled(const FileId& id, int64_t seen_ns) {
  return id.mtime_ns >= 0 && id.mtime_ns + kStampMarginNs < seen_ns;
}

// An ascending secondary index usable for the first of its fields. Its X file holds one entry
// per row, in the byte order of the entries, each naming (as a hint) the table block of its row.
struct SecondaryIndex {
  std::string path;
  int field = 0;      // table field position
  uint8_t type = 0;   // stored type code of the field
  bool fold = false;  // case-insensitive Alpha: entries hold the text upper-cased
  int x_offset = 0;   // the field in an X record
  int length = 0;
  int hint_offset = 0;  // Blk Num in an X record
  bool unique = false;
  bool rows = false;  // the file is the table itself, sorted by its Alpha primary key
  // Kept between statements while the file's stamp stays (no lock is held on it).
  std::unique_ptr<paradox::TableFile> file;
  FileId id;
  int64_t seen_ns = 0;
  bool sorted = true;                            // the blocks' first entries ascend
  std::vector<std::pair<int, std::string>> dir;  // first entry of each non-empty block
};

bool Seekable(uint8_t type) {
  switch (type) {
    case paradox::kShort:
    case paradox::kLong:
    case paradox::kAutoInc:
    case paradox::kNumber:
    case paradox::kCurrency:
    case paradox::kAlpha:
      return true;
    default:
      return false;
  }
}

// Types whose stored byte order is the order SQLite gives their column values.
bool BytesOrderMatches(uint8_t type) {
  switch (type) {
    case paradox::kShort:
    case paradox::kLong:
    case paradox::kAutoInc:
    case paradox::kNumber:
    case paradox::kCurrency:
    case paradox::kDate:
    case paradox::kTime:
    case paradox::kTimestamp:
      return true;
    default:
      return false;
  }
}

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
  // The .DB file as last resolved, and the directory's stamp then: while the directory stays as
  // it was, no file was added, removed or renamed in it, so the path holds and nothing was left
  // to recover.
  std::string path;
  FileId dir_id;
  int64_t dir_seen_ns = 0;
  bool path_settled = false;
  std::vector<SecondaryIndex> indexes;
};

// A row to visit, found through a secondary index.
struct Listed {
  std::string key;  // the index field's stored bytes (folded like the index)
  int block = 0;
  int slot = 0;
};

struct Scan : sqlite3_vtab_cursor {
  std::unique_ptr<Cursor> c;
  bool eof = true;
  bool has_upper = false;
  bool upper_strict = false;
  double upper = 0;
  std::shared_ptr<const Directory> dir;  // the one this cursor searches
  bool listed = false;                   // visiting `rows` rather than the table's order
  std::vector<Listed> rows;
  size_t at = 0;
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

// The secondary indexes SQL can seek in: ascending, first field of a seekable or ordered type.
void ListIndexes(Table& t, const Cursor& c) {
  const paradox::TableHeader& h = c.table_file().header();
  if (h.keyed() && !h.fields.empty() && h.fields[0].type == paradox::kAlpha) {
    // Equality on an Alpha primary key: the table's blocks are in the key's byte order.
    SecondaryIndex self;
    self.path = c.table_file().path();
    self.type = paradox::kAlpha;
    self.x_offset = h.fields[0].offset;
    self.length = h.fields[0].length;
    self.unique = h.key_fields == 1;
    self.rows = true;
    t.indexes.push_back(std::move(self));
  }
  for (const Cursor::IndexFile& ix : c.DbIndexFiles()) {
    if (ix.path.empty() || (ix.def.options & (ixPrimary | ixDescending)) || ix.fields.empty())
      continue;
    const int f = ix.fields[0];
    const paradox::FieldInfo& tf = h.fields[size_t(f)];
    if (!Seekable(tf.type) && !BytesOrderMatches(tf.type)) continue;
    try {
      auto x = paradox::TableFile::Open(ix.path);
      const auto& xf = x->header().fields;
      const size_t m = ix.fields.size();
      const size_t hint = h.keyed() ? m + h.key_fields : m + 1;
      if (xf.size() <= hint || xf[0].length != tf.length || xf[hint].length != 2) continue;
      SecondaryIndex si;
      si.path = ix.path;
      si.field = f;
      si.type = tf.type;
      si.fold = (ix.def.options & ixCaseInsensitive) && tf.type == paradox::kAlpha;
      si.x_offset = xf[0].offset;
      si.length = tf.length;
      si.hint_offset = xf[hint].offset;
      si.unique = (ix.def.options & ixUnique) && m == 1;
      t.indexes.push_back(std::move(si));
    } catch (const EngineError&) {
      // An index we cannot read is simply not used.
    }
  }
}

// A cursor for one statement. The path found last time is used again while the directory is
// unchanged; one stat of the directory replaces the search for the file and the check for a
// change left half-made.
std::unique_ptr<Cursor> OpenCursor(Table& t, const OpenOptions& options) {
  Session& session = *t.conn->session;
  FileId dir_now;
  const bool have_dir = StatFile(session.directory().empty() ? "." : session.directory(), &dir_now);
  if (t.path_settled && have_dir && dir_now == t.dir_id) {
    try {
      return session.DbOpenTablePath(t.path, t.name, options, false);
    } catch (const EngineError&) {
      // Fall back to the full lookup, which gives the proper message.
    }
  }
  t.path_settled = false;
  const int64_t before = NowNs();
  t.path = session.TablePath(t.name);
  auto c = session.DbOpenTablePath(t.path, t.name, options, true);
  FileId dir_after;
  if (have_dir && StatFile(session.directory().empty() ? "." : session.directory(), &dir_after) &&
      dir_after == dir_now && StampSettled(dir_now, before)) {
    t.dir_id = dir_now;
    t.path_settled = true;
  }
  return c;
}

std::string FieldBytes(const SecondaryIndex& ix, const uint8_t* p) {
  std::string b(reinterpret_cast<const char*>(p), size_t(ix.length));
  if (ix.fold) paradox::TableStore::UpperWin1250(reinterpret_cast<uint8_t*>(b.data()), b.size());
  return b;
}

// The X file and its block directory, read again when the file's stamp changed.
bool UseIndexFile(SecondaryIndex& ix) {
  FileId now;
  if (!StatFile(ix.path, &now)) return false;
  if (ix.file && now == ix.id && StampSettled(ix.id, ix.seen_ns)) return ix.sorted;
  ix.seen_ns = NowNs();
  ix.file = paradox::TableFile::Open(ix.path);
  ix.id = now;
  ix.dir.clear();
  ix.sorted = true;
  const paradox::TableFile& x = *ix.file;
  std::vector<uint8_t> buf(size_t(x.header().block_size));
  int steps = 0;
  for (int n = x.header().first_block; n != 0;) {
    if (++steps > x.physical_blocks()) throw EngineError(ix.path + ": block chain is damaged");
    paradox::BlockInfo info = x.ReadBlock(n, buf.data());
    if (info.count > 0) {
      std::string first(
          reinterpret_cast<const char*>(buf.data()) + paradox::kBlockHeaderSize + ix.x_offset,
          size_t(ix.length));
      if (!ix.dir.empty() && first < ix.dir.back().second) ix.sorted = false;
      ix.dir.emplace_back(n, std::move(first));
    }
    n = info.next;
  }
  FileId after;
  if (!StatFile(ix.path, &after) || !(after == now)) ix.file.reset();  // changed while read
  return ix.sorted && ix.file != nullptr;
}

bool InRange(const std::string& key, const std::optional<std::string>& lo,
             const std::optional<std::string>& hi) {
  return (!lo || key >= *lo) && (!hi || key <= *hi);
}

// Every row whose index field lies in [lo, hi], walking the table: the answer when the index
// cannot give it.
void ListByScan(const SecondaryIndex& ix, Cursor& c, const std::optional<std::string>& lo,
                const std::optional<std::string>& hi, std::vector<Listed>* out) {
  const int offset = c.table_file().header().fields[size_t(ix.field)].offset;
  out->clear();
  for (c.First(); !c.Eof(); c.Next()) {
    std::string key = FieldBytes(ix, c.RecordBytes() + offset);
    if (!InRange(key, lo, hi)) continue;
    const Bookmark b = c.SaveBookmark();
    out->push_back(Listed{std::move(key), b.block, b.index});
  }
}

// The rows whose index field lies in [lo, hi] found through the index: the entries in range
// name the table blocks their rows were in; the rows in range found in those blocks are the
// answer when there are as many as entries (a stale hint leaves one missing). False when the
// index cannot be used now.
bool ListByIndex(SecondaryIndex& ix, Cursor& c, const std::optional<std::string>& lo,
                 const std::optional<std::string>& hi, std::vector<Listed>* out) {
  out->clear();
  if (!UseIndexFile(ix) || ix.dir.empty())
    return ix.file != nullptr && ix.dir.empty() && c.RowCount() == 0;
  const paradox::TableFile& x = *ix.file;
  // Entries in range may begin in the last block whose first entry is below lo.
  size_t start = 0;
  if (lo) {
    size_t a = 0, b = ix.dir.size();
    while (a < b) {
      const size_t m = (a + b) / 2;
      if (ix.dir[m].second < *lo)
        a = m + 1;
      else
        b = m;
    }
    start = a == 0 ? 0 : a - 1;
  }
  const int xrs = x.header().record_size;
  std::vector<uint8_t> buf(size_t(x.header().block_size));
  std::set<int> blocks;
  int64_t entries = 0;
  std::string prev;
  int steps = 0;
  bool done = false, first_block = true;
  for (int n = ix.dir[start].first; n != 0 && !done;) {
    if (++steps > x.physical_blocks()) return false;
    paradox::BlockInfo info = x.ReadBlock(n, buf.data());
    for (int i = 0; i < info.count; ++i) {
      const uint8_t* rec = buf.data() + paradox::kBlockHeaderSize + size_t(i) * size_t(xrs);
      std::string key(reinterpret_cast<const char*>(rec) + ix.x_offset, size_t(ix.length));
      if (first_block && i == 0 && key != ix.dir[start].second) return false;  // moved under us
      if (key < prev) return false;  // not in byte order: a sort order of its own
      prev = key;
      if (hi && key > *hi) {
        done = true;
        break;
      }
      if (lo && key < *lo) continue;
      ++entries;
      if (ix.rows) {
        out->push_back(Listed{std::move(key), n, i});
        continue;
      }
      int16_t hint = 0;
      if (!paradox::DecodeInt16(rec + ix.hint_offset, &hint)) return false;
      blocks.insert(hint);
    }
    first_block = false;
    n = info.next;
  }
  if (ix.rows) return true;
  const paradox::TableFile& table = c.table_file();
  const int rs = table.header().record_size;
  const int offset = table.header().fields[size_t(ix.field)].offset;
  std::vector<uint8_t> tbuf(size_t(table.header().block_size));
  for (int b : blocks) {
    if (b < 1 || b > table.physical_blocks()) return false;
    paradox::BlockInfo info = table.ReadBlock(b, tbuf.data());
    for (int i = 0; i < info.count; ++i) {
      const uint8_t* rec = tbuf.data() + paradox::kBlockHeaderSize + size_t(i) * size_t(rs);
      std::string key = FieldBytes(ix, rec + offset);
      if (InRange(key, lo, hi)) out->push_back(Listed{std::move(key), b, i});
    }
  }
  return int64_t(out->size()) == entries;
}

// The stored form of a bound on the index field, as bytes that compare like the index; nullopt
// when the value gives no usable bound (SQLite checks every row anyway). `upper` picks the
// bound's direction, so that rounding only widens the range.
std::optional<std::string> BoundBytes(const SecondaryIndex& ix, const paradox::TableFile& table,
                                      sqlite3_value* v, bool upper) {
  std::string b(size_t(ix.length), '\0');
  auto* p = reinterpret_cast<uint8_t*>(b.data());
  const int type = sqlite3_value_type(v);
  if (ix.type == paradox::kAlpha) {
    if (type != SQLITE_TEXT) return std::nullopt;
    const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    const std::string text =
        paradox::CodePage::Get(table.code_page()).FromProgram(FromUtf8(t, sqlite3_value_bytes(v)));
    if (text.empty() || text.size() > b.size() || text.find('\0') != std::string::npos)
      return std::nullopt;
    std::memcpy(p, text.data(), text.size());
    return FieldBytes(ix, p);
  }
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return std::nullopt;
  const double d = sqlite3_value_double(v);
  if (std::isnan(d)) return std::nullopt;
  switch (ix.type) {
    case paradox::kShort:
    case paradox::kLong:
    case paradox::kAutoInc: {
      const double limit = ix.type == paradox::kShort ? 32767 : 2147483647;
      const double r = upper ? std::ceil(d) : std::floor(d);
      if (r > limit)
        return upper ? std::nullopt
                     : std::optional<std::string>(std::string(size_t(ix.length), '\xff'));
      if (r < -limit)
        return upper ? std::optional<std::string>(std::string(size_t(ix.length), '\0'))
                     : std::nullopt;
      if (ix.type == paradox::kShort)
        paradox::EncodeInt16(int16_t(r), p);
      else
        paradox::EncodeInt32(int32_t(r), p);
      return b;
    }
    case paradox::kNumber:
    case paradox::kCurrency: {
      paradox::EncodeDouble(d, p);
      if (d == 0) {  // 0 and -0 are equal to SQLite but not as bytes
        std::string other(size_t(ix.length), '\0');
        paradox::EncodeDouble(-d, reinterpret_cast<uint8_t*>(other.data()));
        if (upper ? other > b : other < b) b = other;
      }
      return b;
    }
    default:
      return std::nullopt;
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
    if (index < conn->fields.size()) conn->fields[index] = table->fields;
    const auto& header = c->table_file().header();
    table->key_fields = header.keyed() ? header.key_fields : 0;
    table->rows = c->RowCount();
    ListIndexes(*table, *c);
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
  // A secondary index, when it promises fewer rows than the plan above. idxNum: 32, the index
  // number from bit 8, 1 = equality, 2 = lower bound, 4 = upper bound (strictness is left to
  // SQLite: the bounds are taken as inclusive).
  int best = -1, best_eq = -1, best_lo = -1, best_hi = -1;
  double best_cost = cost;
  for (size_t k = 0; k < t->indexes.size(); ++k) {
    const SecondaryIndex& ix = t->indexes[k];
    if (!Seekable(ix.type)) continue;
    int e = -1, l = -1, h = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
      const auto& con = info->aConstraint[i];
      if (!con.usable || con.iColumn != ix.field) continue;
      if (ix.type == paradox::kAlpha) {
        // Alpha order is not SQLite's: equality only, and only as plain bytes compare (a
        // NOCASE comparison would match rows the seek skips).
        const char* coll = sqlite3_vtab_collation(info, i);
        if (con.op == SQLITE_INDEX_CONSTRAINT_EQ && coll && sqlite3_stricmp(coll, "BINARY") == 0)
          e = i;
        continue;
      }
      if (con.op == SQLITE_INDEX_CONSTRAINT_EQ) e = i;
      if (con.op == SQLITE_INDEX_CONSTRAINT_GT || con.op == SQLITE_INDEX_CONSTRAINT_GE) l = i;
      if (con.op == SQLITE_INDEX_CONSTRAINT_LT || con.op == SQLITE_INDEX_CONSTRAINT_LE) h = i;
    }
    double c = rows;
    if (e >= 0)
      c = 4 + 2 * std::log2(rows + 1) + (ix.unique ? 0 : 8);
    else if (l >= 0 || h >= 0)
      c = 2 * rows / (l >= 0 && h >= 0 ? 9 : 3);  // rows visited out of the table's order
    else
      continue;
    if (c < best_cost) {
      best = int(k);
      best_cost = c;
      best_eq = e;
      best_lo = e >= 0 ? -1 : l;
      best_hi = e >= 0 ? -1 : h;
    }
  }
  if (best >= 0) {
    for (int i = 0; i < info->nConstraint; ++i) info->aConstraintUsage[i].argvIndex = 0;
    idx = 32 | (best << 8);
    arg = 1;
    if (best_eq >= 0) {
      idx |= 1;
      info->aConstraintUsage[best_eq].argvIndex = arg++;
      info->estimatedRows = t->indexes[size_t(best)].unique ? 1 : 10;
    }
    if (best_lo >= 0) {
      idx |= 2;
      info->aConstraintUsage[best_lo].argvIndex = arg++;
    }
    if (best_hi >= 0) {
      idx |= 4;
      info->aConstraintUsage[best_hi].argvIndex = arg++;
    }
    if (best_eq < 0) info->estimatedRows = sqlite3_int64(std::max(1.0, best_cost / 2));
    if (t->indexes[size_t(best)].unique && best_eq >= 0) info->idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
    cost = best_cost;
  }
  info->idxNum = idx;
  info->estimatedCost = cost;
  if (best >= 0) {
    // The listed rows come sorted by the index field's bytes.
    const SecondaryIndex& ix = t->indexes[size_t(best)];
    if (info->nOrderBy == 1 && !info->aOrderBy[0].desc && info->aOrderBy[0].iColumn == ix.field &&
        BytesOrderMatches(ix.type))
      info->orderByConsumed = 1;
    return SQLITE_OK;
  }
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
    scan->c = OpenCursor(*t, OpenOptions{});
    *out = scan.release();
    return SQLITE_OK;
  });
}

int Close(sqlite3_vtab_cursor* cur) {
  delete ScanOf(cur);
  return SQLITE_OK;
}

// Moves to the listed row at s.at.
void VisitListed(Scan& s) {
  s.eof = s.at >= s.rows.size();
  if (!s.eof) {
    const Listed& r = s.rows[s.at];
    s.c->RestoreBookmark(Bookmark{r.block, r.slot, int64_t(s.at + 1)});
  }
}

void CheckEnd(Scan& s) {
  if (s.listed) {
    VisitListed(s);
    return;
  }
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
    s->listed = false;
    s->rows.clear();
    s->at = 0;
    Table& t = *TableOf(cur->pVtab);
    if ((idx & 32) && size_t(idx >> 8) < t.indexes.size()) {
      SecondaryIndex& ix = t.indexes[size_t(idx >> 8)];
      const paradox::TableFile& file = s->c->table_file();
      std::optional<std::string> lo, hi;
      int a = 0;
      if ((idx & 1) && a < argc) {
        lo = BoundBytes(ix, file, argv[a], false);
        hi = BoundBytes(ix, file, argv[a], true);
        ++a;
      }
      if ((idx & 2) && a < argc) lo = BoundBytes(ix, file, argv[a++], false);
      if ((idx & 4) && a < argc) hi = BoundBytes(ix, file, argv[a++], true);
      bool found = false;
      if (lo || hi) {
        try {
          found = ListByIndex(ix, *s->c, lo, hi, &s->rows);
        } catch (const EngineError&) {
          ix.file.reset();
        }
      }
      if (!found) ListByScan(ix, *s->c, lo, hi, &s->rows);
      std::sort(s->rows.begin(), s->rows.end(), [](const Listed& x, const Listed& y) {
        return x.key != y.key ? x.key < y.key
                              : (x.block != y.block ? x.block < y.block : x.slot < y.slot);
      });
      s->listed = true;
      VisitListed(*s);
      return SQLITE_OK;
    }
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
    if (s->listed) {
      ++s->at;
      VisitListed(*s);
      return SQLITE_OK;
    }
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
      t->writer = OpenCursor(*t, o);
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
