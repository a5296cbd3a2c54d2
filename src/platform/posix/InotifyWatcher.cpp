#include "platform/posix/InotifyWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace marvena {

namespace {
constexpr std::uint32_t kMask = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
}

InotifyWatcher::InotifyWatcher() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

InotifyWatcher::~InotifyWatcher() {
  if (fd_ >= 0) ::close(fd_);
}

bool InotifyWatcher::watch(const std::string& dir) {
  if (fd_ < 0) return false;
  for (const auto& [wd, d] : dirs_)
    if (d == dir) return true;
  const int wd = ::inotify_add_watch(fd_, dir.c_str(), kMask);
  if (wd < 0) return false;
  dirs_[wd] = dir;
  return true;
}

std::vector<DirectoryWatcher::Event> InotifyWatcher::read() {
  std::vector<Event> out;
  if (fd_ < 0) return out;
  alignas(inotify_event) char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      break;
    }
    for (ssize_t off = 0; off < n;) {
      inotify_event ev;
      std::memcpy(&ev, buf + off, sizeof ev);
      const char* name = buf + off + sizeof ev;
      off += static_cast<ssize_t>(sizeof ev + ev.len);
      if (ev.mask & IN_Q_OVERFLOW) {
        // Events were lost: every directory must be looked at again.
        for (const auto& [wd, d] : dirs_) out.push_back({d, {}});
        continue;
      }
      auto it = dirs_.find(ev.wd);
      if (it == dirs_.end()) continue;
      if (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
        out.push_back({it->second, {}});
        if (ev.mask & IN_IGNORED) dirs_.erase(it);
        continue;
      }
      if (ev.len == 0) continue;
      out.push_back({it->second, std::string(name)});
    }
  }
  return out;
}

}  // namespace marvena
