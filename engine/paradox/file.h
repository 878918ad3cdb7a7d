// Files of a table family: positioned reads that report short files, and case-insensitive lookup.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tablorix::paradox {

class File {
 public:
  // Throws EngineError naming the file when it cannot be opened.
  static std::unique_ptr<File> Open(const std::string& path, bool writable = false);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }
  int fd() const { return fd_; }
  // Reads exactly n bytes at offset; throws EngineError ("... is truncated") past the end.
  void ReadAt(uint64_t offset, void* buffer, size_t n) const;

 private:
  File(std::string path, int fd, uint64_t size) : path_(std::move(path)), fd_(fd), size_(size) {}
  std::string path_;
  int fd_;
  uint64_t size_;
};

// The entry of `dir` whose name equals `name` ignoring ASCII case; empty when there is none.
// An exact match wins over other spellings.
std::string FindFileNoCase(const std::string& dir, const std::string& name);
// Names of the regular files in `dir`; throws EngineError when the directory cannot be read.
std::vector<std::string> ListFiles(const std::string& dir);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace tablorix::paradox
