// The dispatch pass: every handler in its fixed order looks for its files in
// the spool directory (the upload job in the export directory), and the job
// frame around each handler: busy tray icon, readiness of the file, the
// failure policy (FAILED folder, one report per version of a file), the log.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "spool/JobHandler.h"
#include "spool/JobStatus.h"

namespace marvena {

class Clock;
class FileSystem;
class MessageSink;

struct PassReport {
  int newJobs = 0;   // job files (or new versions of them) tried for the first time this run
  int failures = 0;  // of those, how many failed or were kept with an error
  int waiting = 0;   // files whose size and time must stay still for one more tick
  int busy = 0;      // files another process still has open for writing
  bool skipped = false;  // a pass was already running, or dispatching is disabled
};

class Dispatcher {
 public:
  Dispatcher(FileSystem& fs, Clock& clock, MessageSink& messages, JobStatus& status,
             std::string spoolDir);

  // Handlers run in the order they are added. A handler added with a
  // directory looks there instead of the spool directory.
  void addHandler(std::unique_ptr<JobHandler> handler, std::string directory = {});

  // The dispatch timer's enabled state; a pass runs only while enabled.
  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool enabled() const { return enabled_; }

  // One pass over all handlers. Safe to call at any time: it returns at
  // once while another pass runs.
  PassReport runPass();

  // Whether any job of this run failed.
  bool anyFailure() const { return anyFailure_; }

  // Moves a file into the FAILED folder beside it; the new path, or empty.
  std::string moveToFailed(const std::string& dir, const std::string& name);

 private:
  struct Slot {
    std::unique_ptr<JobHandler> handler;
    std::string directory;
  };
  using Version = std::tuple<std::string, std::uint64_t, std::int64_t>;  // path, size, time

  enum class Readiness { Ready, Busy, Settling, Gone };
  Readiness readiness(const std::string& path, const DirEntry& e);
  std::vector<DirEntry> candidates(const std::string& dir, const std::string& extension);
  // Runs one file through the frame; false when the pass must end.
  bool runJob(Slot& slot, const std::string& dir, const DirEntry& e, PassReport& report);
  void log(const std::string& name, const std::string& handler, const std::string& outcome);

  FileSystem& fs_;
  Clock& clock_;
  MessageSink& messages_;
  JobStatus& status_;
  std::string spoolDir_;
  std::vector<Slot> slots_;
  std::atomic<bool> enabled_{false};
  std::atomic<bool> running_{false};
  bool anyFailure_ = false;

  std::set<Version> tried_;     // versions already run in this run
  std::set<Version> reported_;  // versions whose failure was already shown
  struct Seen {
    std::uint64_t size;
    std::int64_t mtimeNs;
    std::int64_t sinceMs;
  };
  std::map<std::string, Seen> settling_;
};

// "txt" matches "REPORT.TXT"; hidden names (leading ".") never match.
bool IsJobName(const std::string& name, const std::string& extension);
// Case-insensitive order of names, as the Windows directory search returns them.
bool JobNameLess(const std::string& a, const std::string& b);

}  // namespace marvena
