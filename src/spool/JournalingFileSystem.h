// The file system the job handlers see. It passes everything through, and
// while a job runs it writes each result's inode into that job's journal
// before the result takes its final name: after a crash the journal tells
// whether the job had already published its result.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace marvena {

class JournalingFileSystem final : public FileSystem {
 public:
  explicit JournalingFileSystem(FileSystem& base) : base_(base) {}

  // The journal of the job now running; empty between jobs.
  void setJournal(std::string path) { journal_ = std::move(path); }

  std::vector<DirEntry> list(const std::string& dir) override { return base_.list(dir); }
  std::vector<DirName> listNames(const std::string& dir) override { return base_.listNames(dir); }
  std::optional<DirEntry> stat(const std::string& path) override { return base_.stat(path); }
  std::optional<DirEntry> lstat(const std::string& path) override { return base_.lstat(path); }
  bool isDirectory(const std::string& path) override { return base_.isDirectory(path); }
  std::optional<std::string> readFile(const std::string& path, std::string* error) override {
    return base_.readFile(path, error);
  }
  std::optional<std::string> readChunk(const std::string& path, std::uint64_t offset,
                                       std::size_t maxBytes, std::string* error) override {
    return base_.readChunk(path, offset, maxBytes, error);
  }
  std::unique_ptr<AtomicFile> createAtomic(const std::string& path, std::string* error) override;
  bool appendFile(const std::string& path, std::string_view bytes, std::string* error) override {
    return base_.appendFile(path, bytes, error);
  }
  bool remove(const std::string& path) override { return base_.remove(path); }
  bool makeDirectories(const std::string& path, std::string* error) override {
    return base_.makeDirectories(path, error);
  }
  bool removeDirectory(const std::string& path) override { return base_.removeDirectory(path); }
  FsError moveEntry(const std::string& from, const std::string& to, std::string* error) override {
    return base_.moveEntry(from, to, error);
  }
  FsError copyIfSame(const std::string& from, const DirEntry& expected, const std::string& to,
                     std::string* error) override {
    return base_.copyIfSame(from, expected, to, error);
  }
  bool syncDirectory(const std::string& dir) override { return base_.syncDirectory(dir); }
  WriteState writeState(const std::string& path) override { return base_.writeState(path); }

 private:
  FileSystem& base_;
  std::string journal_;
};

}  // namespace marvena
