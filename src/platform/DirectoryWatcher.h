// Change notifications for the watched directories, with the names that
// changed, so that the tool reacts to job files and not to its own results.
#pragma once

#include <string>
#include <vector>

namespace marvena {

class DirectoryWatcher {
 public:
  struct Event {
    std::string dir;
    // Empty: look at the whole directory (events were lost, or the directory
    // itself went away and must be watched again).
    std::string name;
  };

  virtual ~DirectoryWatcher() = default;
  // A descriptor that becomes readable when events wait; -1 when this
  // system gives none (then the one-second timer alone serves).
  virtual int readyDescriptor() const = 0;
  // Watches `dir` unless it is watched already; false when it cannot be.
  virtual bool watch(const std::string& dir) = 0;
  // Everything that waits, without blocking.
  virtual std::vector<Event> read() = 0;
};

}  // namespace marvena
