// The one owner of the print settings in force. A text job works on its own
// copy, taken when it starts, and hands back what its directives changed
// when its scan is done (orientation, font, size and margins carry on to
// later jobs of the run); the options dialog reads and changes them here on
// the GUI thread. Nobody else holds a reference that a job could change
// under them.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "settings/PrintSettings.h"

namespace marvena {

class PrintSettingsOwner {
 public:
  // `storage` is the record start-up filled; it outlives the owner.
  explicit PrintSettingsOwner(PrintSettings& storage) : settings_(storage) {}
  PrintSettingsOwner(const PrintSettingsOwner&) = delete;
  PrintSettingsOwner& operator=(const PrintSettingsOwner&) = delete;

  PrintSettings snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
  }
  // What a job leaves for the jobs after it.
  void carryOver(const PrintSettings& fromJob) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = fromJob;
  }
  // A change from the user interface.
  void update(const std::function<void(PrintSettings&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(settings_);
  }

  // A change from the options window, which may come while a job prints.
  // The job keeps what it started with; the change is made on the job
  // thread when the next job starts (or the jobs' thread is idle), after
  // the running job has handed its settings back, so neither undoes the
  // other. It may select the jobs' printer.
  using PendingChange = std::function<void(PrintSettings&, Printers&)>;
  void updateForNextJob(PendingChange change) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(change));
  }
  // On the job thread, before a job takes its snapshot.
  void applyPending(Printers& printers) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (PendingChange& change : pending_) change(settings_, printers);
    pending_.clear();
  }

 private:
  mutable std::mutex mutex_;
  PrintSettings& settings_;
  std::vector<PendingChange> pending_;
};

}  // namespace marvena
