// The dispatch pass: every handler in its fixed order looks for its files in
// the spool directory (the upload job in the export directory), and the job
// frame around each handler: readiness (the writer has closed the file and
// it stayed the same for the quiet period), the claim into the tool's work
// area, the busy tray icon, the failure policy (FAILED folder, one report
// per version of a file, retries with back-off) and the log.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "spool/JobHandler.h"
#include "spool/JobStatus.h"
#include "spool/Readiness.h"
#include "spool/WorkArea.h"

namespace marvena {

class Clock;
class FileSystem;
class JournalingFileSystem;
class MessageSink;

struct DispatcherOptions {
  // How long a job file must stay unchanged after its writer closed it (the
  // settings file's default is 300 ms; 0 takes it as soon as it is closed).
  std::int64_t settleMs = 0;
  // Make the names of claimed jobs unique across machines and runs.
  std::string hostTag = "local";
  std::uint64_t runId = 0;
  // Where to keep the state of a watched directory the tool may not write
  // (empty: such a directory's jobs wait).
  std::function<std::string(const std::string& dir)> privateStateDir;
  // The handlers' file system: the dispatcher points its journal at the job
  // that runs, so that a result published before a crash is not made twice.
  JournalingFileSystem* journal = nullptr;
  // Called at the named steps of a job ("claimed", "ran", "finished"); tests
  // end the process there to check what a crash at that step leaves.
  std::function<void(const std::string& step)> stepHook;
};

struct PassReport {
  int newJobs = 0;         // job files (or new versions of them) tried for the first time this run
  int failures = 0;        // of those, how many failed or were kept with an error
  int ran = 0;             // jobs run in this pass
  int waiting = 0;         // files within their quiet period
  int busy = 0;            // files another process still has open for writing
  int unavailable = 0;     // files whose handler cannot work now (no printer)
  bool moreReady = false;  // a handler that takes one file per pass may have more
  bool skipped = false;    // a pass was already running, or dispatching is disabled
  std::int64_t settleWakeMs = -1;  // until a waiting file may be ready; -1: none waits
  std::int64_t retryWakeMs = -1;   // until a kept job may be tried again; -1: none
};

class Dispatcher {
 public:
  Dispatcher(FileSystem& fs, Clock& clock, MessageSink& messages, JobStatus& status,
             std::string spoolDir, DispatcherOptions options = {});
  ~Dispatcher();

  // Handlers run in the order they are added. A handler added with a
  // directory looks there instead of the spool directory. `available`, when
  // given, says whether the handler can work now (its files wait otherwise).
  void addHandler(std::unique_ptr<JobHandler> handler, std::string directory = {},
                  std::function<bool()> available = {});

  // The dispatch timer's enabled state; a pass runs only while enabled.
  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool enabled() const { return enabled_; }

  // One pass over all handlers. Safe to call at any time: it returns at
  // once while another pass runs.
  PassReport runPass();

  // A change notification for `name` in `dir` (any thread; an empty name
  // stands for the whole directory): whether it may concern a job; if so,
  // the next pass lists that directory again.
  bool noteChange(const std::string& dir, const std::string& name);
  // The directories handlers look in.
  std::vector<std::string> directories() const;

  // Whether any job of this run failed, and whether jobs were left because
  // their handler could not work.
  bool anyFailure() const { return anyFailure_; }
  bool anyUnavailable() const { return anyUnavailable_; }

 private:
  struct Slot;
  struct Watched;
  struct Candidate;
  struct Parked;
  using Version = std::tuple<std::string, std::uint64_t, std::int64_t, std::uint64_t>;

  Watched& watchedFor(const std::string& dir);
  bool openArea(Watched& w);
  void recover(Watched& w);
  void refresh(Watched& w, std::int64_t now, PassReport& report);
  bool isJobNameIn(const Watched& w, const std::string& name) const;
  // Runs the handler's jobs of this pass; false when the pass must end.
  bool serveSlot(Slot& slot, PassReport& report, std::int64_t now);
  bool runItem(Slot& slot, Watched& w, const WorkArea::Item& item, PassReport& report);
  void park(Watched& w, const WorkArea::Item& item, bool waitForWriter, std::int64_t now);
  Version versionOf(const Watched& w, const WorkArea::Item& item) const;
  void log(const std::string& name, const std::string& handler, const std::string& outcome);
  void step(const char* name);

  FileSystem& fs_;
  Clock& clock_;
  MessageSink& messages_;
  JobStatus& status_;
  std::string spoolDir_;
  DispatcherOptions options_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::unique_ptr<Watched>> watched_;
  std::atomic<bool> enabled_{false};
  std::atomic<bool> running_{false};
  bool anyFailure_ = false;
  bool anyUnavailable_ = false;

  std::set<Version> tried_;     // versions already run in this run
  std::set<Version> reported_;  // versions whose failure or state was already told
};

// "txt" matches "REPORT.TXT"; hidden names (leading ".") never match.
bool isJobName(const std::string& name, const std::string& extension);
// Case-insensitive order of names, as the Windows directory search returns them.
bool jobNameLess(const std::string& a, const std::string& b);

}  // namespace marvena
