// Change notifications for directories, with the names that changed, so
// that the tool reacts to job files and not to its own results and
// temporary files. Only events that may make a job ready are asked for: a
// file created, moved in, closed after writing or touched.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace marvena {

class InotifyWatcher {
 public:
  InotifyWatcher();
  ~InotifyWatcher();
  InotifyWatcher(const InotifyWatcher&) = delete;
  InotifyWatcher& operator=(const InotifyWatcher&) = delete;

  // Readable when events wait; -1 when notifications are not available.
  int fd() const { return fd_; }
  // Watches `dir` unless it is watched already; false when it cannot be.
  bool watch(const std::string& dir);

  struct Event {
    std::string dir;
    // Empty: look at the whole directory (events were lost, or the directory
    // itself went away and must be watched again).
    std::string name;
  };
  // Everything that waits, without blocking.
  std::vector<Event> read();

 private:
  int fd_ = -1;
  std::map<int, std::string> dirs_;  // watch descriptor -> directory
};

}  // namespace marvena
