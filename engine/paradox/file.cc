// POSIX file access for the storage layer.
#include "engine/paradox/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/types.h"

namespace tablorix::paradox {

std::unique_ptr<File> File::Open(const std::string& path, bool writable) {
  int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) throw EngineError(path + ": cannot open (" + std::strerror(errno) + ")");
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EngineError(path + ": not a regular file");
  }
  return std::unique_ptr<File>(new File(path, fd, uint64_t(st.st_size)));
}

File::~File() { ::close(fd_); }

void File::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (offset > size_ || n > size_ - offset)
    throw EngineError(path_ + ": file is truncated (needs " + std::to_string(offset + n) +
                      " bytes, has " + std::to_string(size_) + ")");
  auto* p = static_cast<char*>(buffer);
  while (n > 0) {
    ssize_t r = ::pread(fd_, p, n, off_t(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0)
      throw EngineError(path_ + ": read error" +
                        (r < 0 ? std::string(" (") + std::strerror(errno) + ")"
                               : std::string(" (unexpected end)")));
    p += r;
    n -= size_t(r);
    offset += uint64_t(r);
  }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::vector<std::string> ListFiles(const std::string& dir) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) throw EngineError(dir + ": cannot read the directory (" + std::strerror(errno) + ")");
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (e->d_type == DT_REG) {
      names.push_back(name);
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      if (::stat(JoinPath(dir, name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
        names.push_back(name);
    }
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// What a directory looked like: any file added, removed or renamed in it changes the stamp.
struct DirStamp {
  uint64_t dev = 0, ino = 0;
  int64_t mtime_ns = -1;
  bool operator==(const DirStamp&) const = default;
};

bool StampOf(const std::string& dir, DirStamp* out) {
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return false;
  *out = DirStamp{uint64_t(st.st_dev), uint64_t(st.st_ino),
                  int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
  return true;
}

// Answers of the directory search below, kept while their directory's stamp holds: opening a
// table looks for companions (.VAL, .MB ...) that mostly do not exist, and the search would read
// the whole directory every time. A change within the same clock tick as the search can leave
// the stamp as it was, so only answers found well after the directory's last change are kept.
struct Lookups {
  std::mutex mutex;
  std::map<std::string, std::pair<DirStamp, std::string>> answers;  // dir \0 lower-case name
};

Lookups& TheLookups() {
  static Lookups* lookups = new Lookups();
  return *lookups;
}

std::string LookupKey(const std::string& dir, const std::string& name) {
  std::string key = dir + '\0' + name;
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return key;
}

}  // namespace

std::string FindFileNoCase(const std::string& dir, const std::string& name) {
  struct stat st;
  std::string exact = JoinPath(dir, name);
  if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return exact;
  const std::string where = dir.empty() ? "." : dir;
  const std::string key = LookupKey(where, name);
  DirStamp before;
  const bool stamped = StampOf(where, &before);
  if (stamped) {
    Lookups& l = TheLookups();
    std::lock_guard<std::mutex> lock(l.mutex);
    auto it = l.answers.find(key);
    if (it != l.answers.end() && it->second.first == before) {
      const std::string& known = it->second.second;
      if (known.empty() || (::stat(known.c_str(), &st) == 0 && S_ISREG(st.st_mode))) return known;
    }
  }
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  const int64_t now_ns = int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  DIR* d = ::opendir(where.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (EqualsNoCase(e->d_name, name)) {
      std::string candidate = JoinPath(dir, e->d_name);
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Several spellings: take the smallest name so the choice does not depend on readdir.
        if (found.empty() || candidate < found) found = candidate;
      }
    }
  }
  ::closedir(d);
  DirStamp after;
  if (stamped && StampOf(where, &after) && after == before &&
      before.mtime_ns + 100'000'000 < now_ns) {
    Lookups& l = TheLookups();
    std::lock_guard<std::mutex> lock(l.mutex);
    if (l.answers.size() > 4096) l.answers.clear();
    l.answers[key] = {before, found};
  }
  return found;
}

}  // namespace tablorix::paradox
