// Clock, locale and the one-instance lock on a POSIX system.
#pragma once

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Locale.h"

namespace marvena {

class PosixClock final : public Clock {
 public:
  std::int64_t monotonicMs() override;
  LocalTime localNow() override;
};

// Regional settings from the C library's locale (LC_NUMERIC, LC_TIME).
class PosixLocale final : public Locale {
 public:
  char decimalSeparator() override;
  std::string shortDate(const LocalTime& t) override;
  std::string longTime(const LocalTime& t) override;
  std::string userName() override;
};

// The machine's name, for telling apart the jobs two machines claimed in one
// network spool directory.
std::string posixHostName();
// Whether a process with this id runs on this machine.
bool posixProcessRunning(long pid);
// `path` with every symbolic link and "." or ".." resolved; for a file that
// does not exist yet, its directory resolved. `path` itself when neither exists.
std::string posixRealPath(const std::string& path);

// An exclusive lock on a file of our own (made if missing), held for the
// process's life; it fails while another process holds it, also one on
// another machine where the file system passes locks on.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // False when another process holds it.
  bool acquired() const { return fd_ >= 0 || !made_; }
  // Whether the lock file could be made at all.
  bool made() const { return made_; }

 private:
  int fd_ = -1;
  bool made_ = false;
};

// Held for the process's life; a second holder of the same key fails.
class InstanceLock {
 public:
  // `key` names what must run once (the settings file's path): a lock file
  // in $XDG_RUNTIME_DIR named after it.
  explicit InstanceLock(const std::string& key);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  bool acquired() const;

 private:
  std::unique_ptr<FileLock> lock_;
};

}  // namespace marvena
