// Files on a POSIX system. Whether a writer still holds a file is asked
// with a read lease, which the kernel grants only when nobody has the file
// open for writing.
#pragma once

#include "platform/FileSystem.h"

namespace marvena {

class PosixFileSystem final : public FileSystem {
 public:
  // A writer that opens a file while we hold a lease on it makes the kernel
  // signal us (SIGIO, which would end the process); the constructor ignores it.
  PosixFileSystem();
  std::vector<DirEntry> list(const std::string& dir) override;
  std::vector<DirName> listNames(const std::string& dir) override;
  std::optional<DirEntry> stat(const std::string& path) override;
  std::optional<DirEntry> lstat(const std::string& path) override;
  bool isDirectory(const std::string& path) override;
  std::optional<std::string> readFile(const std::string& path, std::string* error) override;
  std::optional<std::string> readChunk(const std::string& path, std::uint64_t offset,
                                       std::size_t maxBytes, std::string* error) override;
  std::unique_ptr<AtomicFile> createAtomic(const std::string& path, std::string* error) override;
  bool appendFile(const std::string& path, std::string_view bytes, std::string* error) override;
  bool remove(const std::string& path) override;
  bool makeDirectories(const std::string& path, std::string* error) override;
  bool removeDirectory(const std::string& path) override;
  FsError moveEntry(const std::string& from, const std::string& to, std::string* error) override;
  FsError copyIfSame(const std::string& from, const DirEntry& expected, const std::string& to,
                     std::string* error) override;
  bool syncDirectory(const std::string& dir) override;
  WriteState writeState(const std::string& path) override;
};

}  // namespace marvena
