// The writing side of sessions and cursors: editing rows, and the operations on closed tables.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/paradox/blob_file.h"
#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/paradox/table_store.h"
#include "engine/paradox/val_file.h"
#include "engine/session.h"

namespace tablorix {

namespace {

// Holds a closed table exclusively for the length of an operation.
class ExclusiveUse {
 public:
  explicit ExclusiveUse(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EngineError(path + ": cannot open");
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      throw EngineError("Table is busy: " + path + " is in use");
    }
  }
  ~ExclusiveUse() { ::close(fd_); }

 private:
  int fd_;
};

bool ParseInt(const std::string& t, int64_t* out) {
  if (t.empty()) return false;
  char* end;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (*end != 0 || errno) return false;
  *out = v;
  return true;
}

bool ParseDouble(const std::string& t, double* out) {
  if (t.empty()) return false;
  char* end;
  double v = std::strtod(t.c_str(), &end);
  if (*end != 0) return false;
  *out = v;
  return true;
}

// A date with the year first ("YYYY-MM-DD", also with '.' or '/' between the parts) or last:
// "MM/DD/YYYY" with '/', "DD.MM.YYYY" with '.' or '-' (a last part of three or more digits
// where the first has fewer is the year). What follows the third part is not read.
bool ParseDate(const std::string& t, int32_t* day) {
  size_t i = 0;
  const size_t n = t.size();
  while (i < n && t[i] == ' ') ++i;
  int part[3], len[3];
  char sep = 0;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= n || (t[i] >= '0' && t[i] <= '9')) return false;
      if (k == 1) sep = t[i];
      ++i;
    }
    int v = 0, d = 0;
    for (; i < n && d < 9 && t[i] >= '0' && t[i] <= '9'; ++i, ++d) v = v * 10 + (t[i] - '0');
    if (d == 0) return false;
    part[k] = v;
    len[k] = d;
  }
  int y = part[0], m = part[1], d = part[2];
  if (len[0] < 3 && len[2] >= 3) {
    y = part[2];
    m = sep == '/' ? part[0] : part[1];
    d = sep == '/' ? part[1] : part[0];
  }
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  *day = DayNumberFromCivil(y, m, d);
  return CivilFromDayNumber(*day).day == d;
}

// "HH:MM[:SS[.fff]]" (a fraction of a second to the millisecond, '.' or ','), with an optional
// AM/PM after a blank as in twelve-hour locales.
bool ParseTime(const std::string& t, int32_t* ms) {
  size_t i = 0;
  const size_t n = t.size();
  auto number = [&](int max_digits, int* out) {
    int v = 0, k = 0;
    for (; i < n && k < max_digits && t[i] >= '0' && t[i] <= '9'; ++i, ++k)
      v = v * 10 + (t[i] - '0');
    *out = v;
    return k > 0;
  };
  while (i < n && t[i] == ' ') ++i;
  int h = 0, m = 0, sec = 0, milli = 0;
  if (!number(2, &h) || i >= n || t[i++] != ':' || !number(2, &m)) return false;
  if (i < n && t[i] == ':') {
    ++i;
    if (!number(2, &sec)) return false;
    if (i < n && (t[i] == '.' || t[i] == ',')) {
      ++i;
      int scale = 100, k = 0;
      while (i < n && t[i] >= '0' && t[i] <= '9') {
        if (k++ < 3) milli += (t[i] - '0') * scale, scale /= 10;
        ++i;
      }
      if (k == 0) return false;
    }
  }
  while (i < n && t[i] == ' ') ++i;
  if (i < n) {
    const std::string rest = t.substr(i);
    const bool am = paradox::EqualsNoCase(rest, "AM"), pm = paradox::EqualsNoCase(rest, "PM");
    if (!am && !pm && rest != "Z") return false;  // Z: ISO's UTC mark, taken as written
    if (am || pm) {
      if (h < 1 || h > 12) return false;
      h = (h % 12) + (pm ? 12 : 0);
    }
  }
  if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return false;
  *ms = ((h * 60 + m) * 60 + sec) * 1000 + milli;
  return true;
}

// A text value read by the type of the field it is stored into.
Value FromText(uint8_t type, const std::string& t, const std::string& field) {
  auto bad = [&]() -> Value { throw EngineError("Invalid value for field " + field + ": " + t); };
  using namespace paradox;
  switch (type) {
    case kShort:
    case kLong:
    case kAutoInc: {
      int64_t v;
      if (!ParseInt(t, &v)) return bad();
      return Value::Int(v);
    }
    case kCurrency:
    case kNumber:
    case kBcd: {
      double v;
      if (!ParseDouble(t, &v)) return bad();
      return Value::Double(v);
    }
    case kLogical:
      if (EqualsNoCase(t, "true") || t == "1") return Value::Bool(true);
      if (EqualsNoCase(t, "false") || t == "0") return Value::Bool(false);
      return bad();
    case kDate: {
      int32_t d;
      if (!ParseDate(t, &d)) return bad();
      return Value::Date(d);
    }
    case kTime: {
      int32_t ms;
      if (!ParseTime(t, &ms)) return bad();
      return Value::Time(ms);
    }
    case kTimestamp: {
      const size_t sep = t.find_first_of("T ");
      int32_t d, ms = 0;
      if (!ParseDate(t.substr(0, sep), &d)) return bad();
      if (sep != std::string::npos && !ParseTime(t.substr(sep + 1), &ms)) return bad();
      return Value::DateTime(double(d) * double(kMsPerDay) + ms);
    }
    default:
      return Value::Text(t);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Editing.

const uint8_t* Cursor::CurrentBytes() const { return RecordBytes(); }

void Cursor::Reopen() {
  table_ = paradox::TableFile::Open(path_);
  block_.resize(size_t(table_->header().block_size));
  blobs_.reset();
  blobs_tried_ = false;
}

void Cursor::PositionAt(const paradox::RecordPos& pos) {
  auto& data = store_->data();
  if (!pos.valid() || pos.slot >= data.block_count(pos.entry)) {
    SeekFirst();
    return;
  }
  LoadBlock(data.block_number(pos.entry));
  index_ = pos.slot;
  recno_ = data.RecNoOf(pos);
  eof_ = bof_ = false;
  steps_ = 0;
}

paradox::RecordPos Cursor::LocateCurrent() {
  CheckRow();
  const uint8_t* mine =
      block_.data() + paradox::kBlockHeaderSize + size_t(index_) * table_->header().record_size;
  auto& data = store_->data();
  data.Load();
  paradox::RecordPos pos;
  if (data.keyed()) {
    bool found;
    pos = store_->Find(mine, &found);
    if (!found) pos = {};
  } else {
    pos = data.PosOfBlock(uint16_t(block_no_), index_);
  }
  if (!pos.valid() ||
      std::memcmp(data.Record(pos), mine, size_t(table_->header().record_size)) != 0)
    throw EngineError("Record was changed or deleted by another user: " + name_);
  return pos;
}

void Cursor::Insert() {
  CheckOpen();
  if (!store_) throw EngineError("Table is read-only: " + name_);
  if (state_ != State::kBrowse) Cancel();
  edit_.assign(size_t(table_->header().record_size), 0);
  edit_original_.clear();
  edit_blobs_.clear();
  edit_blob_nulls_.clear();
  state_ = State::kInsert;
}

void Cursor::Edit() {
  CheckOpen();
  if (!store_) throw EngineError("Table is read-only: " + name_);
  if (state_ == State::kEdit) return;
  if (state_ == State::kInsert) return;
  CheckRow();
  const uint8_t* p = RecordBytes();
  edit_.assign(p, p + table_->header().record_size);
  edit_original_ = edit_;
  edit_blobs_.clear();
  edit_blob_nulls_.clear();
  state_ = State::kEdit;
}

void Cursor::SetValue(int field, const Value& value) {
  CheckOpen();
  if (state_ == State::kBrowse) throw EngineError("Table is not in edit or insert mode: " + name_);
  const auto& f = table_->header().fields.at(size_t(field));
  const std::string& fname = field_defs_[size_t(field)].name;
  const auto& cp = paradox::CodePage::Get(table_->code_page());
  if (paradox::IsBlobType(f.type)) {
    edit_blobs_.erase(std::remove_if(edit_blobs_.begin(), edit_blobs_.end(),
                                     [&](const auto& b) { return b.first == field; }),
                      edit_blobs_.end());
    edit_blob_nulls_.erase(std::remove(edit_blob_nulls_.begin(), edit_blob_nulls_.end(), field),
                           edit_blob_nulls_.end());
    if (value.is_null() || value.as_string().empty()) {
      edit_blob_nulls_.push_back(field);
      return;
    }
    std::string bytes = value.as_string();
    if (f.type == paradox::kMemo || f.type == paradox::kFmtMemo) bytes = cp.FromProgram(bytes);
    edit_blobs_.push_back({field, std::move(bytes)});
    return;
  }
  Value v = value;
  if (v.kind() == Value::Kind::kText && f.type != paradox::kAlpha && f.type != paradox::kBytes)
    v = v.as_string().empty() ? Value::Null() : FromText(f.type, v.as_string(), fname);
  if (v.kind() == Value::Kind::kText && f.type == paradox::kAlpha)
    v = Value::Text(cp.FromProgram(v.as_string()));
  if (v.kind() == Value::Kind::kText && f.type == paradox::kBytes) v = Value::Bytes(v.as_string());
  try {
    paradox::EncodeField(f.type, f.size, v, edit_.data() + f.offset);
  } catch (const EngineError& e) {
    throw EngineError("Field " + fname + ": " + e.what());
  }
}

void Cursor::Cancel() {
  state_ = State::kBrowse;
  edit_.clear();
  edit_original_.clear();
  edit_blobs_.clear();
  edit_blob_nulls_.clear();
}

namespace {

// Comparable number of a decoded value; false for kinds that have no order here (text, bytes).
bool OrderKey(const Value& v, double* out) {
  switch (v.kind()) {
    case Value::Kind::kInt:
    case Value::Kind::kDate:
    case Value::Kind::kTime:
    case Value::Kind::kBool:
      *out = double(v.as_int());
      return true;
    case Value::Kind::kDouble:
    case Value::Kind::kDateTime:
      *out = v.as_double();
      return true;
    default:
      return false;
  }
}

}  // namespace

void Cursor::CheckValidity(const std::vector<uint8_t>& rec) const {
  if (!checks_) return;
  const auto& h = table_->header();
  for (size_t i = 0; i < checks_->fields.size() && i < h.fields.size(); ++i) {
    const paradox::FieldCheck& check = checks_->fields[i];
    const paradox::FieldInfo& f = h.fields[i];
    const std::string& name = field_defs_[i].name;
    if (f.offset < 0 || size_t(f.offset + f.length) > rec.size()) continue;
    const uint8_t* p = rec.data() + f.offset;
    if (paradox::IsBlobType(f.type)) {
      if (!check.required) continue;
      const int field = int(i);
      bool null = std::find(edit_blob_nulls_.begin(), edit_blob_nulls_.end(), field) !=
                  edit_blob_nulls_.end();
      auto it = std::find_if(edit_blobs_.begin(), edit_blobs_.end(),
                             [&](const auto& b) { return b.first == field; });
      if (it != edit_blobs_.end())
        null = it->second.empty();
      else if (!null)
        null = std::all_of(p, p + f.length, [](uint8_t b) { return b == 0; });
      if (null) throw EngineError("Field value required: " + name);
      continue;
    }
    // Autoincrement values are issued when the record is stored.
    if (f.type == paradox::kAutoInc) continue;
    const Value v = paradox::DecodeField(f.type, f.size, p);
    if (v.is_null() ||
        (f.type == paradox::kAlpha && v.as_string().find_first_not_of(' ') == std::string::npos)) {
      if (check.required) throw EngineError("Field value required: " + name);
      continue;
    }
    double x = 0, bound = 0;
    if (!OrderKey(v, &x)) continue;  // text order depends on the sort order: not checked
    if (OrderKey(check.minimum, &bound) && x < bound)
      throw EngineError("Value out of range: " + name + " (minimum " + FormatValue(check.minimum) +
                        ")");
    if (OrderKey(check.maximum, &bound) && x > bound)
      throw EngineError("Value out of range: " + name + " (maximum " + FormatValue(check.maximum) +
                        ")");
  }
}

void Cursor::Post() {
  CheckOpen();
  if (state_ == State::kBrowse) return;
  CheckValidity(edit_);  // before anything is written; the edit stays for the user to correct
  const auto& h = table_->header();
  std::vector<uint8_t> rec = edit_;
  paradox::RecordPos pos;
  const bool own_txn = !batch_;
  if (own_txn) store_->Begin();
  try {
    paradox::RecordPos at;
    if (state_ == State::kEdit) at = LocateCurrent();
    // Blobs: the new values are written, the values they replace are freed.
    auto replace = [&](int field) {
      const auto& f = h.fields[size_t(field)];
      if (state_ == State::kEdit) store_->FreeBlob(field, edit_original_.data() + f.offset);
      std::memset(rec.data() + f.offset, 0, size_t(f.length));
    };
    for (int field : edit_blob_nulls_) replace(field);
    for (const auto& [field, bytes] : edit_blobs_) {
      replace(field);
      store_->StoreBlob(field, bytes, rec.data() + h.fields[size_t(field)].offset);
    }
    if (state_ == State::kInsert)
      pos = store_->Insert(&rec);
    else
      pos = store_->Update(at, &rec);
    if (own_txn) store_->Commit();
  } catch (...) {
    // Batch or not, the transaction is undone; the edit stays so the user can correct it.
    if (store_->in_transaction()) store_->Rollback();
    batch_ = false;
    throw;
  }
  Cancel();
  if (own_txn) {
    Reopen();
    PositionAt(pos);
    Moved();
  }
}

void Cursor::Delete() {
  CheckOpen();
  if (!store_) throw EngineError("Table is read-only: " + name_);
  if (state_ == State::kInsert) {
    Cancel();
    return;
  }
  Cancel();
  const int64_t recno = recno_;
  const bool own_txn = !batch_;
  if (own_txn) store_->Begin();
  try {
    store_->Delete(LocateCurrent());
    if (own_txn) store_->Commit();
  } catch (...) {
    if (store_->in_transaction()) store_->Rollback();
    batch_ = false;
    throw;
  }
  if (own_txn) {
    Reopen();
    auto& data = store_->data();
    const int64_t n = data.record_count();
    if (n == 0) {
      SeekFirst();
    } else {
      PositionAt(data.PosOfRecNo(std::min(recno, n)));
    }
    Moved();
  }
}

void Cursor::Refresh() {
  CheckOpen();
  if (state_ != State::kBrowse) Cancel();
  const Bookmark b = SaveBookmark();
  paradox::TableStore::RecoverTable(path_);
  Reopen();
  if (store_) {
    store_->Begin();  // picks up other writers' changes
    store_->Commit();
  }
  try {
    if (b.block != 0) {
      LoadBlock(b.block);
      if (b.index < count_) {
        index_ = b.index;
        recno_ = b.recno;
        eof_ = bof_ = false;
        Moved();
        return;
      }
    }
  } catch (const EngineError&) {
  }
  SeekFirst();
  Moved();
}

void Cursor::BeginBatch() {
  CheckOpen();
  if (!store_) throw EngineError("Table is read-only: " + name_);
  if (batch_) return;
  store_->Begin();
  batch_ = true;
}

void Cursor::EndBatch() {
  if (!batch_) return;
  batch_ = false;
  store_->Commit();
  Reopen();
  SeekFirst();
  Moved();
}

// ---------------------------------------------------------------------------------------------
// Closed tables.

namespace {
std::string DbFileName(const std::string& table) {
  std::string name = table;
  if (name.size() > 3 && paradox::EqualsNoCase(name.substr(name.size() - 3), ".db")) return name;
  return name + ".DB";
}

paradox::NewField ToNewField(const NewFieldDef& d) {
  paradox::NewField f;
  f.type = d.type;
  f.name = d.name;
  switch (d.type) {
    case paradox::kAlpha:
    case paradox::kBytes:
    case paradox::kBcd:
      f.size = uint8_t(d.size);
      if (d.type != paradox::kBcd && (d.size < 1 || d.size > 255))
        throw EngineError("Invalid size for field " + d.name);
      if (d.type == paradox::kBcd && (d.size < 0 || d.size > 32))
        throw EngineError("Invalid size for field " + d.name);
      break;
    case paradox::kMemo:
    case paradox::kBlob:
    case paradox::kFmtMemo:
    case paradox::kOle:
    case paradox::kGraphic: {
      int leader = d.size;
      if (d.type == paradox::kMemo && leader < 1) leader = 1;
      if (leader < 0 || leader > 240) throw EngineError("Invalid size for field " + d.name);
      f.size = uint8_t(leader + paradox::kBlobDescriptorSize);
      break;
    }
    default: {
      static const std::pair<uint8_t, uint8_t> kSizes[] = {
          {paradox::kDate, 4},     {paradox::kShort, 2},     {paradox::kLong, 4},
          {paradox::kCurrency, 8}, {paradox::kNumber, 8},    {paradox::kLogical, 1},
          {paradox::kTime, 4},     {paradox::kTimestamp, 8}, {paradox::kAutoInc, 4}};
      bool known = false;
      for (const auto& [t, s] : kSizes)
        if (t == d.type) {
          f.size = s;
          known = true;
        }
      if (!known) throw EngineError("Invalid type for field " + d.name);
    }
  }
  if (d.name.empty() || d.name.size() > 25) throw EngineError("Invalid field name: " + d.name);
  return f;
}
}  // namespace

void Session::DbCreateTable(const std::string& table, const std::vector<NewFieldDef>& fields,
                            int key_fields) {
  if (!open_) throw EngineError("No database is open");
  if (table.empty() || table.find('/') != std::string::npos || table == "." || table == "..")
    throw EngineError("Invalid table name: " + table);
  std::vector<paradox::NewField> nf;
  for (const NewFieldDef& d : fields) nf.push_back(ToNewField(d));
  if (key_fields < 0 || key_fields > int(nf.size())) throw EngineError("Invalid key field count");
  paradox::TableStore::CreateTable(directory_, DbFileName(table), nf, key_fields);
}

void Session::DbEmptyTable(const std::string& table) {
  const std::string path = TablePath(table);
  ExclusiveUse use(path);
  paradox::TableStore::Empty(path);
}

void Session::DbDeleteTable(const std::string& table) {
  const std::string path = TablePath(table);
  ExclusiveUse use(path);
  paradox::TableStore::DeleteTable(path);
}

bool Session::DbPackTable(const std::string& table, const std::string& driver_type) {
  try {
    if (!driver_type.empty() && !paradox::EqualsNoCase(driver_type, "PARADOX")) return false;
    const std::string path = TablePath(table);
    ExclusiveUse use(path);
    paradox::TableStore::Pack(path);
    return true;
  } catch (const EngineError&) {
    return false;
  }
}

void Session::DbAddIndex(const std::string& table, const std::string& name,
                         const std::string& fields, TIndexOptions options) {
  const std::string path = TablePath(table);
  ExclusiveUse use(path);
  auto t = paradox::TableFile::Open(path);
  const auto& cp = paradox::CodePage::Get(t->code_page());
  std::vector<int> positions;
  size_t start = 0;
  while (start <= fields.size()) {
    size_t end = fields.find(';', start);
    if (end == std::string::npos) end = fields.size();
    std::string f = fields.substr(start, end - start);
    while (!f.empty() && f.front() == ' ') f.erase(f.begin());
    while (!f.empty() && f.back() == ' ') f.pop_back();
    if (!f.empty()) {
      int found = -1;
      for (size_t i = 0; i < t->header().fields.size(); ++i)
        if (paradox::EqualsNoCase(cp.ToProgram(t->header().fields[i].name), f)) found = int(i);
      if (found < 0) throw EngineError("Field not found: " + f + " in " + table);
      positions.push_back(found);
    }
    start = end + 1;
  }
  if (positions.empty()) throw EngineError("An index needs at least one field");
  if (options & ixPrimary) {
    for (size_t i = 0; i < positions.size(); ++i)
      if (positions[i] != int(i))
        throw EngineError("The fields of a primary index must be the first fields of the table");
    paradox::TableStore::AddPrimaryIndex(path, int(positions.size()));
    return;
  }
  paradox::IndexDefinition def;
  def.name = cp.FromProgram(name);
  def.fields = positions;
  def.unique = (options & ixUnique) != 0;
  def.descending = (options & ixDescending) != 0;
  def.case_insensitive = (options & ixCaseInsensitive) != 0;
  // A single-field index under a name of its own is a named index.
  if (positions.size() == 1 && !name.empty() &&
      !paradox::EqualsNoCase(name, cp.ToProgram(t->header().fields[size_t(positions[0])].name)))
    def.named = true;
  t.reset();
  paradox::TableStore::AddIndex(path, def);
}

void Session::DbDeleteIndex(const std::string& table, const std::string& name) {
  const std::string path = TablePath(table);
  ExclusiveUse use(path);
  if (name.empty() || paradox::EqualsNoCase(name, "Primary")) {
    auto t = paradox::TableFile::Open(path);
    if (!t->header().keyed()) throw EngineError("The table has no primary index: " + table);
    t.reset();
    paradox::TableStore::DeletePrimaryIndex(path);
    return;
  }
  auto t = paradox::TableFile::Open(path);
  const std::string stored = paradox::CodePage::Get(t->code_page()).FromProgram(name);
  t.reset();
  paradox::TableStore::DeleteIndex(path, stored);
}

void Session::DbAddField(const std::string& table, const NewFieldDef& field) {
  const std::string path = TablePath(table);
  ExclusiveUse use(path);
  auto t = paradox::TableFile::Open(path);
  const auto& cp = paradox::CodePage::Get(t->code_page());
  paradox::Restructure r;
  for (size_t i = 0; i < t->header().fields.size(); ++i) {
    const auto& f = t->header().fields[i];
    if (paradox::EqualsNoCase(cp.ToProgram(f.name), field.name))
      throw EngineError("Duplicate field name: " + field.name);
    r.fields.push_back({f.type, f.size, f.name, 0});
    r.source.push_back(int(i));
  }
  paradox::NewField nf = ToNewField(field);
  nf.name = cp.FromProgram(nf.name);
  r.fields.push_back(nf);
  r.source.push_back(-1);
  t.reset();
  paradox::TableStore::ChangeStructure(path, r);
}

void Session::DbDropField(const std::string& table, const std::string& field) {
  const std::string path = TablePath(table);
  ExclusiveUse use(path);
  auto t = paradox::TableFile::Open(path);
  const auto& h = t->header();
  const auto& cp = paradox::CodePage::Get(t->code_page());
  paradox::Restructure r;
  int dropped = -1;
  for (size_t i = 0; i < h.fields.size(); ++i) {
    const auto& f = h.fields[i];
    if (dropped < 0 && paradox::EqualsNoCase(cp.ToProgram(f.name), field)) {
      dropped = int(i);
      continue;
    }
    r.fields.push_back({f.type, f.size, f.name, 0});
    r.source.push_back(int(i));
  }
  if (dropped < 0) throw EngineError("Field not found: " + field + " in " + table);
  if (r.fields.empty()) throw EngineError("A table needs at least one field");
  if (dropped < h.key_fields) r.key_fields = 0;  // dropping a key field drops the primary key
  t.reset();
  paradox::TableStore::ChangeStructure(path, r);
}

}  // namespace tablorix
