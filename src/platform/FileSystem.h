// Files and directories as the engine sees them. Paths use "/" and are
// either absolute or relative to the process's working directory.
#pragma once

#include <cstdint>
#include <functional>
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
  std::uint64_t device = 0;  // which file this is; 0 where the file system cannot say
  std::uint64_t inode = 0;
};

// The same file in the same state: the version of a job.
inline bool sameVersion(const DirEntry& a, const DirEntry& b) {
  return a.size == b.size && a.mtimeNs == b.mtimeNs && a.device == b.device && a.inode == b.inode;
}

// A name in a directory, with the type the listing itself tells (no stat).
enum class EntryType { Regular, Directory, Other, Unknown };
struct DirName {
  std::string name;
  EntryType type = EntryType::Unknown;
};

// Why moving or copying an entry failed.
enum class FsError { None, NotFound, Exists, NotPermitted, CrossDevice, Other };

// Whether another process may still be writing a file.
enum class WriteState {
  Idle,     // nobody has it open for writing
  Busy,     // another process holds it open for writing
  Unknown,  // the file system cannot tell (e.g. network shares)
  Missing,  // gone
};

// A result written under a temporary name that nothing takes for a job and
// put in place by commit(); dropped if never committed.
class AtomicFile {
 public:
  // Runs once the data is durable and before the file takes its final name,
  // with the file's inode (0 where unknown); false stops the commit.
  using BeforePublish = std::function<bool(std::uint64_t inode, std::string* error)>;

  virtual ~AtomicFile() = default;
  virtual bool write(std::string_view bytes) = 0;
  // Makes the data durable, then the file appears under its final name
  // (replacing what was there) and that name is made durable too. False and
  // *error on failure; the temporary file is gone either way.
  virtual bool commit(std::string* error) = 0;
  void setBeforePublish(BeforePublish hook) { beforePublish_ = std::move(hook); }

 protected:
  bool runBeforePublish(std::uint64_t inode, std::string* error) {
    return !beforePublish_ || beforePublish_(inode, error);
  }

 private:
  BeforePublish beforePublish_;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Entries of a directory (not recursive); empty when it cannot be read.
  virtual std::vector<DirEntry> list(const std::string& dir) = 0;
  // Names only, without a stat of each: cheap on directories with many files.
  virtual std::vector<DirName> listNames(const std::string& dir) = 0;
  virtual std::optional<DirEntry> stat(const std::string& path) = 0;
  // The entry itself: a symbolic link is reported as a link (not regular).
  virtual std::optional<DirEntry> lstat(const std::string& path) = 0;
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
  // A stream to a temporary name beside `path`, renamed into place by its
  // commit; also for results too large to hold in memory.
  virtual std::unique_ptr<AtomicFile> createAtomic(const std::string& path, std::string* error) = 0;
  // The same for bytes at hand.
  virtual bool writeFileAtomic(const std::string& path, std::string_view bytes,
                               std::string* error) {
    std::unique_ptr<AtomicFile> file = createAtomic(path, error);
    if (!file) return false;
    file->write(bytes);  // a failed write makes the commit fail and say why
    return file->commit(error);
  }
  virtual bool appendFile(const std::string& path, std::string_view bytes, std::string* error) = 0;
  virtual bool remove(const std::string& path) = 0;
  // Fails when `to` exists (never overwrites).
  bool renameNoReplace(const std::string& from, const std::string& to, std::string* error) {
    return moveEntry(from, to, error) == FsError::None;
  }
  virtual bool makeDirectories(const std::string& path, std::string* error) = 0;
  virtual bool removeDirectory(const std::string& path) = 0;

  // Moves an entry (whatever it is, links not followed); never replaces.
  virtual FsError moveEntry(const std::string& from, const std::string& to, std::string* error) = 0;
  // Copies the regular file `from` into the new file `to` (durably), only if
  // `from` is still the file `expected` names; links are not followed.
  virtual FsError copyIfSame(const std::string& from, const DirEntry& expected,
                             const std::string& to, std::string* error) = 0;
  // Makes the names in a directory durable (after a rename or a delete).
  virtual bool syncDirectory(const std::string& dir) = 0;

  virtual WriteState writeState(const std::string& path) = 0;
};

}  // namespace marvena
