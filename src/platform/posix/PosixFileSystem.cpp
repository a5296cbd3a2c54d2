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

namespace marvena {

namespace {

std::string ErrorText(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::int64_t TimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool WriteAll(int fd, std::string_view bytes) {
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

// Opens a regular file for reading; -1 (and *error) for anything else.
int OpenRegularFile(const std::string& path, struct stat* st, std::string* error) {
  // O_NONBLOCK keeps a named pipe from blocking the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = ErrorText("cannot open", path);
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
    DirEntry e;
    e.name = name;
    e.regular = S_ISREG(st.st_mode);
    e.size = static_cast<std::uint64_t>(st.st_size);
    e.mtimeNs = TimeNs(st);
    out.push_back(std::move(e));
  }
  ::closedir(d);
  return out;
}

std::optional<DirEntry> PosixFileSystem::stat(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  DirEntry e;
  const std::size_t slash = path.rfind('/');
  e.name = slash == std::string::npos ? path : path.substr(slash + 1);
  e.regular = S_ISREG(st.st_mode);
  e.size = static_cast<std::uint64_t>(st.st_size);
  e.mtimeNs = TimeNs(st);
  return e;
}

bool PosixFileSystem::isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path, std::string* error) {
  struct stat st {};
  const int fd = OpenRegularFile(path, &st, error);
  if (fd < 0) return std::nullopt;
  std::string data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = ErrorText("cannot read", path);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

std::optional<std::string> PosixFileSystem::readChunk(const std::string& path,
                                                      std::uint64_t offset, std::size_t maxBytes,
                                                      std::string* error) {
  struct stat st {};
  const int fd = OpenRegularFile(path, &st, error);
  if (fd < 0) return std::nullopt;
  std::string data(maxBytes, '\0');
  std::size_t got = 0;
  while (got < maxBytes) {
    const ssize_t n = ::pread(fd, data.data() + got, maxBytes - got,
                              static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = ErrorText("cannot read", path);
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

bool PosixFileSystem::writeFileAtomic(const std::string& path, std::string_view bytes,
                                      std::string* error) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::random_device rd;
  // A hidden name: the dispatcher never takes it for a job.
  const std::string tmp = dir + "/." + base + "." + std::to_string(rd() % 1000000) + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = ErrorText("cannot create", tmp);
    return false;
  }
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    if (error) *error = ErrorText("cannot write", tmp);
    ::close(fd);
    ::unlink(tmp.c_str());
    return false;
  }
  ::close(fd);
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    if (error) *error = ErrorText("cannot replace", path);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool PosixFileSystem::appendFile(const std::string& path, std::string_view bytes,
                                 std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = ErrorText("cannot open", path);
    return false;
  }
  const bool ok = WriteAll(fd, bytes);
  if (!ok && error) *error = ErrorText("cannot write", path);
  ::close(fd);
  return ok;
}

bool PosixFileSystem::remove(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool PosixFileSystem::renameNoReplace(const std::string& from, const std::string& to,
                                      std::string* error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // File systems without RENAME_NOREPLACE: a hard link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return true;
    }
  }
  if (error) *error = ErrorText("cannot move", from);
  return false;
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
      if (error) *error = ErrorText("cannot create", partial);
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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
