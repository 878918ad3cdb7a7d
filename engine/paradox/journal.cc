#include "engine/paradox/journal.h"

#include <cstring>

#include "engine/paradox/file.h"
#include "engine/paradox/format.h"
#include "engine/paradox/io.h"
#include "engine/types.h"

namespace tablorix::paradox {

namespace {
constexpr char kJournalMagic[8] = {'T', 'B', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr char kSwapMagic[8] = {'T', 'B', 'X', 'S', 'W', 'A', 'P', '1'};
constexpr uint8_t kRecordSize = 1, kRecordBytes = 2;
constexpr uint64_t kAbsent = ~uint64_t(0);

uint32_t Checksum(const uint8_t* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

void Put(std::vector<uint8_t>* v, uint64_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v->push_back(uint8_t(x >> (8 * i)));
}
uint64_t Get(const uint8_t* p, int bytes) {
  uint64_t x = 0;
  for (int i = 0; i < bytes; ++i) x |= uint64_t(p[i]) << (8 * i);
  return x;
}

void Seal(std::vector<uint8_t>* v) { Put(v, Checksum(v->data(), v->size()), 4); }

// Whole content of a small file; empty when it is missing.
std::vector<uint8_t> Slurp(const std::string& path) {
  std::vector<uint8_t> data;
  if (!FileExists(path)) return data;
  int fd = OpenForWrite(path, false);
  try {
    data.resize(FdSize(fd, path));
    if (!data.empty()) ReadFdAt(fd, 0, data.data(), data.size(), path);
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
  return data;
}

std::string SwapPath(const std::string& dir, const std::string& base) {
  return JoinPath(dir, base + ".SWP");
}
}  // namespace

std::string Journal::PathFor(const std::string& dir, const std::string& base) {
  return JoinPath(dir, base + ".JNL");
}

Journal::Journal(std::string dir, std::string base)
    : dir_(std::move(dir)), base_(std::move(base)), path_(PathFor(dir_, base_)) {}

Journal::~Journal() { CloseFd(fd_); }

void Journal::Begin() {
  if (active()) return;
  fd_ = OpenForWrite(path_, true);
  TruncateFd(fd_, 0, path_);
  WriteAt(fd_, 0, kJournalMagic, sizeof kJournalMagic, path_);
  size_ = sizeof kJournalMagic;
  unsynced_ = 1;
  dir_synced_ = false;
  files_.clear();
  ranges_.clear();
}

void Journal::Append(const std::vector<uint8_t>& record) {
  WriteAt(fd_, size_, record.data(), record.size(), path_);
  size_ += record.size();
  ++unsynced_;
}

void Journal::NoteFile(const std::string& name, bool existed, uint64_t size) {
  if (!files_.insert(name).second) return;
  std::vector<uint8_t> r;
  r.push_back(kRecordSize);
  Put(&r, name.size(), 2);
  r.insert(r.end(), name.begin(), name.end());
  Put(&r, existed ? size : kAbsent, 8);
  Seal(&r);
  Append(r);
}

void Journal::NoteOriginal(const std::string& name, uint64_t offset, const void* data, size_t n) {
  if (!ranges_.insert({name, offset}).second) return;
  std::vector<uint8_t> r;
  r.reserve(n + name.size() + 24);
  r.push_back(kRecordBytes);
  Put(&r, name.size(), 2);
  r.insert(r.end(), name.begin(), name.end());
  Put(&r, offset, 8);
  Put(&r, n, 4);
  const uint8_t* p = static_cast<const uint8_t*>(data);
  r.insert(r.end(), p, p + n);
  Seal(&r);
  Append(r);
}

void Journal::Sync() {
  if (!active() || unsynced_ == 0) return;
  SyncFd(fd_, path_);
  // The journal's name must be on disk too before anything it protects is overwritten.
  if (!dir_synced_) SyncDirectory(dir_);
  dir_synced_ = true;
  unsynced_ = 0;
}

void Journal::End() {
  if (!active()) return;
  CloseFd(fd_);
  fd_ = -1;
  RemoveFile(path_);
  files_.clear();
  ranges_.clear();
}

void Journal::Abort() {
  CloseFd(fd_);
  fd_ = -1;
  files_.clear();
  ranges_.clear();
}

bool Journal::Recover(const std::string& dir, const std::string& base) {
  const std::string path = PathFor(dir, base);
  if (!FileExists(path)) return false;
  const std::vector<uint8_t> j = Slurp(path);
  struct Range {
    std::string name;
    uint64_t offset;
    size_t at, n;
  };
  std::vector<Range> ranges;
  std::vector<std::pair<std::string, uint64_t>> sizes;
  size_t pos = sizeof kJournalMagic;
  if (j.size() >= pos && std::memcmp(j.data(), kJournalMagic, pos) == 0) {
    // Records after the first damaged one were never flushed, so their ranges were never
    // overwritten: stopping there is right.
    while (pos + 3 <= j.size()) {
      const size_t start = pos;
      const uint8_t kind = j[pos];
      const size_t name_len = Get(&j[pos + 1], 2);
      pos += 3;
      if (pos + name_len > j.size()) break;
      std::string name(reinterpret_cast<const char*>(&j[pos]), name_len);
      pos += name_len;
      if (kind == kRecordSize) {
        if (pos + 12 > j.size()) break;
        const uint64_t size = Get(&j[pos], 8);
        pos += 8;
        if (Get(&j[pos], 4) != Checksum(&j[start], pos - start)) break;
        pos += 4;
        sizes.push_back({name, size});
      } else if (kind == kRecordBytes) {
        if (pos + 12 > j.size()) break;
        const uint64_t offset = Get(&j[pos], 8);
        const size_t n = Get(&j[pos + 8], 4);
        pos += 12;
        if (n > j.size() - pos || j.size() - pos - n < 4) break;
        const size_t at = pos;
        pos += n;
        if (Get(&j[pos], 4) != Checksum(&j[start], pos - start)) break;
        pos += 4;
        ranges.push_back({name, offset, at, n});
      } else {
        break;
      }
    }
  }
  for (const Range& r : ranges) {
    const std::string file = JoinPath(dir, r.name);
    if (!FileExists(file)) continue;
    int fd = OpenForWrite(file, false);
    try {
      WriteAt(fd, r.offset, &j[r.at], r.n, file);
      SyncFd(fd, file);
    } catch (...) {
      CloseFd(fd);
      throw;
    }
    CloseFd(fd);
  }
  for (const auto& [name, size] : sizes) {
    const std::string file = JoinPath(dir, name);
    if (size == kAbsent) {
      RemoveFile(file);
    } else if (FileExists(file)) {
      int fd = OpenForWrite(file, false);
      try {
        if (FdSize(fd, file) != size) TruncateFd(fd, size, file);
        SyncFd(fd, file);
      } catch (...) {
        CloseFd(fd);
        throw;
      }
      CloseFd(fd);
    }
  }
  SyncDirectory(dir);
  RemoveFile(path);
  return true;
}

FileSwap::FileSwap(std::string dir, std::string base)
    : dir_(std::move(dir)), base_(std::move(base)) {}

std::string FileSwap::NewPath(const std::string& name) {
  replace_.push_back(name);
  return JoinPath(dir_, name + ".new");
}

void FileSwap::Remove(const std::string& name) { remove_.push_back(name); }

void FileSwap::Commit() {
  for (const std::string& name : replace_) {
    const std::string p = JoinPath(dir_, name + ".new");
    int fd = OpenForWrite(p, false);
    try {
      SyncFd(fd, p);
    } catch (...) {
      CloseFd(fd);
      throw;
    }
    CloseFd(fd);
  }
  std::vector<uint8_t> m(kSwapMagic, kSwapMagic + sizeof kSwapMagic);
  auto add = [&](uint8_t action, const std::string& name) {
    m.push_back(action);
    Put(&m, name.size(), 2);
    m.insert(m.end(), name.begin(), name.end());
  };
  for (const auto& n : replace_) add(1, n);
  for (const auto& n : remove_) add(2, n);
  m.push_back(0);
  Seal(&m);
  const std::string manifest = SwapPath(dir_, base_);
  const std::string tmp = manifest + ".new";
  int fd = OpenForWrite(tmp, true);
  try {
    TruncateFd(fd, 0, tmp);
    WriteAt(fd, 0, m.data(), m.size(), tmp);
    SyncFd(fd, tmp);
  } catch (...) {
    CloseFd(fd);
    throw;
  }
  CloseFd(fd);
  RenameFile(tmp, manifest);
  SyncDirectory(dir_);
  // From here on the swap is decided; Recover finishes it if we fail below. Inside a
  // transaction the swap is decided by the journal's removal instead: the caller finishes it with
  // Recover once the transaction has committed, and recovery discards it while the journal is
  // still there.
  if (!FileExists(Journal::PathFor(dir_, base_))) Recover(dir_, base_);
  replace_.clear();
  remove_.clear();
}

void FileSwap::Abandon() {
  for (const std::string& name : replace_) {
    try {
      RemoveFile(JoinPath(dir_, name + ".new"));
    } catch (const EngineError&) {
    }
  }
  replace_.clear();
  remove_.clear();
}

bool FileSwap::Recover(const std::string& dir, const std::string& base) {
  const std::string manifest = SwapPath(dir, base);
  const std::vector<uint8_t> m = Slurp(manifest);
  bool valid = m.size() >= sizeof kSwapMagic + 5 &&
               std::memcmp(m.data(), kSwapMagic, sizeof kSwapMagic) == 0 &&
               Get(&m[m.size() - 4], 4) == Checksum(m.data(), m.size() - 4);
  std::vector<std::pair<uint8_t, std::string>> actions;
  if (valid) {
    size_t pos = sizeof kSwapMagic;
    while (pos < m.size() - 4 && m[pos] != 0) {
      if (pos + 3 > m.size() - 4) {
        valid = false;
        break;
      }
      const uint8_t action = m[pos];
      const size_t n = Get(&m[pos + 1], 2);
      pos += 3;
      if (pos + n > m.size() - 4) {
        valid = false;
        break;
      }
      actions.push_back({action, std::string(reinterpret_cast<const char*>(&m[pos]), n)});
      pos += n;
    }
  }
  if (valid) {
    for (const auto& [action, name] : actions) {
      const std::string target = JoinPath(dir, name);
      if (action == 1) {
        if (FileExists(target + ".new")) RenameFile(target + ".new", target);
      } else {
        RemoveFile(target);
      }
    }
    SyncDirectory(dir);
    RemoveFile(manifest);
    return true;
  }
  // No manifest (or one that was never completed): the old files stand; drop the new ones.
  RemoveFile(manifest + ".new");
  if (FileExists(manifest)) RemoveFile(manifest);
  for (const std::string& f : ListFiles(dir)) {
    if (f.size() > base.size() + 5 && EqualsNoCase(f.substr(0, base.size() + 1), base + ".") &&
        f.compare(f.size() - 4, 4, ".new") == 0)
      RemoveFile(JoinPath(dir, f));
  }
  return false;
}

}  // namespace tablorix::paradox
