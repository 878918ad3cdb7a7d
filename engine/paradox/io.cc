#include "engine/paradox/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/types.h"

namespace tablorix::paradox {

namespace {
std::atomic<long> fault_countdown{0};  // 0 = no fault planned
std::atomic<bool> fault_fired{false};

void Step(const std::string& what, const std::string& path) {
  if (fault_fired) throw EngineError(path + ": " + what + " failed (injected fault)");
  if (fault_countdown > 0 && --fault_countdown == 0) {
    fault_fired = true;
    throw EngineError(path + ": " + what + " failed (injected fault)");
  }
}

[[noreturn]] void Fail(const std::string& path, const char* what) {
  throw EngineError(path + ": " + what + " failed: " + std::strerror(errno));
}
}  // namespace

void InjectFaultAt(long n) {
  fault_fired = false;
  fault_countdown = n;
}
void ClearFaults() {
  fault_fired = false;
  fault_countdown = 0;
}
bool FaultFired() { return fault_fired; }

int OpenForWrite(const std::string& path, bool create) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (fd < 0) Fail(path, create ? "creating the file" : "opening the file for writing");
  return fd;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

void WriteAt(int fd, uint64_t offset, const void* data, size_t n, const std::string& path) {
  Step("writing", path);
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = ::pwrite(fd, p, n, off_t(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      Fail(path, "writing");
    }
    p += w;
    n -= size_t(w);
    offset += uint64_t(w);
  }
}

void ReadFdAt(int fd, uint64_t offset, void* data, size_t n, const std::string& path) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, off_t(offset));
    if (r < 0) {
      if (errno == EINTR) continue;
      Fail(path, "reading");
    }
    if (r == 0) throw EngineError(path + ": is truncated");
    p += r;
    n -= size_t(r);
    offset += uint64_t(r);
  }
}

void SyncFd(int fd, const std::string& path) {
  Step("flushing", path);
  if (::fdatasync(fd) != 0) Fail(path, "flushing");
}

void TruncateFd(int fd, uint64_t size, const std::string& path) {
  Step("truncating", path);
  if (::ftruncate(fd, off_t(size)) != 0) Fail(path, "truncating");
}

uint64_t FdSize(int fd, const std::string& path) {
  struct stat st;
  if (::fstat(fd, &st) != 0) Fail(path, "reading the size");
  return uint64_t(st.st_size);
}

void RenameFile(const std::string& from, const std::string& to) {
  Step("renaming", from);
  if (::rename(from.c_str(), to.c_str()) != 0) Fail(from, "renaming");
}

void RemoveFile(const std::string& path) {
  Step("removing", path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail(path, "removing");
}

void SyncDirectory(const std::string& dir) {
  Step("flushing", dir);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail(dir, "opening the directory");
  ::fsync(fd);
  ::close(fd);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace tablorix::paradox
