#include "platform/posix/PosixSystem.h"

#include <fcntl.h>
#include <langinfo.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <functional>

namespace marvena {

std::int64_t PosixClock::monotonicMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

LocalTime PosixClock::localNow() {
  const time_t now = ::time(nullptr);
  tm t{};
  ::localtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

namespace {

tm toTm(const LocalTime& t) {
  tm out{};
  out.tm_year = t.year - 1900;
  out.tm_mon = t.month - 1;
  out.tm_mday = t.day;
  out.tm_hour = t.hour;
  out.tm_min = t.minute;
  out.tm_sec = t.second;
  return out;
}

std::string formatLocalTime(const char* fmt, const LocalTime& t) {
  const tm tmv = toTm(t);
  char buf[128];
  const std::size_t n = ::strftime(buf, sizeof buf, fmt, &tmv);
  return std::string(buf, n);
}

}  // namespace

char PosixLocale::decimalSeparator() {
  const char* sep = ::nl_langinfo(RADIXCHAR);
  return (sep && (sep[0] == ',' || sep[0] == '.')) ? sep[0] : '.';
}

std::string PosixLocale::shortDate(const LocalTime& t) {
  return formatLocalTime("%x", t);
}

std::string PosixLocale::longTime(const LocalTime& t) {
  return formatLocalTime("%X", t);
}

std::string PosixLocale::userName() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
    return pw->pw_name;
  if (const char* u = std::getenv("USER"); u && *u) return u;
  return {};
}

InstanceLock::InstanceLock(const std::string& key) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = (runtime && *runtime) ? runtime : "/tmp";
  lock_ = std::make_unique<FileLock>(dir + "/marvena-spool-" + std::to_string(::getuid()) + "-" +
                                     std::to_string(std::hash<std::string>{}(key)) + ".lock");
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::acquired() const {
  return lock_->made() && lock_->acquired();
}

std::string posixHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

bool posixProcessRunning(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string posixRealPath(const std::string& path) {
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    std::string out = real;
    std::free(real);
    return out;
  }
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return path;
  if (char* real = ::realpath(path.substr(0, slash).c_str(), nullptr)) {
    std::string out = std::string(real) + path.substr(slash);
    std::free(real);
    return out;
  }
  return path;
}

FileLock::FileLock(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return;
  made_ = true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace marvena
