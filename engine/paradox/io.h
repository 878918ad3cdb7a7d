// Writes to the files of a table family. Every write, flush and rename goes through here, so a
// test can make the Nth of them fail and prove that the table survives a failure at any step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tablorix::paradox {

// Opens (creating when asked) a file for writing; throws EngineError naming it.
int OpenForWrite(const std::string& path, bool create);
void CloseFd(int fd);
void WriteAt(int fd, uint64_t offset, const void* data, size_t n, const std::string& path);
void ReadFdAt(int fd, uint64_t offset, void* data, size_t n, const std::string& path);
void SyncFd(int fd, const std::string& path);
void TruncateFd(int fd, uint64_t size, const std::string& path);
uint64_t FdSize(int fd, const std::string& path);
void RenameFile(const std::string& from, const std::string& to);
// Removes a file; a file that is not there is no error.
void RemoveFile(const std::string& path);
void SyncDirectory(const std::string& dir);
bool FileExists(const std::string& path);

// Fault injection for tests: the `n`th write, flush or rename from now on (1-based) fails with
// an EngineError, and so does every one after it, as if the process had died there.
void InjectFaultAt(long n);
void ClearFaults();
bool FaultFired();

}  // namespace tablorix::paradox
