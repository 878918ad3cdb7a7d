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

#include "engine/paradox/blob_file.h"
#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/paradox/table_file.h"
#include "engine/paradox/table_store.h"

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
  const std::string path = TablePath(table);
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
  paradox::TableStore::RecoverTable(path);
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
  c->block_.resize(size_t(h.block_size));
  c->registry_ = cursors_;
  cursors_->insert(c.get());
  c->open_ = true;
  c->SeekFirst();
  return c;
}

void Session::DbCloseTable(Cursor& cursor) { cursor.Close(); }

// ---------------------------------------------------------------------------------------------

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

int64_t Cursor::RecNo() const { return open_ && block_no_ != 0 && count_ > 0 ? recno_ : 0; }

void Cursor::LoadBlock(int n) {
  paradox::BlockInfo info = table_->ReadBlock(n, block_.data());
  block_no_ = n;
  next_ = info.next;
  prev_ = info.prev;
  count_ = info.count;
}

void Cursor::SeekFirst() {
  block_no_ = 0;
  count_ = 0;
  index_ = 0;
  recno_ = 0;
  steps_ = 0;
  int n = table_->header().first_block;
  // Skip empty blocks at the head of the chain.
  while (n != 0) {
    if (++steps_ > table_->physical_blocks())
      throw EngineError(path_ + ": block chain is damaged (it loops)");
    LoadBlock(n);
    if (count_ > 0) break;
    n = next_;
  }
  if (count_ == 0) {
    block_no_ = 0;
    eof_ = bof_ = true;
    return;
  }
  recno_ = 1;
  eof_ = bof_ = false;
}

void Cursor::Moved() {
  if (notice_) notice_();
}

void Cursor::First() {
  CheckOpen();
  SeekFirst();
  Moved();
}

void Cursor::Next() {
  CheckOpen();
  bof_ = false;
  if (block_no_ == 0 || eof_) {
    eof_ = true;
    Moved();
    return;
  }
  if (index_ + 1 < count_) {
    ++index_;
    ++recno_;
    Moved();
    return;
  }
  // Keep the current row when there is no next one.
  const int here = block_no_, here_index = index_;
  int n = next_;
  while (n != 0) {
    if (++steps_ > table_->physical_blocks())
      throw EngineError(path_ + ": block chain is damaged (it loops)");
    LoadBlock(n);
    if (count_ > 0) {
      index_ = 0;
      ++recno_;
      Moved();
      return;
    }
    n = next_;
  }
  LoadBlock(here);
  index_ = here_index;
  eof_ = true;
  Moved();
}

void Cursor::Prior() {
  CheckOpen();
  eof_ = false;
  if (block_no_ == 0 || bof_) {
    bof_ = true;
    Moved();
    return;
  }
  if (index_ > 0) {
    --index_;
    --recno_;
    Moved();
    return;
  }
  const int here = block_no_;
  int p = prev_;
  int guard = 0;
  while (p != 0) {
    if (++guard > table_->physical_blocks())
      throw EngineError(path_ + ": block chain is damaged (it loops)");
    LoadBlock(p);
    if (next_ != here && count_ > 0 && guard == 1) {
      // A stale back link: find the predecessor by walking from the front.
      break;
    }
    if (count_ > 0) {
      index_ = count_ - 1;
      --recno_;
      Moved();
      return;
    }
    p = prev_;
  }
  if (p != 0) {
    Bookmark target{here, 0, recno_};
    SeekFirst();
    Bookmark last{};
    while (block_no_ != 0 && block_no_ != target.block) {
      last = SaveBookmark();
      last.index = count_ - 1;
      last.recno = recno_ + count_ - 1 - index_;
      int n = next_;
      bool moved = false;
      while (n != 0) {
        LoadBlock(n);
        if (count_ > 0) {
          index_ = 0;
          recno_ = last.recno + 1;
          moved = true;
          break;
        }
        n = next_;
      }
      if (!moved) break;
    }
    if (last.block != 0) {
      RestoreBookmark(last);
      return;
    }
    LoadBlock(here);
  } else {
    LoadBlock(here);
  }
  index_ = 0;
  bof_ = true;
  Moved();
}

Bookmark Cursor::SaveBookmark() const { return Bookmark{block_no_, index_, recno_}; }

void Cursor::RestoreBookmark(const Bookmark& b) {
  CheckOpen();
  if (b.block == 0) {
    SeekFirst();
  } else {
    LoadBlock(b.block);
    if (b.index >= count_) throw EngineError("Bookmark no longer valid in " + name_);
    index_ = b.index;
    recno_ = b.recno;
    eof_ = bof_ = false;
  }
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
  CheckOpen();
  std::vector<TIndexDef> defs;
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
    defs.push_back(TIndexDef{"", join_names(keys), ixPrimary});
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
    defs.push_back(d);
  };
  for (const auto& s : singles) describe(s.second, false);
  for (const auto& c : composites) describe(c.second, true);
  return defs;
}

}  // namespace tablorix
