// Files and directories as the engine sees them. Paths use "/" and are
// either absolute or relative to the process's working directory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marvena {

struct DirEntry {
  std::string name;  // bare name, no directory
  bool regular = false;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the epoch
};

// Whether another process may still be writing a file.
enum class WriteState {
  Idle,        // nobody has it open for writing
  Busy,        // another process holds it open for writing
  Unknown,     // the file system cannot tell (e.g. network shares)
  Missing,     // gone
};

// A result written under a temporary name that nothing takes for a job and
// put in place by commit(); dropped if never committed.
class AtomicFile {
 public:
  virtual ~AtomicFile() = default;
  virtual bool write(std::string_view bytes) = 0;
  // Makes the data and the name durable, then the file appears under its
  // final name (replacing what was there). False and *error on failure.
  virtual bool commit(std::string* error) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Entries of a directory (not recursive); empty when it cannot be read.
  virtual std::vector<DirEntry> list(const std::string& dir) = 0;
  virtual std::optional<DirEntry> stat(const std::string& path) = 0;
  virtual bool isDirectory(const std::string& path) = 0;

  // Whole file as bytes; nullopt and *error set when it cannot be read.
  virtual std::optional<std::string> readFile(const std::string& path, std::string* error) = 0;
  // Up to `maxBytes` bytes from `offset` (fewer at the end, none past it), so
  // that a long file can be read in pieces. The default reads the whole file.
  virtual std::optional<std::string> readChunk(const std::string& path, std::uint64_t offset,
                                               std::size_t maxBytes, std::string* error) {
    std::optional<std::string> all = readFile(path, error);
    if (!all || offset >= all->size()) return all ? std::optional<std::string>("") : std::nullopt;
    return all->substr(static_cast<std::size_t>(offset), maxBytes);
  }
  // Writes to a temporary name beside the target and renames it into place.
  virtual bool writeFileAtomic(const std::string& path, std::string_view bytes,
                               std::string* error) = 0;
  // The same as a stream, for results too large to hold in memory. The
  // default collects the bytes and writes them with writeFileAtomic.
  virtual std::unique_ptr<AtomicFile> createAtomic(const std::string& path, std::string* error);
  virtual bool appendFile(const std::string& path, std::string_view bytes, std::string* error) = 0;
  virtual bool remove(const std::string& path) = 0;
  // Fails when `to` exists (never overwrites).
  virtual bool renameNoReplace(const std::string& from, const std::string& to,
                               std::string* error) = 0;
  virtual bool makeDirectories(const std::string& path, std::string* error) = 0;

  virtual WriteState writeState(const std::string& path) = 0;
};

namespace detail {
class BufferedAtomicFile final : public AtomicFile {
 public:
  BufferedAtomicFile(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  bool write(std::string_view bytes) override {
    data_.append(bytes);
    return true;
  }
  bool commit(std::string* error) override { return fs_.writeFileAtomic(path_, data_, error); }

 private:
  FileSystem& fs_;
  std::string path_;
  std::string data_;
};
}  // namespace detail

inline std::unique_ptr<AtomicFile> FileSystem::createAtomic(const std::string& path,
                                                            std::string*) {
  return std::make_unique<detail::BufferedAtomicFile>(*this, path);
}

}  // namespace marvena
