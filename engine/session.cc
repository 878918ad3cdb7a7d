// Session and cursors over the storage layer. A cursor keeps one data block in memory and
// follows the block chain on demand, so its cost does not grow with the table.
#include "engine/session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/filter.h"
#include "engine/paradox/blob_file.h"
#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/paradox/table_store.h"
#include "engine/paradox/val_file.h"

namespace tablorix {

using paradox::EqualsNoCase;

namespace {

std::string StripDbExtension(const std::string& name) {
  if (name.size() > 3 && EqualsNoCase(name.substr(name.size() - 3), ".db"))
    return name.substr(0, name.size() - 3);
  return name;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string FormatDouble(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

Session::Session() : cursors_(std::make_shared<std::set<Cursor*>>()) {}

Session::~Session() {
  for (Cursor* c : std::vector<Cursor*>(cursors_->begin(), cursors_->end())) c->Close();
}

void Session::DbOpenDatabase(const std::string& directory) {
  for (Cursor* c : std::vector<Cursor*>(cursors_->begin(), cursors_->end())) c->Close();
  open_ = false;
  paradox::ListFiles(directory);  // throws when the directory cannot be read
  directory_ = directory;
  open_ = true;
}

std::vector<std::string> Session::DbListTables() const {
  if (!open_) throw EngineError("No database is open");
  std::vector<std::string> names;
  for (const std::string& f : paradox::ListFiles(directory_)) {
    if (f.size() > 3 && EqualsNoCase(f.substr(f.size() - 3), ".db")) {
      std::string base = f.substr(0, f.size() - 3);
      bool seen = std::any_of(names.begin(), names.end(),
                              [&](const std::string& n) { return EqualsNoCase(n, base); });
      if (!seen && !base.empty()) names.push_back(base);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Session::TablePath(const std::string& table) const {
  if (!open_) throw EngineError("No database is open");
  const std::string base = StripDbExtension(table);
  if (base.empty() || base.find('/') != std::string::npos)
    throw EngineError("Invalid table name: " + table);
  std::string path = paradox::FindFileNoCase(directory_, base + ".DB");
  if (path.empty())
    throw EngineError("Table does not exist: " + paradox::JoinPath(directory_, base + ".DB"));
  return path;
}

std::vector<std::string> Session::DbListFields(const std::string& table) const {
  auto t = paradox::TableFile::Open(TablePath(table));
  const auto& cp = paradox::CodePage::Get(t->code_page());
  std::vector<std::string> names;
  for (const auto& f : t->header().fields) names.push_back(cp.ToProgram(f.name));
  return names;
}

std::vector<std::string> Session::DbListIndexes(const std::string& table) const {
  auto c = const_cast<Session*>(this)->DbOpenTable(table);
  std::vector<std::string> names;
  for (const auto& d : c->DbIndexDefs()) names.push_back(d.name);
  return names;
}

std::unique_ptr<Cursor> Session::DbOpenTable(const std::string& table, const OpenOptions& options) {
  return DbOpenTablePath(TablePath(table), table, options, true);
}

std::unique_ptr<Cursor> Session::DbOpenTablePath(const std::string& path, const std::string& table,
                                                 const OpenOptions& options, bool recover) {
  if (!open_) throw EngineError("No database is open");
  auto c = std::unique_ptr<Cursor>(new Cursor());
  c->lock_fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (c->lock_fd_ < 0) throw EngineError(path + ": cannot open");
  if (::flock(c->lock_fd_, (options.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    ::close(c->lock_fd_);
    c->lock_fd_ = -1;
    throw EngineError("Table is busy: " + path +
                      (options.exclusive ? " is in use" : " is opened exclusively"));
  }
  // A change that a failed or killed writer left half-made is finished or undone first.
  if (recover) paradox::TableStore::RecoverTable(path);
  c->table_ = paradox::TableFile::Open(path);
  if (!options.read_only) c->store_ = paradox::TableStore::Open(path);
  c->name_ = StripDbExtension(table);
  c->path_ = path;
  c->dir_ = directory_;
  const auto& h = c->table_->header();
  const auto& cp = paradox::CodePage::Get(c->table_->code_page());
  for (const auto& f : h.fields) {
    TFieldDef d;
    d.name = cp.ToProgram(f.name);
    d.type = paradox::MapFieldType(f.type);
    d.size = f.type == paradox::kBcd       ? f.size
             : paradox::IsBlobType(f.type) ? f.size - paradox::kBlobDescriptorSize
             : (f.type == paradox::kAlpha || f.type == paradox::kBytes) ? f.size
                                                                        : 0;
    d.display_label = d.name;
    d.is_blob = paradox::IsBlobType(f.type);
    switch (f.type) {
      case paradox::kShort:
      case paradox::kLong:
      case paradox::kAutoInc:
      case paradox::kNumber:
      case paradox::kCurrency:
      case paradox::kBcd:
        d.alignment = TAlignment::taRightJustify;
        break;
      default:
        break;
    }
    c->field_defs_.push_back(d);
  }
  // Validity checks: a damaged or unknown .VAL only means there are none.
  try {
    // Next to the .DB file and named like it.
    const size_t slash = c->path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : c->path_.substr(0, slash + 1);
    const std::string base = StripDbExtension(c->path_.substr(dir == "." ? 0 : slash + 1));
    const std::string val = paradox::FindFileNoCase(dir, base + ".VAL");
    if (!val.empty()) {
      uint8_t stamp = 0;  // the structure stamp the .VAL must repeat
      c->table_->file().ReadAt(0x2E, &stamp, 1);
      auto checks =
          std::make_unique<paradox::ValChecks>(paradox::ReadValFile(val, h.fields, stamp));
      if (!checks->empty()) {
        for (size_t i = 0; i < c->field_defs_.size(); ++i)
          c->field_defs_[i].required = checks->fields[i].required;
        c->checks_ = std::move(checks);
      }
    }
  } catch (...) {
    c->checks_.reset();
  }
  c->block_.resize(size_t(h.block_size));
  c->registry_ = cursors_;
  cursors_->insert(c.get());
  c->open_ = true;
  c->SeekFirst();
  return c;
}

void Session::DbCloseTable(Cursor& cursor) { cursor.Close(); }

// ---------------------------------------------------------------------------------------------

Cursor::Cursor() = default;

Cursor::~Cursor() { Close(); }

void Cursor::Close() {
  if (registry_) registry_->erase(this);
  registry_.reset();
  if (store_ && state_ != State::kBrowse) state_ = State::kBrowse;
  store_.reset();  // an unfinished batch is undone
  batch_ = false;
  if (lock_fd_ >= 0) ::close(lock_fd_);
  lock_fd_ = -1;
  open_ = false;
  order_.reset();
  blobs_.reset();
  eof_ = bof_ = true;
  recno_ = 0;
}

const std::string& Cursor::driver_type() const {
  static const std::string kType = "PARADOX";
  return kType;
}

void Cursor::CheckOpen() const {
  if (!open_) throw EngineError("Cursor is closed: " + name_);
}

void Cursor::CheckRow() const {
  CheckOpen();
  if (block_no_ == 0 || index_ < 0 || index_ >= count_)
    throw EngineError("No current record in " + name_);
}

bool Cursor::IsEmpty() const {
  CheckOpen();
  return block_no_ == 0 || count_ == 0;
}

int64_t Cursor::RowCount() const {
  CheckOpen();
  return table_->header().num_records;
}

// ---------------------------------------------------------------------------------------------
// Navigation. The raw moves walk every row in the current order (the table's block chain, or
// the entries of the index file the cursor is ordered by); the public ones skip the rows the
// filter hides and count RecNo over the rows it shows.

// The secondary index a cursor is ordered by: its file is walked along its own block chain (one
// block in memory) and each entry leads to its table record.
struct Cursor::Order {
  std::unique_ptr<paradox::TableFile> x;
  std::string path;
  std::vector<uint8_t> buf;
  int block = 0;
  uint16_t next = 0, prev = 0;
  int count = 0;
  int index = 0;
  int steps = 0;
  struct Part {
    int table_offset, x_offset, length;
    bool alpha;
  };
  std::vector<Part> parts;  // the index fields: where they are in the table and X records
  bool case_insensitive = false;
  int pk_offset = 0, pk_length = 0;            // keyed tables: the primary key in the X record
  int tup_at = -1, blk_at = -1, slot_at = -1;  // unkeyed tables: Tup No, Blk Num, Tup Offset
  // Keyed tables: the first key of each non-empty table block, in chain order.
  std::vector<std::pair<int, std::vector<uint8_t>>> dir;
  const paradox::TableFile* dir_of = nullptr;
  uint32_t dir_records = 0;

  const uint8_t* Rec() const {
    return buf.data() + paradox::kBlockHeaderSize + size_t(index) * x->header().record_size;
  }
  void Load(int n) {
    paradox::BlockInfo info = x->ReadBlock(n, buf.data());
    block = n;
    next = info.next;
    prev = info.prev;
    count = info.count;
  }
  void CheckLoop(int* steps_taken) const {
    if (++*steps_taken > x->physical_blocks())
      throw EngineError(x->path() + ": block chain is damaged (it loops)");
  }
  bool First() {
    block = count = index = steps = 0;
    for (int n = x->header().first_block; n != 0; n = next) {
      CheckLoop(&steps);
      Load(n);
      if (count > 0) return true;
    }
    block = count = 0;
    return false;
  }
  bool Next() {
    if (block == 0) return false;
    if (index + 1 < count) {
      ++index;
      return true;
    }
    const int here = block, here_index = index;
    for (int n = next; n != 0; n = next) {
      CheckLoop(&steps);
      Load(n);
      if (count > 0) {
        index = 0;
        return true;
      }
    }
    Load(here);
    index = here_index;
    return false;
  }
  bool Prior() {
    if (block == 0) return false;
    if (index > 0) {
      --index;
      return true;
    }
    const int here = block;
    int guard = 0;
    for (int p = prev; p != 0; p = prev) {
      CheckLoop(&guard);
      const int from = block;
      Load(p);
      if (next != from) break;  // a stale back link
      if (count > 0) {
        index = count - 1;
        if (steps > 0) --steps;
        return true;
      }
    }
    // Find the predecessor walking from the front.
    int last = 0;
    guard = 0;
    for (int n = x->header().first_block; n != 0 && n != here; n = next) {
      CheckLoop(&guard);
      Load(n);
      if (count > 0) last = n;
    }
    Load(last != 0 ? last : here);
    index = last != 0 ? count - 1 : 0;
    return last != 0;
  }
};

bool Cursor::NaturalFirst() {
  block_no_ = count_ = index_ = 0;
  steps_ = 0;
  for (int n = table_->header().first_block; n != 0; n = next_) {
    if (++steps_ > table_->physical_blocks())
      throw EngineError(path_ + ": block chain is damaged (it loops)");
    LoadBlock(n);
    if (count_ > 0) return true;
  }
  block_no_ = count_ = 0;
  return false;
}

bool Cursor::NaturalNext() {
  if (block_no_ == 0) return false;
  if (index_ + 1 < count_) {
    ++index_;
    return true;
  }
  const int here = block_no_, here_index = index_;
  for (int n = next_; n != 0; n = next_) {
    if (++steps_ > table_->physical_blocks())
      throw EngineError(path_ + ": block chain is damaged (it loops)");
    LoadBlock(n);
    if (count_ > 0) {
      index_ = 0;
      return true;
    }
  }
  LoadBlock(here);
  index_ = here_index;
  return false;
}

bool Cursor::NaturalPrior() {
  if (block_no_ == 0) return false;
  if (index_ > 0) {
    --index_;
    return true;
  }
  const int here = block_no_;
  int guard = 0;
  auto check = [&] {
    if (++guard > table_->physical_blocks())
      throw EngineError(path_ + ": block chain is damaged (it loops)");
  };
  for (int p = prev_; p != 0; p = prev_) {
    check();
    const int from = block_no_;
    LoadBlock(p);
    if (next_ != from) break;  // a stale back link
    if (count_ > 0) {
      index_ = count_ - 1;
      if (steps_ > 0) --steps_;
      return true;
    }
  }
  // Find the predecessor walking from the front.
  int last = 0;
  guard = 0;
  for (int n = table_->header().first_block; n != 0 && n != here; n = next_) {
    check();
    LoadBlock(n);
    if (count_ > 0) last = n;
  }
  LoadBlock(last != 0 ? last : here);
  index_ = last != 0 ? count_ - 1 : 0;
  return last != 0;
}

namespace {

// The index bytes of a table record, upper-cased for a case-insensitive index.
bool IndexBytesMatch(const uint8_t* rec, const uint8_t* xrec, int table_offset, int x_offset,
                     int length, bool fold) {
  if (!fold) return std::memcmp(rec + table_offset, xrec + x_offset, size_t(length)) == 0;
  std::vector<uint8_t> a(rec + table_offset, rec + table_offset + length);
  std::vector<uint8_t> b(xrec + x_offset, xrec + x_offset + length);
  paradox::TableStore::UpperWin1250(a.data(), a.size());
  paradox::TableStore::UpperWin1250(b.data(), b.size());
  return a == b;
}

}  // namespace

// Moves the table position to the record of the current index entry; false when it has none.
bool Cursor::ResolveEntry() {
  Order& o = *order_;
  const uint8_t* xr = o.Rec();
  const auto& h = table_->header();
  const int rs = h.record_size;
  auto slot_ptr = [&](int slot) {
    return block_.data() + paradox::kBlockHeaderSize + size_t(slot) * size_t(rs);
  };
  auto matches_here = [&](int slot) {
    const uint8_t* rec = slot_ptr(slot);
    for (const auto& p : o.parts)
      if (!IndexBytesMatch(rec, xr, p.table_offset, p.x_offset, p.length,
                           o.case_insensitive && p.alpha))
        return false;
    return true;
  };
  if (h.keyed()) {
    if (o.dir_of != table_.get() || o.dir_records != h.num_records || o.dir.empty()) {
      // Blocks of a keyed table are in key order along the chain: their first keys are a
      // directory to search.
      o.dir.clear();
      bool any = NaturalFirst();
      while (any) {
        o.dir.emplace_back(block_no_, std::vector<uint8_t>(slot_ptr(0), slot_ptr(0) + o.pk_length));
        index_ = count_ - 1;
        any = NaturalNext();
      }
      o.dir_of = table_.get();
      o.dir_records = h.num_records;
    }
    const uint8_t* key = xr + o.pk_offset;
    auto it =
        std::upper_bound(o.dir.begin(), o.dir.end(), key, [&](const uint8_t* k, const auto& e) {
          return std::memcmp(k, e.second.data(), size_t(o.pk_length)) < 0;
        });
    if (it == o.dir.begin()) return false;
    --it;
    LoadBlock(it->first);
    int lo = 0, hi = count_ - 1;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      const int c = std::memcmp(slot_ptr(mid), key, size_t(o.pk_length));
      if (c == 0) {
        index_ = mid;
        return true;
      }
      if (c < 0)
        lo = mid + 1;
      else
        hi = mid - 1;
    }
    return false;
  }
  // Unkeyed: the entry names the block and slot (or byte offset) of its record.
  int16_t blk = 0, slot = 0;
  if (paradox::DecodeInt16(xr + o.blk_at, &blk) && paradox::DecodeInt16(xr + o.slot_at, &slot) &&
      blk >= 1 && blk <= table_->physical_blocks()) {
    try {
      LoadBlock(blk);
      for (int s : {int(slot), int(slot) / rs}) {
        if (s >= 0 && s < count_ && matches_here(s)) {
          index_ = s;
          return true;
        }
      }
    } catch (const EngineError&) {
    }
  }
  // A stale entry: the first record with the same index fields.
  for (bool any = NaturalFirst(); any; any = NaturalNext())
    if (matches_here(index_)) return true;
  return false;
}

bool Cursor::RawFirst() {
  if (!order_) return NaturalFirst();
  for (bool any = order_->First(); any; any = order_->Next())
    if (ResolveEntry()) return true;
  block_no_ = count_ = index_ = 0;
  return false;
}

bool Cursor::RawNext() {
  if (!order_) return NaturalNext();
  if (block_no_ == 0) return false;
  const Bookmark here = Here();
  while (order_->Next())
    if (ResolveEntry()) return true;
  GoTo(here);
  return false;
}

bool Cursor::RawPrior() {
  if (!order_) return NaturalPrior();
  if (block_no_ == 0) return false;
  const Bookmark here = Here();
  while (order_->Prior())
    if (ResolveEntry()) return true;
  GoTo(here);
  return false;
}

bool Cursor::Visible() {
  if (!filtered()) return true;
  const State saved = state_;
  state_ = State::kBrowse;  // the stored row, not an edit in progress
  try {
    const bool shown = filter_->Matches([this](int f) { return AsVariant(f); });
    state_ = saved;
    return shown;
  } catch (...) {
    state_ = saved;
    throw;
  }
}

int64_t Cursor::RecNo() const {
  if (need_sync_ && open_) const_cast<Cursor*>(this)->Resync();
  return open_ && block_no_ != 0 && count_ > 0 ? recno_ : 0;
}

void Cursor::LoadBlock(int n) {
  paradox::BlockInfo info = table_->ReadBlock(n, block_.data());
  block_no_ = n;
  next_ = info.next;
  prev_ = info.prev;
  count_ = info.count;
}

void Cursor::SeekFirst() {
  need_sync_ = false;
  own_move_ = true;
  recno_ = 0;
  bool any = RawFirst();
  while (any && !Visible()) any = RawNext();
  if (!any) {
    block_no_ = count_ = index_ = 0;
    eof_ = bof_ = true;
    return;
  }
  recno_ = 1;
  eof_ = bof_ = false;
}

void Cursor::Resync() {
  need_sync_ = false;
  if (order_) {
    // The editing code rewrote the index file: read it again.
    order_->x = paradox::TableFile::Open(order_->path);
    order_->buf.resize(size_t(order_->x->header().block_size));
    order_->block = order_->count = order_->index = 0;
    order_->dir.clear();
  }
  if (block_no_ == 0 || index_ >= count_) {
    SeekFirst();
    return;
  }
  const int block = block_no_, slot = index_;
  int64_t shown = 0;
  for (bool any = RawFirst(); any; any = RawNext()) {
    if (block_no_ == block && index_ == slot) {
      recno_ = shown + 1;
      eof_ = bof_ = false;
      return;
    }
    if (Visible()) ++shown;
  }
  SeekFirst();
}

void Cursor::Moved() {
  if (!own_move_ && (order_ || filtered())) need_sync_ = true;
  own_move_ = false;
  if (notice_) notice_();
}

void Cursor::First() {
  CheckOpen();
  SeekFirst();
  Moved();
}

void Cursor::Next() {
  CheckOpen();
  if (need_sync_) Resync();
  // At the end (also in a table without rows) nothing moves and Bof stays as it was.
  if (block_no_ != 0 && !eof_) {
    bof_ = false;
    // Keep the current row when no later one shows.
    const Bookmark start = Here();
    for (;;) {
      if (!RawNext()) {
        GoTo(start);
        eof_ = true;
        break;
      }
      if (Visible()) {
        ++recno_;
        break;
      }
    }
  } else {
    eof_ = true;
  }
  own_move_ = true;
  Moved();
}

void Cursor::Prior() {
  CheckOpen();
  if (need_sync_) Resync();
  if (block_no_ != 0 && !bof_) {
    eof_ = false;
    const Bookmark start = Here();
    for (;;) {
      if (!RawPrior()) {
        GoTo(start);
        bof_ = true;
        break;
      }
      if (Visible()) {
        --recno_;
        break;
      }
    }
  } else {
    bof_ = true;
  }
  own_move_ = true;
  Moved();
}

Bookmark Cursor::Here() const {
  Bookmark b{block_no_, index_, recno_};
  if (order_) {
    b.order_block = order_->block;
    b.order_index = order_->index;
  }
  return b;
}

void Cursor::GoTo(const Bookmark& b) {
  if (order_ && b.order_block != 0) {
    order_->Load(b.order_block);
    if (b.order_index >= order_->count) throw EngineError("Bookmark no longer valid in " + name_);
    order_->index = b.order_index;
  }
  LoadBlock(b.block);
  if (b.index >= count_) throw EngineError("Bookmark no longer valid in " + name_);
  index_ = b.index;
  recno_ = b.recno;
}

Bookmark Cursor::SaveBookmark() const {
  if (need_sync_ && open_) const_cast<Cursor*>(this)->Resync();
  return Here();
}

void Cursor::RestoreBookmark(const Bookmark& b) {
  CheckOpen();
  if (b.block == 0) {
    SeekFirst();
  } else {
    GoTo(b);
    eof_ = bof_ = false;
    need_sync_ = false;
  }
  own_move_ = true;
  Moved();
}

void Cursor::DbSetFilter(const std::string& expression, bool on) {
  CheckOpen();
  std::unique_ptr<Filter> parsed;
  if (!expression.empty()) parsed = Filter::Parse(expression, field_defs_, format_);
  filter_ = std::move(parsed);
  filter_text_ = expression;
  filter_on_ = on;
  SeekFirst();
  Moved();
}

void Cursor::DbSetOrder(const std::vector<std::string>& fields) {
  CheckOpen();
  if (fields.empty()) {
    order_.reset();
    order_fields_.clear();
    SeekFirst();
    Moved();
    return;
  }
  const std::vector<IndexInfo> indexes = ListIndexFiles();
  const IndexInfo* pick = nullptr;
  for (int pass = 0; pass < 2 && !pick; ++pass) {
    for (const IndexInfo& ix : indexes) {
      if (pass == 0 ? ix.fields.size() != fields.size() : ix.fields.size() < fields.size())
        continue;
      bool fits = true;
      for (size_t i = 0; i < fields.size() && fits; ++i)
        fits = EqualsNoCase(field_defs_[size_t(ix.fields[i])].name, fields[i]);
      if (fits) {
        pick = &ix;
        break;
      }
    }
  }
  if (!pick) {
    std::string names;
    for (const std::string& f : fields) names += (names.empty() ? "" : ";") + f;
    throw EngineError("No index of " + name_ + " fits the fields " + names);
  }
  std::unique_ptr<Order> order;
  if (!(pick->def.options & ixPrimary)) {
    order = std::make_unique<Order>();
    order->path = pick->path;
    order->x = paradox::TableFile::Open(pick->path);
    order->buf.resize(size_t(order->x->header().block_size));
    const auto& h = table_->header();
    const auto& xf = order->x->header().fields;
    const size_t m = pick->fields.size();
    const size_t trailer = h.keyed() ? size_t(h.key_fields) + 1 : 3;
    if (xf.size() < m + trailer) throw EngineError(pick->path + ": index records are too short");
    for (size_t i = 0; i < m; ++i) {
      const auto& tf = h.fields[size_t(pick->fields[i])];
      if (xf[i].length != tf.length)
        throw EngineError(pick->path + ": index field " + std::to_string(i + 1) +
                          " does not match the table");
      order->parts.push_back({tf.offset, xf[i].offset, tf.length, tf.type == paradox::kAlpha});
    }
    order->case_insensitive = (pick->def.options & ixCaseInsensitive) != 0;
    if (h.keyed()) {
      order->pk_offset = xf[m].offset;
      for (int i = 0; i < h.key_fields; ++i) order->pk_length += h.fields[size_t(i)].length;
    } else {
      order->tup_at = xf[m].offset;
      order->blk_at = xf[m + 1].offset;
      order->slot_at = xf[m + 2].offset;
    }
  }
  order_ = std::move(order);
  order_fields_ = fields;
  SeekFirst();
  Moved();
}
int Cursor::FieldIndex(const std::string& name) const {
  for (size_t i = 0; i < field_defs_.size(); ++i)
    if (field_defs_[i].name == name) return int(i);
  for (size_t i = 0; i < field_defs_.size(); ++i)
    if (EqualsNoCase(field_defs_[i].name, name)) return int(i);
  throw EngineError("Field not found: " + name + " in " + name_);
}

const uint8_t* Cursor::RecordBytes() const {
  if (state_ != State::kBrowse) return edit_.data();
  CheckRow();
  return block_.data() + paradox::kBlockHeaderSize + size_t(index_) * table_->header().record_size;
}

int Cursor::code_page() const { return table_->code_page(); }

void Cursor::TextToProgram(const char* p, size_t n, std::string* out) const {
  paradox::CodePage::Get(table_->code_page()).ToProgram(std::string_view(p, n), out);
}

bool Cursor::IsNull(int field) const {
  const auto& f = table_->header().fields.at(size_t(field));
  const uint8_t* p = RecordBytes() + f.offset;
  if (paradox::IsBlobType(f.type)) return paradox::GetU32(p + f.length - 6) == 0;
  if (f.type == paradox::kBcd) return (p[0] & 0x40) == 0;
  if (f.type == paradox::kAlpha) return p[0] == 0;
  for (int i = 0; i < f.length; ++i)
    if (p[i]) return false;
  return true;
}

bool Cursor::ReadBlob(int field, std::string* out) const {
  const auto& f = table_->header().fields.at(size_t(field));
  if (!paradox::IsBlobType(f.type))
    throw EngineError("Not a blob field: " + field_defs_[size_t(field)].name);
  const uint8_t* p = RecordBytes() + f.offset;
  if (state_ != State::kBrowse) {
    for (auto it = edit_blobs_.rbegin(); it != edit_blobs_.rend(); ++it)
      if (it->first == field) {
        *out = it->second;
        return true;
      }
    if (std::find(edit_blob_nulls_.begin(), edit_blob_nulls_.end(), field) !=
        edit_blob_nulls_.end())
      return false;
  }
  if (!blobs_tried_) {
    blobs_tried_ = true;
    std::string base = path_.substr(0, path_.size() - 3);
    std::string dir = base.substr(0, base.rfind('/') + 1);
    std::string mb =
        paradox::FindFileNoCase(dir.empty() ? "." : dir, base.substr(dir.size()) + ".MB");
    if (!mb.empty()) blobs_ = paradox::BlobFile::Open(mb, table_->header().crypt_key);
  }
  if (!paradox::ReadBlobField(p, f.length, blobs_.get(), path_, out)) return false;
  if (f.type == paradox::kGraphic || f.type == paradox::kOle) paradox::StripBlobPrefix(out);
  return true;
}

Value Cursor::AsVariant(int field) const {
  const auto& f = table_->header().fields.at(size_t(field));
  const uint8_t* p = RecordBytes() + f.offset;
  if (paradox::IsBlobType(f.type)) {
    std::string bytes;
    if (!ReadBlob(field, &bytes)) return Value::Null();
    if (f.type == paradox::kMemo || f.type == paradox::kFmtMemo) {
      std::string text;
      TextToProgram(bytes.data(), bytes.size(), &text);
      return Value::Text(std::move(text));
    }
    return Value::Bytes(std::move(bytes));
  }
  Value v = paradox::DecodeField(f.type, f.size, p);
  // A damaged timestamp can hold any double; keep to what a day number can express.
  if (v.kind() == Value::Kind::kDateTime && !DateTimeInRange(v.as_double()))
    throw EngineError(path_ + ": field " + field_defs_[size_t(field)].name +
                      " holds an impossible timestamp");
  if (v.kind() == Value::Kind::kText) {
    std::string text;
    TextToProgram(v.as_string().data(), v.as_string().size(), &text);
    return Value::Text(std::move(text));
  }
  return v;
}

std::string FormatValue(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull:
      return {};
    case Value::Kind::kInt:
      return std::to_string(v.as_int());
    case Value::Kind::kDouble:
      return FormatDouble(v.as_double());
    case Value::Kind::kText:
    case Value::Kind::kBytes:
      return v.as_string();
    case Value::Kind::kBool:
      return v.as_bool() ? "True" : "False";
    case Value::Kind::kDate:
    case Value::Kind::kTime:
    case Value::Kind::kDateTime: {
      std::string out;
      if (v.kind() == Value::Kind::kDate)
        AppendIsoDate(int32_t(v.as_int()), &out);
      else if (v.kind() == Value::Kind::kTime)
        AppendIsoTime(v.as_int(), &out);
      else
        AppendIsoDateTime(v.as_double(), &out);
      return out;
    }
  }
  return {};
}

std::string Cursor::AsText(int field) const { return FormatValue(AsVariant(field)); }

double Cursor::AsNumber(int field) const {
  Value v = AsVariant(field);
  switch (v.kind()) {
    case Value::Kind::kNull:
      return 0;
    case Value::Kind::kInt:
    case Value::Kind::kBool:
    case Value::Kind::kDate:
    case Value::Kind::kTime:
      return double(v.as_int());
    case Value::Kind::kDouble:
    case Value::Kind::kDateTime:
      return v.as_double();
    default: {
      double d = 0;
      const std::string& s = v.as_string();
      auto r = std::from_chars(s.data(), s.data() + s.size(), d);
      if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        throw EngineError("'" + s + "' is not a valid number");
      return d;
    }
  }
}

double Cursor::AsDateTime(int field) const {
  Value v = AsVariant(field);
  switch (v.kind()) {
    case Value::Kind::kNull:
      return 0;
    case Value::Kind::kDate:
      return double(v.as_int()) * double(kMsPerDay);
    case Value::Kind::kTime:
      return double(v.as_int());
    case Value::Kind::kDateTime:
      return v.as_double();
    default:
      throw EngineError("Field " + field_defs_[size_t(field)].name + " is not a date or time");
  }
}

// Secondary indexes live beside the table as T.Xnn (single field) and T.XGn (composite or named).
std::vector<TIndexDef> Cursor::DbIndexDefs() const {
  std::vector<TIndexDef> defs;
  for (IndexInfo& ix : ListIndexFiles()) defs.push_back(std::move(ix.def));
  return defs;
}

std::vector<Cursor::IndexFile> Cursor::DbIndexFiles() const {
  std::vector<IndexFile> files;
  for (IndexInfo& ix : ListIndexFiles())
    files.push_back(IndexFile{std::move(ix.def), std::move(ix.path), std::move(ix.fields)});
  return files;
}

std::vector<Cursor::IndexInfo> Cursor::ListIndexFiles() const {
  CheckOpen();
  std::vector<IndexInfo> defs;
  const auto& h = table_->header();
  auto join_names = [&](const std::vector<int>& idx) {
    std::string s;
    for (int i : idx) {
      if (!s.empty()) s += ';';
      s += field_defs_[size_t(i)].name;
    }
    return s;
  };
  if (h.keyed()) {
    std::vector<int> keys;
    for (int i = 0; i < h.key_fields; ++i) keys.push_back(i);
    defs.push_back(IndexInfo{TIndexDef{"", join_names(keys), ixPrimary}, "", keys});
  }
  const std::string file_name = path_.substr(path_.rfind('/') + 1);
  const std::string base = file_name.substr(0, file_name.size() - 3);
  std::vector<std::pair<std::string, std::string>> singles, composites;  // (sort key, path)
  for (const std::string& f : paradox::ListFiles(dir_)) {
    if (f.size() != base.size() + 4 || !EqualsNoCase(f.substr(0, base.size() + 1), base + "."))
      continue;
    std::string ext = f.substr(base.size() + 1);
    for (char& ch : ext) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    if (ext[0] != 'X') continue;
    if (ext[1] == 'G' && IsHex(ext[2]))
      composites.emplace_back(ext, paradox::JoinPath(dir_, f));
    else if (IsHex(ext[1]) && IsHex(ext[2]))
      singles.emplace_back(ext, paradox::JoinPath(dir_, f));
  }
  std::sort(singles.begin(), singles.end());
  std::sort(composites.begin(), composites.end());
  const auto& cp = paradox::CodePage::Get(table_->code_page());
  auto describe = [&](const std::string& xpath, bool composite) {
    auto x = paradox::TableFile::Open(xpath);
    const auto& xh = x->header();
    const bool maintained =
        xh.file_type == paradox::kMaintainedX || xh.file_type == paradox::kMaintainedXG;
    int trailer = maintained ? h.key_fields + 1 : 3;
    int m = int(xh.fields.size()) - trailer;
    if (m < 1) m = 1;
    std::vector<int> idx;
    bool descending = (xh.index_flags & paradox::kIndexFlagDescending) != 0;
    for (int i = 0; i < m; ++i) {
      const auto& xf = xh.fields[size_t(i)];
      int number = (composite || i > 0)
                       ? (xf.number & 0x7FFF)
                       : (xh.index_field_number ? xh.index_field_number : xf.number & 0x7FFF);
      if (xf.number & paradox::kFieldNumberDescending) descending = true;
      int found = -1;
      // Field numbers refer to the table's field ids; fall back to positions, then names.
      for (size_t k = 0; k < h.fields.size(); ++k)
        if (h.fields[k].number == number) {
          found = int(k);
          break;
        }
      if (found < 0 && number >= 1 && number <= int(h.fields.size())) found = number - 1;
      if (found < 0)
        for (size_t k = 0; k < h.fields.size(); ++k)
          if (h.fields[k].name == xf.name) {
            found = int(k);
            break;
          }
      if (found < 0) throw EngineError(xpath + ": index refers to a field the table does not have");
      idx.push_back(found);
    }
    TIndexDef d;
    d.fields = join_names(idx);
    d.name = composite ? cp.ToProgram(xh.index_name) : field_defs_[size_t(idx[0])].name;
    if (composite && d.name.empty()) d.name = d.fields;
    if (descending) d.options |= ixDescending;
    if (xh.index_flags & paradox::kIndexFlagUnique) d.options |= ixUnique;
    if (composite && (xh.index_flags & paradox::kIndexFlagCaseInsensitive))
      d.options |= ixCaseInsensitive;
    defs.push_back(IndexInfo{d, xpath, idx});
  };
  for (const auto& s : singles) describe(s.second, false);
  for (const auto& c : composites) describe(c.second, true);
  return defs;
}

}  // namespace tablorix
