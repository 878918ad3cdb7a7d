#include "engine/paradox/table_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/paradox/blob_file.h"
#include "engine/paradox/codec.h"
#include "engine/paradox/codepage.h"
#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/paradox/io.h"
#include "engine/types.h"

namespace tablorix::paradox {

namespace {

constexpr off_t kWriteLockByte = off_t(1) << 30;

std::string BaseOf(const std::string& file_name) {
  const size_t dot = file_name.rfind('.');
  return dot == std::string::npos ? file_name : file_name.substr(0, dot);
}

std::string DirOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A companion's name in the case of the table file's extension ("orders.db" -> "orders.px").
std::string Companion(const std::string& dir, const std::string& base, const std::string& db_name,
                      std::string ext) {
  const std::string found = FindFileNoCase(dir, base + "." + ext);
  if (!found.empty()) return NameOf(found);
  const char c = db_name.empty() ? 'D' : db_name.back();
  if (std::islower(static_cast<unsigned char>(c)))
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return base + "." + ext;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Files of the family: table, indexes, blobs, validity checks, view settings, our journals.
std::vector<std::string> FamilyFiles(const std::string& dir, const std::string& base) {
  std::vector<std::string> out;
  for (const std::string& f : ListFiles(dir)) {
    if (f.size() <= base.size() + 1 || !EqualsNoCase(f.substr(0, base.size() + 1), base + "."))
      continue;
    std::string ext = f.substr(base.size() + 1);
    for (char& ch : ext) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    static const char* const kFixed[] = {"DB", "PX", "MB", "VAL", "TV", "FAM", "JNL", "SWP"};
    bool member =
        std::any_of(std::begin(kFixed), std::end(kFixed), [&](const char* e) { return ext == e; });
    if (ext.size() == 3 && (ext[0] == 'X' || ext[0] == 'Y') &&
        ((IsHexDigit(ext[1]) && IsHexDigit(ext[2])) || (ext[1] == 'G' && IsHexDigit(ext[2]))))
      member = true;
    if (member) out.push_back(f);
  }
  return out;
}

std::vector<KeyPart> PartsOf(const TableHeader& h, int count, int* length) {
  std::vector<KeyPart> parts;
  *length = 0;
  for (int i = 0; i < count && i < int(h.fields.size()); ++i) {
    parts.push_back({h.fields[size_t(i)].offset, h.fields[size_t(i)].length, false});
    *length += h.fields[size_t(i)].length;
  }
  return parts;
}

int BlockCodeFor(int record_size) {
  for (int code : {4, 8, 16, 32})
    if ((code * 1024 - kBlockHeaderSize) / record_size >= 3) return code;
  return 32;
}

int TreeBlockCodeFor(int key_length) {
  for (int code : {2, 4, 8, 16, 32})
    if ((code * 1024 - kBlockHeaderSize) / (key_length + 6) >= 4) return code;
  return 32;
}

// The primary-index header for a table header.
std::vector<uint8_t> TreeHeaderFor(const TableHeader& h, const std::vector<NewField>& key_fields,
                                   uint8_t file_type, const std::string& table_name) {
  NewFileHeader s;
  s.file_type = file_type;
  s.fields = key_fields;
  int len = 0;
  for (const NewField& f : key_fields) len += FieldLength(f.type, f.size);
  s.block_code = TreeBlockCodeFor(len);
  s.sort_order = h.sort_order;
  s.table_name = table_name;
  return BuildHeader(s);
}

std::vector<NewField> FieldsOf(const TableHeader& h, int from, int to) {
  std::vector<NewField> out;
  for (int i = from; i < to; ++i) {
    const FieldInfo& f = h.fields[size_t(i)];
    out.push_back({f.type, f.size, f.name, 0});
  }
  return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  int fd = OpenForWrite(path, true);
  try {
    TruncateFd(fd, 0, path);
    WriteAt(fd, 0, bytes.data(), bytes.size(), path);
    SyncFd(fd, path);
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
}

// Layout of the index records of `def` over a table with header `h`.
struct IndexLayout {
  std::vector<NewField> fields;
  std::vector<KeyPart> parts;
  int key_length = 0;
  uint8_t x_type = 0, y_type = 0;
};

IndexLayout LayoutOf(const IndexDefinition& def, const TableHeader& h, bool maintained) {
  IndexLayout l;
  for (int f : def.fields) {
    const FieldInfo& fi = h.fields[size_t(f)];
    uint16_t number = fi.number ? fi.number : uint16_t(f + 1);
    if (def.descending) number |= kFieldNumberDescending;
    l.fields.push_back({fi.type, fi.size, fi.name, number});
  }
  if (maintained) {
    for (int i = 0; i < h.key_fields; ++i) {
      const FieldInfo& fi = h.fields[size_t(i)];
      l.fields.push_back({fi.type, fi.size, fi.name, 0});
    }
    l.fields.push_back({kShort, 2, "Blk Num", 0});
  } else {
    l.fields.push_back({kLong, 4, "Tup No", 0});
    l.fields.push_back({kShort, 2, "Blk Num", 0});
    l.fields.push_back({kShort, 2, "Tup Offset", 0});
  }
  for (size_t i = def.fields.size(); i < l.fields.size(); ++i) l.fields[i].number = uint16_t(i + 1);
  int offset = 0;
  for (size_t i = 0; i + 1 < l.fields.size(); ++i) {
    const int len = FieldLength(l.fields[i].type, l.fields[i].size);
    l.parts.push_back({offset, len, def.descending && i < def.fields.size()});
    offset += len;
  }
  l.key_length = offset;
  const bool composite = def.composite();
  l.x_type = maintained ? (composite ? kMaintainedXG : kMaintainedX)
                        : (composite ? kSecondaryXG : kSecondaryX);
  l.y_type = composite ? kSecondaryYG : kSecondaryY;
  return l;
}

// The index record of table record `rec`.
std::vector<uint8_t> MakeIndexRecord(const IndexDefinition& def, const TableHeader& h,
                                     bool maintained, int x_record_size, const uint8_t* rec,
                                     uint16_t block, int64_t tup, int slot) {
  std::vector<uint8_t> x(size_t(x_record_size), 0);
  size_t at = 0;
  for (int f : def.fields) {
    const FieldInfo& fi = h.fields[size_t(f)];
    std::memcpy(&x[at], rec + fi.offset, size_t(fi.length));
    if (def.case_insensitive && fi.type == kAlpha)
      TableStore::UpperWin1250(&x[at], size_t(fi.length));
    at += size_t(fi.length);
  }
  if (maintained) {
    for (int i = 0; i < h.key_fields; ++i) {
      const FieldInfo& fi = h.fields[size_t(i)];
      std::memcpy(&x[at], rec + fi.offset, size_t(fi.length));
      at += size_t(fi.length);
    }
    EncodeInt16(int16_t(block), &x[at]);
  } else {
    EncodeInt32(int32_t(tup), &x[at]);
    EncodeInt16(int16_t(block), &x[at + 4]);
    EncodeInt16(int16_t(slot), &x[at + 6]);
  }
  return x;
}

int IndexPartLength(const IndexDefinition& def, const TableHeader& h) {
  int n = 0;
  for (int f : def.fields) n += h.fields[size_t(f)].length;
  return n;
}

// Writes the index files of `def` over the records of `db` to x_path / y_path.
void BuildIndexFiles(const IndexDefinition& def, DataFile& db, const std::string& dir,
                     const std::string& x_file, const std::string& y_file) {
  const TableHeader& h = db.header();
  const bool maintained = h.keyed();
  IndexLayout l = LayoutOf(def, h, maintained);
  NewFileHeader s;
  s.file_type = l.x_type;
  s.fields = l.fields;
  s.key_fields = int(l.fields.size()) - 1;
  int rs = 0;
  for (const NewField& f : l.fields) rs += FieldLength(f.type, f.size);
  s.block_code = BlockCodeFor(rs);
  s.code_page = h.header_code_page > 0 ? h.header_code_page : 1250;
  s.sort_order_id = h.sort_order_id.empty() ? kNewTableDriver : h.sort_order_id;
  s.sort_order = h.sort_order;
  s.table_name = NameOf(db.path());
  if (def.composite()) s.index_name = def.name;
  s.index_field_number = uint8_t(def.fields.front() + 1);
  uint8_t flags = 0;
  if (def.composite()) {
    if (def.case_insensitive) flags |= kIndexFlagCaseInsensitive;
    if (def.descending) flags |= kIndexFlagDescending;
    if (def.unique) flags |= kIndexFlagUnique;
  }
  s.index_flags = flags;
  s.structure_stamp = db.header_bytes()[hdr::kChangeCount2];
  auto x = DataFile::Create(dir, x_file, BuildHeader(s), nullptr);
  x->SetKey(l.parts, l.key_length);
  const int index_len = IndexPartLength(def, h);
  int64_t tup = 0;
  for (RecordPos p = db.First(); p.valid(); p = db.Next(p)) {
    const uint8_t* at = db.Record(p);  // one call: a second one may spill the cache and reload
    std::vector<uint8_t> rec(at, at + h.record_size);
    auto xr = MakeIndexRecord(def, h, maintained, x->record_size(), rec.data(),
                              db.block_number(p.entry), tup++, p.slot);
    if (def.unique) {
      std::vector<uint8_t> probe(xr.size(), 0);
      std::memcpy(probe.data(), xr.data(), size_t(index_len));
      bool found;
      RecordPos q = x->Seek(probe.data(), &found);
      if (q.valid() && q.slot < x->block_count(q.entry) &&
          std::memcmp(x->Record(q), xr.data(), size_t(index_len)) == 0)
        throw EngineError("Key violation: the unique index " + def.name +
                          " would hold a value twice");
    }
    x->Insert(xr.data());
  }
  x->Flush(true);
  std::vector<NewField> y_fields(l.fields.begin(), l.fields.end() - 1);
  for (NewField& f : y_fields) f.number = 0;
  NewFileHeader ys;
  ys.file_type = l.y_type;
  ys.fields = y_fields;
  ys.block_code = TreeBlockCodeFor(l.key_length);
  ys.sort_order = h.sort_order;
  ys.table_name = x_file;
  WriteFile(JoinPath(dir, y_file), x->BuildTree(BuildHeader(ys)));
}

// The header bytes of a tree file (.PX / .Y*), to be reused when the tree is rewritten. Read
// raw: only the size fields matter here, the tree's blocks are replaced whole.
std::vector<uint8_t> TreeHeaderBytes(const std::string& path) {
  auto f = File::Open(path);
  uint8_t head[0x58];
  f->ReadAt(0, head, sizeof head);
  const uint16_t size = GetU16(head + hdr::kHeaderSize);
  if (size < sizeof head || head[hdr::kBlockSize] < 1 || head[hdr::kBlockSize] > 32 ||
      GetU16(head + hdr::kRecordSize) == 0)
    throw EngineError(path + ": header is damaged");
  std::vector<uint8_t> raw(size);
  f->ReadAt(0, raw.data(), raw.size());
  return raw;
}

std::string YNameOf(const std::string& x_name) {
  std::string y = x_name;
  const size_t dot = y.rfind('.');
  y[dot + 1] = y[dot + 1] == 'x' ? 'y' : 'Y';
  return y;
}

}  // namespace

void TableStore::UpperWin1250(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = p[i];
    if (c >= 'a' && c <= 'z')
      p[i] = uint8_t(c - 32);
    else if (c == 0x9A || c == 0x9C || c == 0x9D || c == 0x9E || c == 0x9F)
      p[i] = uint8_t(c - 0x10);
    else if (c == 0xB3)
      p[i] = 0xA3;
    else if (c == 0xB9)
      p[i] = 0xA5;
    else if (c == 0xBE)
      p[i] = 0xBC;
    else if (c == 0xBF)
      p[i] = 0xAF;
    else if (c >= 0xE0 && c != 0xF7 && c != 0xFF)
      p[i] = uint8_t(c - 0x20);
  }
}

void TableStore::Recover(const std::string& dir, const std::string& base) {
  // A swap prepared inside a transaction that never committed (its journal is still there) is
  // dropped with the transaction.
  if (FileExists(Journal::PathFor(dir, base))) RemoveFile(JoinPath(dir, base + ".SWP"));
  FileSwap::Recover(dir, base);
  Journal::Recover(dir, base);
}

void TableStore::RecoverTable(const std::string& db_path) {
  const std::string dir = DirOf(db_path), base = BaseOf(NameOf(db_path));
  bool left_behind =
      FileExists(Journal::PathFor(dir, base)) || FileExists(JoinPath(dir, base + ".SWP"));
  // A rewrite that failed before its manifest was written leaves only its "name.new" files.
  if (!left_behind) {
    for (const std::string& f : ListFiles(dir))
      if (f.size() > base.size() + 5 && EqualsNoCase(f.substr(0, base.size() + 1), base + ".") &&
          f.compare(f.size() - 4, 4, ".new") == 0)
        left_behind = true;
  }
  if (!left_behind) return;
  Open(db_path);
}

std::unique_ptr<TableStore> TableStore::Open(const std::string& db_path) {
  auto s = std::unique_ptr<TableStore>(new TableStore());
  s->dir_ = DirOf(db_path);
  s->db_name_ = NameOf(db_path);
  s->base_ = BaseOf(s->db_name_);
  s->lock_fd_ = ::open(db_path.c_str(), O_RDWR | O_CLOEXEC);
  if (s->lock_fd_ < 0) throw EngineError(db_path + ": cannot be opened for writing");
  s->Lock();
  try {
    Recover(s->dir_, s->base_);
    s->journal_ = std::make_unique<Journal>(s->dir_, s->base_);
    s->OpenFiles();
  } catch (...) {
    s->Unlock();
    throw;
  }
  s->Unlock();
  return s;
}

TableStore::~TableStore() {
  if (in_txn_) {
    try {
      Rollback();
    } catch (const EngineError&) {
    }
  }
  CloseFd(lock_fd_);
}

void TableStore::OpenFiles() {
  db_ = DataFile::Open(dir_, db_name_, journal_.get());
  const TableHeader& h = db_->header();
  if (h.file_type != kKeyedDb && h.file_type != kUnkeyedDb)
    throw EngineError(db_->path() + ": is not a table");
  int len = 0;
  if (h.keyed()) {
    auto parts = PartsOf(h, h.key_fields, &len);
    db_->SetKey(std::move(parts), len);
  }
  auto t = TableFile::Open(db_->path());
  code_page_ = t->code_page();
  px_name_ = Companion(dir_, base_, db_name_, "PX");
  mb_name_ = Companion(dir_, base_, db_name_, "MB");
  mb_.reset();
  LoadIndexes();
  // Maintained index entries name the block of their record; keep that right when records move.
  db_->SetMoveHook([this](const uint8_t* records, int count, uint16_t block) {
    const TableHeader& th = db_->header();
    for (Index& ix : ix_) {
      if (!ix.x) continue;
      for (int i = 0; i < count; ++i) {
        auto xr = MakeIndexRecord(ix.def, th, true, ix.x->record_size(),
                                  records + size_t(i) * th.record_size, block, 0, 0);
        bool found;
        RecordPos q = ix.x->Seek(xr.data(), &found);
        if (found) ix.x->Overwrite(q, xr.data());
      }
    }
  });
}

void TableStore::LoadIndexes() {
  ix_.clear();
  definitions_.clear();
  const TableHeader& h = db_->header();
  std::vector<std::string> names;
  for (const std::string& f : FamilyFiles(dir_, base_)) {
    std::string ext = f.substr(base_.size() + 1);
    if (ext.size() == 3 && (ext[0] == 'X' || ext[0] == 'x')) names.push_back(f);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    Index ix;
    ix.x_name = name;
    ix.y_name = YNameOf(name);
    ix.x = DataFile::Open(dir_, name, journal_.get());
    const TableHeader& xh = ix.x->header();
    ix.maintained = xh.file_type == kMaintainedX || xh.file_type == kMaintainedXG;
    const bool composite = xh.file_type == kMaintainedXG || xh.file_type == kSecondaryXG;
    const int trailer = ix.maintained ? h.key_fields + 1 : 3;
    const int m = std::max(1, int(xh.fields.size()) - trailer);
    for (int i = 0; i < m; ++i) {
      const uint16_t number = xh.fields[size_t(i)].number;
      if (number & kFieldNumberDescending) ix.def.descending = true;
      int found = -1;
      for (size_t k = 0; k < h.fields.size(); ++k)
        if (h.fields[k].number == (number & 0x7FFF)) found = int(k);
      if (found < 0) throw EngineError(ix.x->path() + ": index refers to a missing field");
      ix.def.fields.push_back(found);
    }
    if (xh.index_flags & kIndexFlagDescending) ix.def.descending = true;
    if (composite) {
      ix.def.unique = (xh.index_flags & kIndexFlagUnique) != 0;
      ix.def.case_insensitive = (xh.index_flags & kIndexFlagCaseInsensitive) != 0;
      ix.def.name = xh.index_name;
      ix.def.named = true;
    } else {
      ix.def.name = h.fields[size_t(ix.def.fields[0])].name;
    }
    IndexLayout l = LayoutOf(ix.def, h, ix.maintained);
    int rs = 0;
    for (const NewField& f : l.fields) rs += FieldLength(f.type, f.size);
    if (rs != ix.x->record_size())
      throw EngineError(ix.x->path() + ": index records do not match the table");
    ix.x->SetKey(l.parts, l.key_length);
    definitions_.push_back(ix.def);
    if (!ix.maintained) ix.x.reset();  // rebuilt after changes
    ix_.push_back(std::move(ix));
  }
}

namespace {
// The writers' lock: one byte of the .DB under an open-file-description lock, so that it belongs
// to this store's descriptor and not to the process.
int WriteLock(int fd, short type, int command) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kWriteLockByte;
  fl.l_len = 1;
  return ::fcntl(fd, command, &fl);
}
}  // namespace

void TableStore::Lock() {
  while (WriteLock(lock_fd_, F_WRLCK, F_OFD_SETLKW) != 0) {
    if (errno != EINTR) throw EngineError(dir_ + "/" + db_name_ + ": cannot lock the table");
  }
}

void TableStore::Unlock() { WriteLock(lock_fd_, F_UNLCK, F_OFD_SETLK); }

void TableStore::Begin() {
  if (in_txn_) return;
  Lock();
  try {
    const bool left_behind =
        FileExists(Journal::PathFor(dir_, base_)) || FileExists(JoinPath(dir_, base_ + ".SWP"));
    bool changed = left_behind;
    if (!changed) {
      std::vector<uint8_t> now(db_->header_bytes().size());
      ReadFdAt(db_->fd(), 0, now.data(), now.size(), db_->path());
      changed = now != db_->header_bytes();
    }
    if (changed) {
      if (left_behind) Recover(dir_, base_);
      OpenFiles();  // another writer changed the table: start from what is on disk
    }
    journal_->Begin();
  } catch (...) {
    Unlock();
    throw;
  }
  in_txn_ = true;
}

void TableStore::NoteWhole(const std::string& name) {
  if (journal_->HasFile(name)) return;
  const std::string path = JoinPath(dir_, name);
  if (!FileExists(path)) {
    journal_->NoteFile(name, false, 0);
    return;
  }
  int fd = OpenForWrite(path, false);
  try {
    const uint64_t size = FdSize(fd, path);
    journal_->NoteFile(name, true, size);
    if (size > 0 && !journal_->HasRange(name, 0)) {
      std::vector<uint8_t> old(size);
      ReadFdAt(fd, 0, old.data(), old.size(), path);
      journal_->NoteOriginal(name, 0, old.data(), old.size());
    }
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
}

void TableStore::WriteWhole(const std::string& name, const std::vector<uint8_t>& bytes) {
  NoteWhole(name);
  journal_->Sync();
  const std::string path = JoinPath(dir_, name);
  int fd = OpenForWrite(path, true);
  try {
    const uint64_t size = FdSize(fd, path);
    WriteAt(fd, 0, bytes.data(), bytes.size(), path);
    if (size > bytes.size()) TruncateFd(fd, bytes.size(), path);
    SyncFd(fd, path);
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
}

void TableStore::Commit() {
  if (!in_txn_) return;
  bool rebuild = false;
  try {
    const TableHeader& h = db_->header();
    const bool db_changed = db_->changed();
    // The trees are built from the block directories first, so that their old contents go to
    // the journal together with the old blocks (one flush of the journal for the whole commit).
    std::vector<std::pair<std::string, std::vector<uint8_t>>> trees;
    if (h.keyed() && db_changed) {
      std::vector<uint8_t> th;
      const std::string px = JoinPath(dir_, px_name_);
      th = TreeHeaderFor(h, FieldsOf(h, 0, h.key_fields), kPrimaryIndex, db_name_);
      if (FileExists(px)) {
        // Keep the existing header's block size and stamps.
        try {
          std::vector<uint8_t> raw = TreeHeaderBytes(px);
          if (GetU16(&raw[hdr::kRecordSize]) == GetU16(&th[hdr::kRecordSize])) th = raw;
        } catch (const EngineError&) {
        }
      }
      trees.push_back({px_name_, db_->BuildTree(th)});
    }
    for (Index& ix : ix_) {
      if (!ix.maintained) {
        if (db_changed) rebuild = ix.stale = true;
        continue;
      }
      if (!ix.x->changed()) continue;
      std::vector<uint8_t> yh = TreeHeaderBytes(JoinPath(dir_, ix.y_name));
      trees.push_back({ix.y_name, ix.x->BuildTree(yh)});
    }
    for (const auto& t : trees) NoteWhole(t.first);
    db_->Flush(true);
    if (mb_) mb_->Flush(true);
    for (Index& ix : ix_) {
      if (!ix.maintained || !ix.x->changed()) continue;
      ix.x->Flush(true);
      ix.x->clear_changed();
    }
    for (const auto& t : trees) WriteWhole(t.first, t.second);
    db_->clear_changed();
    // Indexes of unkeyed tables are rebuilt whole and swapped in with the change: the swap is
    // prepared while the journal still stands, so that removing the journal commits both.
    if (rebuild) {
      FileSwap swap(dir_, base_);
      try {
        for (Index& ix : ix_) {
          if (!ix.stale) continue;
          const std::string xn = NameOf(swap.NewPath(ix.x_name));
          const std::string yn = NameOf(swap.NewPath(ix.y_name));
          BuildIndexFiles(ix.def, *db_, dir_, xn, yn);
          ix.stale = false;
        }
        swap.Commit();
      } catch (...) {
        swap.Abandon();
        throw;
      }
    }
    journal_->End();
  } catch (...) {
    Rollback();
    throw;
  }
  in_txn_ = false;
  if (rebuild) {
    try {
      FileSwap::Recover(dir_, base_);
    } catch (...) {
      Unlock();  // the next open finishes the swap
      throw;
    }
  }
  header_at_begin_.clear();
  Unlock();
}

void TableStore::Rollback() {
  if (!in_txn_) return;
  in_txn_ = false;
  journal_->Abort();
  try {
    Recover(dir_, base_);
    OpenFiles();
  } catch (...) {
    // The journal stays; the next open plays it back.
    Unlock();
    throw;
  }
  Unlock();
}

RecordPos TableStore::Find(const uint8_t* record, bool* found) { return db_->Seek(record, found); }

void TableStore::CheckUnique(Index& ix, const std::vector<uint8_t>& xrec, const uint8_t* self) {
  if (!ix.def.unique || !ix.x) return;
  const TableHeader& h = db_->header();
  const int n = IndexPartLength(ix.def, h);
  std::vector<uint8_t> probe(xrec.size(), 0);
  std::memcpy(probe.data(), xrec.data(), size_t(n));
  bool found;
  RecordPos q = ix.x->Seek(probe.data(), &found);
  if (!q.valid() || q.slot >= ix.x->block_count(q.entry)) return;
  const uint8_t* other = ix.x->Record(q);
  if (std::memcmp(other, xrec.data(), size_t(n)) != 0) return;
  if (self) {
    int pk = 0;
    for (int i = 0; i < h.key_fields; ++i) pk += h.fields[size_t(i)].length;
    if (std::memcmp(other + n, self, size_t(pk)) == 0) return;  // the record itself
  }
  throw EngineError("Key violation");
}

void TableStore::IndexInsert(const uint8_t* rec, RecordPos pos) {
  for (Index& ix : ix_) {
    if (!ix.x) continue;
    auto xr = MakeIndexRecord(ix.def, db_->header(), true, ix.x->record_size(), rec,
                              db_->block_number(pos.entry), 0, 0);
    ix.x->Insert(xr.data());
  }
}

void TableStore::IndexDelete(const uint8_t* rec) {
  for (Index& ix : ix_) {
    if (!ix.x) continue;
    auto xr = MakeIndexRecord(ix.def, db_->header(), true, ix.x->record_size(), rec, 0, 0, 0);
    bool found;
    RecordPos q = ix.x->Seek(xr.data(), &found);
    if (found) ix.x->Delete(q);
  }
}

RecordPos TableStore::Insert(std::vector<uint8_t>* record) {
  const TableHeader& h = db_->header();
  if (record->size() != size_t(h.record_size)) throw EngineError("record of the wrong size");
  for (const FieldInfo& f : h.fields) {
    if (f.type != kAutoInc) continue;
    uint8_t* p = record->data() + f.offset;
    int32_t v;
    if (!DecodeInt32(p, &v)) {
      db_->set_auto_inc(db_->auto_inc() + 1);
      EncodeInt32(int32_t(db_->auto_inc()), p);
    } else if (v > 0 && uint32_t(v) > db_->auto_inc()) {
      db_->set_auto_inc(uint32_t(v));
    }
  }
  for (Index& ix : ix_)
    if (ix.x && ix.def.unique)
      CheckUnique(ix,
                  MakeIndexRecord(ix.def, h, true, ix.x->record_size(), record->data(), 0, 0, 0),
                  nullptr);
  RecordPos pos = db_->Insert(record->data());
  IndexInsert(record->data(), pos);
  return pos;
}

RecordPos TableStore::Update(RecordPos pos, std::vector<uint8_t>* record) {
  const TableHeader& h = db_->header();
  if (record->size() != size_t(h.record_size)) throw EngineError("record of the wrong size");
  std::vector<uint8_t> old(db_->Record(pos), db_->Record(pos) + h.record_size);
  for (Index& ix : ix_)
    if (ix.x && ix.def.unique)
      CheckUnique(ix,
                  MakeIndexRecord(ix.def, h, true, ix.x->record_size(), record->data(), 0, 0, 0),
                  old.data());
  if (db_->keyed() && db_->Compare(old.data(), record->data()) != 0) {
    bool found;
    db_->Seek(record->data(), &found);
    if (found) throw EngineError("Key violation");
    IndexDelete(old.data());
    db_->Delete(pos);
    RecordPos p = db_->Insert(record->data());
    IndexInsert(record->data(), p);
    return p;
  }
  db_->Overwrite(pos, record->data());
  for (Index& ix : ix_) {
    if (!ix.x) continue;
    auto a = MakeIndexRecord(ix.def, h, true, ix.x->record_size(), old.data(), 0, 0, 0);
    auto b = MakeIndexRecord(ix.def, h, true, ix.x->record_size(), record->data(), 0, 0, 0);
    if (ix.x->Compare(a.data(), b.data()) == 0) continue;
    bool found;
    RecordPos q = ix.x->Seek(a.data(), &found);
    if (found) ix.x->Delete(q);
    b = MakeIndexRecord(ix.def, h, true, ix.x->record_size(), record->data(),
                        db_->block_number(pos.entry), 0, 0);
    ix.x->Insert(b.data());
  }
  return pos;
}

void TableStore::Delete(RecordPos pos) {
  const TableHeader& h = db_->header();
  std::vector<uint8_t> old(db_->Record(pos), db_->Record(pos) + h.record_size);
  for (size_t i = 0; i < h.fields.size(); ++i)
    if (IsBlobType(h.fields[i].type)) FreeBlob(int(i), old.data() + h.fields[i].offset);
  IndexDelete(old.data());
  db_->Delete(pos);
}

void TableStore::StoreBlob(int field, const std::string& value, uint8_t* desc) {
  const TableHeader& h = db_->header();
  const FieldInfo& f = h.fields[size_t(field)];
  std::string stored = value;
  if ((f.type == kGraphic || f.type == kOle) && !value.empty()) {
    std::string prefix(kGraphicPrefixSize, '\0');
    prefix[0] = 1;
    prefix[3] = f.type == kGraphic ? 1 : 2;
    PutU32(reinterpret_cast<uint8_t*>(&prefix[4]), uint32_t(value.size()));
    stored = prefix + value;
  }
  const int leader = f.size - kBlobDescriptorSize;
  if (stored.size() > size_t(leader) || f.type == kGraphic || f.type == kOle) {
    if (h.crypt_key)
      throw EngineError(db_->path() + ": blobs of encrypted tables cannot be written");
    if (!mb_) {
      const std::string path = JoinPath(dir_, mb_name_);
      if (!FileExists(path)) {
        journal_->NoteFile(mb_name_, false, 0);
        journal_->Sync();
        BlobStore::CreateFile(path);
      }
      mb_ = BlobStore::Open(dir_, mb_name_, journal_.get());
    }
    mb_->Store(stored, f.size, desc);
    if (f.type == kGraphic || f.type == kOle) {
      std::memset(desc, 0, size_t(leader));
      std::memcpy(desc, value.data(), std::min<size_t>(size_t(leader), value.size()));
    }
  } else {
    std::memset(desc, 0, size_t(f.size));
    std::memcpy(desc, stored.data(), stored.size());
    PutU32(desc + leader + 4, uint32_t(stored.size()));
  }
}

void TableStore::FreeBlob(int field, const uint8_t* desc) {
  const FieldInfo& f = db_->header().fields[size_t(field)];
  const int leader = f.size - kBlobDescriptorSize;
  if (GetU32(desc + leader + 4) <= uint32_t(leader) && f.type != kGraphic && f.type != kOle) return;
  if (GetU32(desc + leader) == 0) return;
  if (db_->header().crypt_key) return;
  if (!mb_) {
    if (!FileExists(JoinPath(dir_, mb_name_))) return;
    mb_ = BlobStore::Open(dir_, mb_name_, journal_.get());
  }
  mb_->Free(desc, f.size);
}

// ---------------------------------------------------------------------------------------------
// Rewrites of closed tables.

namespace {

struct RewriteOptions {
  bool drop_rows = false;
  const Restructure* restructure = nullptr;
  int key_fields = -1;  // -1 = keep
  const IndexDefinition* add_index = nullptr;
  std::string drop_index;  // name of a secondary index to leave out
};

bool SameName(const std::string& a, const std::string& b) { return EqualsNoCase(a, b); }

void Rewrite(const std::string& db_path, const RewriteOptions& o) {
  const std::string dir = DirOf(db_path), db_name = NameOf(db_path), base = BaseOf(db_name);
  TableStore::Recover(dir, base);
  auto old = TableStore::Open(db_path);
  DataFile& src = old->data();
  const TableHeader& oh = src.header();
  src.Load();

  std::vector<NewField> fields;
  std::vector<int> source;
  if (o.restructure) {
    fields = o.restructure->fields;
    source = o.restructure->source;
  } else {
    for (size_t i = 0; i < oh.fields.size(); ++i) {
      fields.push_back({oh.fields[i].type, oh.fields[i].size, oh.fields[i].name, 0});
      source.push_back(int(i));
    }
  }
  int keys = o.key_fields >= 0                                   ? o.key_fields
             : (o.restructure && o.restructure->key_fields >= 0) ? o.restructure->key_fields
                                                                 : oh.key_fields;
  if (keys > int(fields.size())) throw EngineError("more key fields than fields");
  for (int i = 0; i < keys; ++i)
    if (IsBlobType(fields[size_t(i)].type))
      throw EngineError("a blob field cannot be part of the primary key");
  bool has_blobs = false;
  for (const NewField& f : fields) has_blobs |= IsBlobType(f.type);
  if (has_blobs && oh.crypt_key)
    throw EngineError(db_path + ": tables that are encrypted and have blobs cannot be rewritten");

  // The same structure keeps the header as it is (version, stamps, names, field ids).
  std::vector<uint8_t> header;
  const bool same = !o.restructure && keys == oh.key_fields;
  if (same) {
    header = src.header_bytes();
    uint8_t* h = header.data();
    PutU32(h + hdr::kNumRecords, 0);
    PutU16(h + hdr::kUsedBlocks, 0);
    PutU16(h + hdr::kFileBlocks, 0);
    PutU16(h + 0x3A, 0);
    PutU16(h + hdr::kFirstBlock, 0);
    PutU16(h + hdr::kLastBlock, 0);
    PutU16(h + hdr::kFirstFreeBlock, 0);
  } else {
    NewFileHeader s;
    s.file_type = keys > 0 ? kKeyedDb : kUnkeyedDb;
    s.fields = fields;
    // Fields kept keep their ids; new fields get fresh ones.
    uint16_t next_id = 0;
    for (const FieldInfo& f : oh.fields) next_id = std::max<uint16_t>(next_id, f.number & 0x7FFF);
    for (size_t i = 0; i < fields.size(); ++i)
      s.fields[i].number = source[i] >= 0 ? oh.fields[size_t(source[i])].number : ++next_id;
    s.key_fields = keys;
    int rs = 0;
    for (const NewField& f : fields) rs += FieldLength(f.type, f.size);
    s.block_code = std::max(oh.block_size / 1024, BlockCodeFor(rs));
    if ((s.block_code * 1024 - kBlockHeaderSize) / rs < 1) s.block_code = BlockCodeFor(rs);
    s.code_page = old->code_page();
    s.sort_order_id = oh.sort_order_id.empty() ? kNewTableDriver : oh.sort_order_id;
    s.sort_order = oh.sort_order;
    s.table_name = db_name;
    s.structure_stamp = uint8_t(src.header_bytes()[hdr::kChangeCount2] + 1);
    header = BuildHeader(s);
  }

  FileSwap swap(dir, base);
  try {
    const std::string new_db = NameOf(swap.NewPath(db_name));
    auto dst = DataFile::Create(dir, new_db, header, nullptr);
    const TableHeader& nh = dst->header();
    int len = 0;
    if (keys > 0) {
      auto parts = PartsOf(nh, keys, &len);
      dst->SetKey(std::move(parts), len);
    }
    const std::string px_name = Companion(dir, base, db_name, "PX");
    const std::string mb_name = Companion(dir, base, db_name, "MB");
    std::unique_ptr<BlobStore> mb;
    if (has_blobs) {
      const std::string p = swap.NewPath(mb_name);
      BlobStore::CreateFile(p);
      mb = BlobStore::Open(dir, NameOf(p), nullptr);
    }
    std::unique_ptr<BlobFile> old_mb;
    const std::string old_mb_path = JoinPath(dir, mb_name);
    if (has_blobs && FileExists(old_mb_path)) old_mb = BlobFile::Open(old_mb_path, oh.crypt_key);
    const auto& cp = CodePage::Get(old->code_page());
    (void)cp;
    std::vector<uint8_t> rec(size_t(nh.record_size));
    if (!o.drop_rows) {
      for (RecordPos p = src.First(); p.valid(); p = src.Next(p)) {
        const uint8_t* at = src.Record(p);  // one call: a second one may reload the block
        std::vector<uint8_t> in(at, at + oh.record_size);
        std::fill(rec.begin(), rec.end(), 0);
        for (size_t i = 0; i < fields.size(); ++i) {
          if (source[i] < 0) continue;
          const FieldInfo& of = oh.fields[size_t(source[i])];
          const FieldInfo& nf = nh.fields[i];
          const uint8_t* from = in.data() + of.offset;
          uint8_t* to = rec.data() + nf.offset;
          if (IsBlobType(of.type)) {
            if (!IsBlobType(nf.type)) continue;
            std::string value;
            if (!ReadBlobField(from, of.size, old_mb.get(), db_path, &value)) continue;
            const int old_leader = of.size - kBlobDescriptorSize;
            const int leader = nf.size - kBlobDescriptorSize;
            mb->Store(value, nf.size, to);
            // Graphic and OLE leaders hold the image, not the stored prefix.
            if ((nf.type == kGraphic || nf.type == kOle) && old_leader == leader)
              std::memcpy(to, from, size_t(leader));
          } else if (of.type == nf.type && of.size == nf.size) {
            std::memcpy(to, from, size_t(of.length));
          } else if (!IsBlobType(nf.type)) {
            Value v = DecodeField(of.type, of.size, from);
            try {
              EncodeField(nf.type, nf.size, v, to);
            } catch (const EngineError&) {
              std::memset(to, 0, size_t(nf.length));  // a value the new type cannot hold
            }
          }
        }
        dst->Insert(rec.data());
      }
    }
    dst->set_auto_inc(src.auto_inc());
    dst->Flush(true);
    if (mb) mb->Flush(true);
    if (keys > 0) {
      const std::string p = swap.NewPath(px_name);
      WriteFile(p,
                dst->BuildTree(TreeHeaderFor(nh, FieldsOf(nh, 0, keys), kPrimaryIndex, db_name)));
    } else if (FileExists(JoinPath(dir, px_name))) {
      swap.Remove(px_name);
    }
    if (!has_blobs && FileExists(old_mb_path)) swap.Remove(mb_name);

    // Secondary indexes: the ones kept, remapped to the new field positions, under fresh names.
    std::vector<IndexDefinition> definitions;
    for (const IndexDefinition& s : old->indexes()) {
      if (!o.drop_index.empty() && SameName(s.name, o.drop_index)) continue;
      IndexDefinition n = s;
      n.fields.clear();
      bool ok = true;
      for (int f : s.fields) {
        auto it = std::find(source.begin(), source.end(), f);
        if (it == source.end())
          ok = false;
        else
          n.fields.push_back(int(it - source.begin()));
      }
      if (ok) definitions.push_back(n);
    }
    if (o.add_index) definitions.push_back(*o.add_index);
    std::vector<std::string> keep;
    int next_group = 0;
    for (const IndexDefinition& s : definitions) {
      std::string ext;
      char buf[16];
      if (s.composite()) {
        std::snprintf(buf, sizeof buf, "XG%X", next_group++);
      } else {
        std::snprintf(buf, sizeof buf, "X%02X", s.fields[0] + 1);
      }
      const std::string x_name = Companion(dir, base, db_name, buf);
      const std::string y_name = YNameOf(x_name);
      keep.push_back(x_name);
      keep.push_back(y_name);
      BuildIndexFiles(s, *dst, dir, NameOf(swap.NewPath(x_name)), NameOf(swap.NewPath(y_name)));
    }
    for (const std::string& f : FamilyFiles(dir, base)) {
      std::string ext = f.substr(base.size() + 1);
      if (ext.size() == 3 && (std::toupper(ext[0]) == 'X' || std::toupper(ext[0]) == 'Y') &&
          std::find(keep.begin(), keep.end(), f) == keep.end())
        swap.Remove(f);
    }
    dst.reset();
    mb.reset();
    old.reset();
    swap.Commit();
  } catch (...) {
    swap.Abandon();
    throw;
  }
}

}  // namespace

void TableStore::CreateTable(const std::string& dir, const std::string& file_name,
                             const std::vector<NewField>& fields, int key_fields) {
  const std::string base = BaseOf(file_name);
  const std::string db_name =
      base + "." + (file_name.size() > base.size() ? file_name.substr(base.size() + 1) : "DB");
  if (!FindFileNoCase(dir, db_name).empty()) throw EngineError("Table already exists: " + base);
  if (key_fields > 16) throw EngineError("a primary key can have at most 16 fields");
  for (int i = 0; i < key_fields; ++i)
    if (IsBlobType(fields[size_t(i)].type))
      throw EngineError("a blob field cannot be part of the primary key");
  for (size_t i = 0; i < fields.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (EqualsNoCase(fields[i].name, fields[j].name))
        throw EngineError("Duplicate field name: " + fields[i].name);
  NewFileHeader s;
  s.file_type = key_fields > 0 ? kKeyedDb : kUnkeyedDb;
  s.fields = fields;
  s.key_fields = key_fields;
  int rs = 0;
  bool blobs = false;
  for (const NewField& f : fields) {
    const int len = FieldLength(f.type, f.size);
    if (len == 0) throw EngineError("Invalid field type or size: " + f.name);
    rs += len;
    blobs |= IsBlobType(f.type);
  }
  if (rs > 32 * 1024 - kBlockHeaderSize) throw EngineError("the record is too large");
  s.block_code = BlockCodeFor(rs);
  s.table_name = db_name;
  auto header = BuildHeader(s);
  Recover(dir, base);
  FileSwap swap(dir, base);
  try {
    WriteFile(swap.NewPath(db_name), header);
    if (key_fields > 0) {
      auto db = DataFile::Open(dir, db_name + ".new", nullptr);
      int len = 0;
      {
        auto parts = PartsOf(db->header(), key_fields, &len);
        db->SetKey(std::move(parts), len);
      }
      WriteFile(swap.NewPath(Companion(dir, base, db_name, "PX")),
                db->BuildTree(TreeHeaderFor(db->header(), FieldsOf(db->header(), 0, key_fields),
                                            kPrimaryIndex, db_name)));
    }
    if (blobs) BlobStore::CreateFile(swap.NewPath(Companion(dir, base, db_name, "MB")));
    swap.Commit();
  } catch (...) {
    swap.Abandon();
    throw;
  }
}

void TableStore::Pack(const std::string& db_path) { Rewrite(db_path, {}); }

void TableStore::Empty(const std::string& db_path) {
  RewriteOptions o;
  o.drop_rows = true;
  Rewrite(db_path, o);
}

void TableStore::ChangeStructure(const std::string& db_path, const Restructure& r) {
  RewriteOptions o;
  o.restructure = &r;
  Rewrite(db_path, o);
}

void TableStore::DeleteTable(const std::string& db_path) {
  const std::string dir = DirOf(db_path), base = BaseOf(NameOf(db_path));
  Recover(dir, base);
  FileSwap swap(dir, base);
  for (const std::string& f : FamilyFiles(dir, base)) swap.Remove(f);
  swap.Commit();
}

void TableStore::AddIndex(const std::string& db_path, const IndexDefinition& def) {
  const std::string dir = DirOf(db_path), db_name = NameOf(db_path), base = BaseOf(db_name);
  if (def.fields.empty()) throw EngineError("an index needs at least one field");
  Recover(dir, base);
  auto store = Open(db_path);
  const TableHeader& h = store->header();
  for (int f : def.fields) {
    if (f < 0 || f >= int(h.fields.size())) throw EngineError("the index names a missing field");
    if (IsBlobType(h.fields[size_t(f)].type))
      throw EngineError("a blob field cannot be indexed: " + h.fields[size_t(f)].name);
  }
  IndexDefinition s = def;
  if (s.composite() && s.name.empty()) throw EngineError("a composite index needs a name");
  if (!s.composite()) s.name = h.fields[size_t(s.fields[0])].name;
  for (const IndexDefinition& e : store->indexes())
    if (SameName(e.name, s.name)) throw EngineError("Index already exists: " + s.name);
  std::string ext;
  char buf[16];
  if (s.composite()) {
    int n = 0;
    for (; n < 16; ++n) {
      std::snprintf(buf, sizeof buf, "XG%X", n);
      if (FindFileNoCase(dir, base + "." + buf).empty()) break;
    }
    if (n == 16) throw EngineError("the table has too many named indexes");
  } else {
    std::snprintf(buf, sizeof buf, "X%02X", s.fields[0] + 1);
  }
  const std::string x_name = Companion(dir, base, db_name, buf);
  const std::string y_name = YNameOf(x_name);
  FileSwap swap(dir, base);
  try {
    store->data().Load();
    BuildIndexFiles(s, store->data(), dir, NameOf(swap.NewPath(x_name)),
                    NameOf(swap.NewPath(y_name)));
    store.reset();
    swap.Commit();
  } catch (...) {
    swap.Abandon();
    throw;
  }
}

void TableStore::AddPrimaryIndex(const std::string& db_path, int key_fields) {
  if (key_fields < 1 || key_fields > 16) throw EngineError("a primary key has 1 to 16 fields");
  RewriteOptions o;
  o.key_fields = key_fields;
  Rewrite(db_path, o);
}

void TableStore::DeletePrimaryIndex(const std::string& db_path) {
  RewriteOptions o;
  o.key_fields = 0;
  Rewrite(db_path, o);
}

void TableStore::DeleteIndex(const std::string& db_path, const std::string& name) {
  const std::string dir = DirOf(db_path), base = BaseOf(NameOf(db_path));
  Recover(dir, base);
  auto store = Open(db_path);
  for (const Index& ix : store->ix_) {
    if (!SameName(ix.def.name, name)) continue;
    const std::string x = ix.x_name, y = ix.y_name;
    store.reset();
    FileSwap swap(dir, base);
    swap.Remove(x);
    swap.Remove(y);
    swap.Commit();
    return;
  }
  throw EngineError("Index does not exist: " + name);
}

}  // namespace tablorix::paradox
