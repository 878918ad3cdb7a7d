// POSIX file access for the storage layer.
#include "engine/paradox/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

std::string FindFileNoCase(const std::string& dir, const std::string& name) {
  struct stat st;
  std::string exact = JoinPath(dir, name);
  if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return exact;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
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
  return found;
}

}  // namespace tablorix::paradox
