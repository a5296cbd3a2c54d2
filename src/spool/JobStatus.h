// What the tray icon and the main window show, shared between the job
// thread (writer) and the GUI thread (reader).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace marvena {

enum TrayIconState { tsEnabled, tsAnimated, tsDisabled };

class JobStatus {
 public:
  TrayIconState trayState() const { return tray_.load(); }
  void setTrayState(TrayIconState s) {
    // tsDisabled is set at start only and never left.
    if (tray_.load() != tsDisabled) tray_.store(s);
  }
  void forceDisabled() { tray_.store(tsDisabled); }
  // A printer came back: the tool is operational again.
  void leaveDisabled() {
    TrayIconState disabled = tsDisabled;
    tray_.compare_exchange_strong(disabled, tsEnabled);
  }

  // Progress of the job being worked on, in bytes of the job file.
  std::atomic<std::int64_t> jobBytesTotal{0};
  std::atomic<std::int64_t> jobBytesDone{0};

  std::string currentJob() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return currentJob_;
  }
  void setCurrentJob(std::string name) {
    std::lock_guard<std::mutex> lock(mutex_);
    currentJob_ = std::move(name);
  }

 private:
  std::atomic<TrayIconState> tray_{tsEnabled};
  mutable std::mutex mutex_;
  std::string currentJob_;
};

}  // namespace marvena
