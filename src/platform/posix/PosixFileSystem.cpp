#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>

#include "spool/TempNames.h"
#include "text/Paths.h"

namespace marvena {

namespace {

std::string errnoMessage(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::int64_t timeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool writeFully(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

DirEntry entryFromStat(std::string name, const struct stat& st) {
  DirEntry e;
  e.name = std::move(name);
  e.regular = S_ISREG(st.st_mode);
  e.size = static_cast<std::uint64_t>(st.st_size);
  e.mtimeNs = timeNs(st);
  e.device = static_cast<std::uint64_t>(st.st_dev);
  e.inode = static_cast<std::uint64_t>(st.st_ino);
  return e;
}

FsError classify(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return FsError::NotFound;
    case EEXIST:
    case ENOTEMPTY:
      return FsError::Exists;
    case EACCES:
    case EPERM:
    case EROFS:
      return FsError::NotPermitted;
    case EXDEV:
      return FsError::CrossDevice;
    default:
      return FsError::Other;
  }
}

bool syncDir(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // Some file systems cannot sync a directory (EINVAL); their names are as
  // durable as they get.
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

std::uint32_t randomWord() {
  static thread_local std::mt19937 engine{std::random_device{}()};
  return static_cast<std::uint32_t>(engine());
}

// A result under a temporary name in the target's directory, buffered so
// that a large result costs few system calls.
class PosixAtomicFile final : public AtomicFile {
 public:
  static std::unique_ptr<PosixAtomicFile> create(const std::string& path, std::string* error) {
    const std::string dir = directoryOf(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
      const std::string tmp = dir + "/" + temporaryFileName(::getpid(), randomWord());
      const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd >= 0) return std::unique_ptr<PosixAtomicFile>(new PosixAtomicFile(fd, tmp, path));
      if (errno != EEXIST) {
        if (error) *error = errnoMessage("cannot create", tmp);
        return nullptr;
      }
    }
    if (error) *error = "cannot create a temporary file in " + dir;
    return nullptr;
  }
  ~PosixAtomicFile() override { drop(); }

  bool write(std::string_view bytes) override {
    if (fd_ < 0 || failed_) return false;
    if (buffer_.size() + bytes.size() > kBuffer) {
      if (!flush()) return false;
      if (bytes.size() >= kBuffer) return writeAll(bytes);
    }
    buffer_.append(bytes);
    return true;
  }

  bool commit(std::string* error) override {
    if (fd_ < 0) {
      if (error) *error = "already committed: " + path_;
      return false;
    }
    struct stat st {};
    if (!flush() || ::fsync(fd_) != 0 || ::fstat(fd_, &st) != 0) {
      if (error) *error = failure_.empty() ? errnoMessage("cannot write", tmp_) : failure_;
      drop();
      return false;
    }
    if (!runBeforePublish(static_cast<std::uint64_t>(st.st_ino), error)) {
      drop();
      return false;
    }
    ::close(fd_);
    fd_ = -1;
    // rename() replaces a symbolic link at the target instead of following it.
    if (::rename(tmp_.c_str(), path_.c_str()) != 0) {
      if (error) *error = errnoMessage("cannot replace", path_);
      ::unlink(tmp_.c_str());
      return false;
    }
    if (!syncDir(directoryOf(path_))) {
      if (error) *error = errnoMessage("cannot make durable", directoryOf(path_));
      return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  PosixAtomicFile(int fd, std::string tmp, std::string path)
      : fd_(fd), tmp_(std::move(tmp)), path_(std::move(path)) {
    buffer_.reserve(kBuffer);
  }
  bool writeAll(std::string_view bytes) {
    if (writeFully(fd_, bytes)) return true;
    failed_ = true;
    failure_ = errnoMessage("cannot write", tmp_);
    return false;
  }
  bool flush() {
    if (failed_) return false;
    const bool ok = writeAll(buffer_);
    buffer_.clear();
    return ok;
  }
  void drop() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(tmp_.c_str());
  }

  int fd_;
  std::string tmp_, path_, buffer_, failure_;
  bool failed_ = false;
};

// Opens a regular file for reading; -1 (and *error) for anything else.
int openRegularFile(const std::string& path, struct stat* st, std::string* error) {
  // O_NONBLOCK keeps a named pipe from blocking the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = errnoMessage("cannot open", path);
    return -1;
  }
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    if (error) *error = "not a regular file: " + path;
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

PosixFileSystem::PosixFileSystem() {
  std::signal(SIGIO, SIG_IGN);
}

std::vector<DirEntry> PosixFileSystem::list(const std::string& dir) {
  std::vector<DirEntry> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (const dirent* ent = ::readdir(d)) {
    const std::string name = ent->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(::dirfd(d), ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    out.push_back(entryFromStat(name, st));
  }
  ::closedir(d);
  return out;
}

std::vector<DirName> PosixFileSystem::listNames(const std::string& dir) {
  std::vector<DirName> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (const dirent* ent = ::readdir(d)) {
    if (ent->d_name[0] == '.' &&
        (ent->d_name[1] == '\0' || (ent->d_name[1] == '.' && ent->d_name[2] == '\0')))
      continue;
    EntryType type = EntryType::Unknown;
    switch (ent->d_type) {
      case DT_REG:
        type = EntryType::Regular;
        break;
      case DT_DIR:
        type = EntryType::Directory;
        break;
      case DT_UNKNOWN:
        break;
      default:
        type = EntryType::Other;
    }
    out.push_back({ent->d_name, type});
  }
  ::closedir(d);
  return out;
}

std::optional<DirEntry> PosixFileSystem::stat(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return entryFromStat(baseNameOf(path), st);
}

std::optional<DirEntry> PosixFileSystem::lstat(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return entryFromStat(baseNameOf(path), st);
}

bool PosixFileSystem::isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path, std::string* error) {
  struct stat st {};
  const int fd = openRegularFile(path, &st, error);
  if (fd < 0) return std::nullopt;
  std::string data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = errnoMessage("cannot read", path);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

std::optional<std::string> PosixFileSystem::readChunk(const std::string& path, std::uint64_t offset,
                                                      std::size_t maxBytes, std::string* error) {
  struct stat st {};
  const int fd = openRegularFile(path, &st, error);
  if (fd < 0) return std::nullopt;
  std::string data(maxBytes, '\0');
  std::size_t got = 0;
  while (got < maxBytes) {
    const ssize_t n =
        ::pread(fd, data.data() + got, maxBytes - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = errnoMessage("cannot read", path);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  return data;
}

std::unique_ptr<AtomicFile> PosixFileSystem::createAtomic(const std::string& path,
                                                          std::string* error) {
  return PosixAtomicFile::create(path, error);
}

bool PosixFileSystem::appendFile(const std::string& path, std::string_view bytes,
                                 std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = errnoMessage("cannot open", path);
    return false;
  }
  // Appends are log lines and journal records: each is made durable.
  const bool ok = writeFully(fd, bytes) && ::fsync(fd) == 0;
  if (!ok && error) *error = errnoMessage("cannot write", path);
  ::close(fd);
  return ok;
}

bool PosixFileSystem::remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

FsError PosixFileSystem::moveEntry(const std::string& from, const std::string& to,
                                   std::string* error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return FsError::None;
  if (errno == EINVAL || errno == ENOSYS) {
    // File systems without RENAME_NOREPLACE: a hard link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return FsError::None;
    }
  }
  const int err = errno;
  if (error) *error = errnoMessage("cannot move", from);
  return classify(err);
}

FsError PosixFileSystem::copyIfSame(const std::string& from, const DirEntry& expected,
                                    const std::string& to, std::string* error) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (in < 0) {
    const int err = errno;
    if (error) *error = errnoMessage("cannot open", from);
    return err == ELOOP ? FsError::Other : classify(err);
  }
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_dev) != expected.device ||
      static_cast<std::uint64_t>(st.st_ino) != expected.inode) {
    ::close(in);
    if (error) *error = "no longer the same file: " + from;
    return FsError::NotFound;
  }
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    const int err = errno;
    ::close(in);
    if (error) *error = errnoMessage("cannot create", to);
    return classify(err);
  }
  char buf[1 << 16];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!writeFully(out, std::string_view(buf, static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  ok = ok && ::fsync(out) == 0;
  ::close(in);
  ::close(out);
  if (!ok) {
    if (error) *error = errnoMessage("cannot copy", from);
    ::unlink(to.c_str());
    return FsError::Other;
  }
  return FsError::None;
}

bool PosixFileSystem::syncDirectory(const std::string& dir) {
  return syncDir(dir);
}

bool PosixFileSystem::removeDirectory(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

bool PosixFileSystem::makeDirectories(const std::string& path, std::string* error) {
  if (path.empty()) return false;
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      if (error) *error = errnoMessage("cannot create", partial);
      return false;
    }
  }
  if (!isDirectory(path)) {
    if (error) *error = "not a directory: " + path;
    return false;
  }
  return true;
}

WriteState PosixFileSystem::writeState(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT ? WriteState::Missing : WriteState::Unknown;
  WriteState state;
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    state = WriteState::Idle;
  } else if (errno == EAGAIN || errno == EBUSY) {
    state = WriteState::Busy;
  } else {
    state = WriteState::Unknown;  // no leases here (network share, not the owner)
  }
  ::close(fd);
  return state;
}

}  // namespace marvena
