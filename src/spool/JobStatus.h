// The state of the job machinery that the window and the tray show: whether
// the tool is operational or busy, the job being worked on and its
// progress. Jobs write it on the job thread; every change goes out as an
// event to the observers, registered before the first pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "spool/JobEvents.h"

namespace marvena {

class JobStatus;

// A byte count of the running job that reports each change. Jobs use it
// like an atomic counter.
class ProgressCounter {
 public:
  explicit ProgressCounter(JobStatus& owner) : owner_(owner) {}
  ProgressCounter& operator=(std::int64_t v);
  std::int64_t fetch_add(std::int64_t d, std::memory_order order = std::memory_order_seq_cst);
  std::int64_t load() const { return value_.load(); }
  operator std::int64_t() const { return value_.load(); }

 private:
  JobStatus& owner_;
  std::atomic<std::int64_t> value_{0};
};

class JobStatus {
 public:
  JobStatus() = default;
  JobStatus(const JobStatus&) = delete;
  JobStatus& operator=(const JobStatus&) = delete;

  void addObserver(JobObserver* observer) { observers_.push_back(observer); }
  void publish(const JobEvent& event) {
    for (JobObserver* o : observers_) o->onJobEvent(event);
  }

  DispatchState state() const { return state_.load(); }
  // Busy or idle; Disabled is left only by leaveDisabled().
  void setState(DispatchState s);
  void forceDisabled() { changeState(DispatchState::Disabled); }
  // A printer came back: the tool is operational again.
  void leaveDisabled() {
    if (state_.load() == DispatchState::Disabled) changeState(DispatchState::Enabled);
  }

  // Progress of the job being worked on, in bytes of the job file.
  ProgressCounter jobBytesTotal{*this};
  ProgressCounter jobBytesDone{*this};
  void progressChanged() {
    if (observers_.empty()) return;
    JobEvent e;
    e.type = JobEvent::Type::Progress;
    e.bytesDone = jobBytesDone.load();
    e.bytesTotal = jobBytesTotal.load();
    publish(e);
  }

  std::string currentJob() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return currentJob_;
  }
  void setCurrentJob(std::string name) {
    std::lock_guard<std::mutex> lock(mutex_);
    currentJob_ = std::move(name);
  }

 private:
  void changeState(DispatchState s) {
    if (state_.exchange(s) == s) return;
    JobEvent e;
    e.type = JobEvent::Type::StateChanged;
    e.state = s;
    publish(e);
  }

  std::vector<JobObserver*> observers_;
  std::atomic<DispatchState> state_{DispatchState::Enabled};
  mutable std::mutex mutex_;
  std::string currentJob_;
};

inline ProgressCounter& ProgressCounter::operator=(std::int64_t v) {
  value_.store(v);
  owner_.progressChanged();
  return *this;
}

inline std::int64_t ProgressCounter::fetch_add(std::int64_t d, std::memory_order order) {
  const std::int64_t old = value_.fetch_add(d, order);
  owner_.progressChanged();
  return old;
}

inline void JobStatus::setState(DispatchState s) {
  // Not operational is set at start (and by a lost printer) and only left
  // when the reason goes.
  if (state_.load() == DispatchState::Disabled) return;
  changeState(s);
}

}  // namespace marvena
