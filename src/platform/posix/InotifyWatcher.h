// Change notifications for directories, with the names that changed, so
// that the tool reacts to job files and not to its own results and
// temporary files. Only events that may make a job ready are asked for: a
// file created, moved in, closed after writing or touched.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/DirectoryWatcher.h"

namespace marvena {

class InotifyWatcher final : public DirectoryWatcher {
 public:
  InotifyWatcher();
  ~InotifyWatcher() override;
  InotifyWatcher(const InotifyWatcher&) = delete;
  InotifyWatcher& operator=(const InotifyWatcher&) = delete;

  int readyDescriptor() const override { return fd_; }
  bool watch(const std::string& dir) override;
  std::vector<Event> read() override;

 private:
  int fd_ = -1;
  std::map<int, std::string> dirs_;  // watch descriptor -> directory
};

}  // namespace marvena
