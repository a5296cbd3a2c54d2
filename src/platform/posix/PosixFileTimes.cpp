#include "platform/posix/PosixFileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marvena {

bool PosixFileTimes::setModified(const std::string& path, std::int64_t seconds) {
  // Opened for writing without following a link, so the time lands on the
  // file that was saved and only when it may be written.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
    ok = ::futimens(fd, times) == 0;
  }
  ::close(fd);
  return ok;
}

}  // namespace marvena
