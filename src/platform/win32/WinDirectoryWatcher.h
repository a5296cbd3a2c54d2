// Change notification with ReadDirectoryChangesW: each watched directory has
// a read outstanding, and all of them signal one event, which the entry
// point's loop waits on beside its one-second timer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/DirectoryWatcher.h"
#include "platform/win32/WinText.h"

namespace marvena {

class WinDirectoryWatcher final : public DirectoryWatcher {
 public:
  WinDirectoryWatcher();
  ~WinDirectoryWatcher() override;

  // No descriptor on Windows: wait on wakeEvent() instead.
  int readyDescriptor() const override { return -1; }
  bool watch(const std::string& dir) override;
  std::vector<Event> read() override;

  // Signalled when events wait (manual reset; read() resets it).
  HANDLE wakeEvent() const { return wake_.get(); }

 private:
  struct Watch;
  bool issue(Watch& w);
  // Stops watching the i-th directory; the next read() reports it as a whole.
  void drop(std::size_t i);

  Handle wake_;
  std::vector<std::unique_ptr<Watch>> watches_;
  std::vector<std::string> lost_;
};

}  // namespace marvena
