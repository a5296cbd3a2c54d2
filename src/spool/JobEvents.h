// What the dispatcher and the jobs report while they work, as structured
// events. The log is one subscriber; the window and the tray another, which
// takes them across to the GUI thread. Subscribers are called on the job
// thread and must not block: a job never waits for the window.
#pragma once

#include <cstdint>
#include <string>

namespace marvena {

// The tool as the tray shows it: idle, not operational, or busy with a job.
enum class DispatchState { Enabled, Disabled, Busy };

enum class JobOutcome {
  Done,         // the result is in place and the job file is gone
  Undeletable,  // done, but the job file could not be deleted; never run again
  Failed,       // moved to FAILED
  Kept,         // failed in a way that may pass; tried again later
  NotReady,     // could not be read yet; tried again later
};

struct JobEvent {
  enum class Type { PassStarted, PassEnded, JobStarted, Progress, JobEnded, StateChanged };
  Type type = Type::PassStarted;
  std::string directory;                       // where the job was dropped
  std::string name;                            // the job file's name
  std::string kind;                            // its extension, e.g. "txt"
  std::int64_t bytesDone = 0, bytesTotal = 0;  // Progress (and JobStarted: the size)
  JobOutcome outcome = JobOutcome::Done;       // JobEnded
  std::string message;    // JobEnded: for the user (Lithuanian), when there is one
  std::string detail;     // JobEnded: for the log (English)
  bool repeated = false;  // JobEnded: this version's outcome was already reported
  DispatchState state = DispatchState::Enabled;  // StateChanged
};

class JobObserver {
 public:
  virtual ~JobObserver() = default;
  virtual void onJobEvent(const JobEvent& event) = 0;
};

}  // namespace marvena
