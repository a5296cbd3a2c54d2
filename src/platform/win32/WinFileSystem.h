// Files on Windows, through the wide-character calls with long paths.
// Whether a writer still holds a job is asked the way the DOS programs'
// own side works: an open for reading that shares reading only fails while
// any other process has the file open for writing.
#pragma once

#include "platform/FileSystem.h"

namespace marvena {

class WinFileSystem final : public FileSystem {
 public:
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

  // MoveFileExW without MOVEFILE_REPLACE_EXISTING: fails when `to` exists.
  FsError moveEntry(const std::string& from, const std::string& to, std::string* error) override;
  FsError copyIfSame(const std::string& from, const DirEntry& expected, const std::string& to,
                     std::string* error) override;
  // Renames are written through (MOVEFILE_WRITE_THROUGH); nothing more to do.
  bool syncDirectory(const std::string& dir) override;
  WriteState writeState(const std::string& path) override;
};

// Which FsError a Win32 error code is.
FsError classifyWinError(unsigned long code);

}  // namespace marvena
