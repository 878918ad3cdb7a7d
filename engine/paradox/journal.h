// Atomic changes to a table family.
//
// In-place changes (posting, deleting a record) use a rollback journal: before a byte range of an
// existing file is overwritten for the first time in a transaction, its old bytes go to the
// journal, and the journal is flushed before any of them is overwritten. A journal left behind by
// a failed or killed writer is played back when the table is next opened, so the family is as it
// was before the transaction.
//
// Rewrites (pack, restructure, new tables, index builds) write whole new files under temporary
// names (`name.new`) and then swap them in under a manifest: once the manifest is on disk the swap
// is finished by whoever opens the table next; before that the temporary files are discarded.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tablorix::paradox {

class Journal {
 public:
  // `dir` holds the family; `base` is the table's file name without extension.
  Journal(std::string dir, std::string base);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& path() const { return path_; }
  bool active() const { return fd_ >= 0; }
  void Begin();
  // Records the size a file had at the start (or that it did not exist).
  void NoteFile(const std::string& name, bool existed, uint64_t size);
  bool HasFile(const std::string& name) const { return files_.count(name) != 0; }
  // Records the old bytes of a range the first time it is about to be overwritten.
  bool HasRange(const std::string& name, uint64_t offset) const {
    return ranges_.count({name, offset}) != 0;
  }
  void NoteOriginal(const std::string& name, uint64_t offset, const void* data, size_t n);
  // Flushes what was recorded; must happen before a recorded range is overwritten.
  void Sync();
  bool synced() const { return unsynced_ == 0; }
  // Commits: the journal is removed.
  void End();
  // Gives up without removing the journal, so that Recover can play it back.
  void Abort();

  // Plays back a journal left behind, if any. Returns true when it did.
  static bool Recover(const std::string& dir, const std::string& base);
  static std::string PathFor(const std::string& dir, const std::string& base);

 private:
  void Append(const std::vector<uint8_t>& record);
  std::string dir_, base_, path_;
  int fd_ = -1;
  uint64_t size_ = 0;
  size_t unsynced_ = 0;
  bool dir_synced_ = false;
  std::set<std::string> files_;
  std::set<std::pair<std::string, uint64_t>> ranges_;
};

// A set of file replacements and removals in one directory that happens whole or not at all.
class FileSwap {
 public:
  FileSwap(std::string dir, std::string base);
  // The temporary name under which the new content of `name` is to be written.
  std::string NewPath(const std::string& name);
  void Remove(const std::string& name);
  // Flushes the new files, writes the manifest, swaps, removes the manifest.
  void Commit();
  // Discards the temporary files (after a failure before Commit).
  void Abandon();
  // Finishes or discards a swap left behind. Returns true when it finished one.
  static bool Recover(const std::string& dir, const std::string& base);

 private:
  std::string dir_, base_;
  std::vector<std::string> replace_, remove_;
};

}  // namespace tablorix::paradox
