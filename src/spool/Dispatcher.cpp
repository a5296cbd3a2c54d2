#include "spool/Dispatcher.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageSink.h"

namespace marvena {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// The size and time of a file must not change for this long when the file
// system cannot tell whether a writer still has it open.
constexpr std::int64_t kSettleMs = 1000;

// Keeps the pass guard set for the lifetime of a pass.
class PassGuard {
 public:
  explicit PassGuard(std::atomic<bool>& flag) : flag_(flag) {}
  bool acquire() { return !flag_.exchange(true); }
  ~PassGuard() {
    if (owned_) flag_.store(false);
  }
  void own() { owned_ = true; }

 private:
  std::atomic<bool>& flag_;
  bool owned_ = false;
};

// Restores the idle tray state and the current-job display on every way out.
class BusyScope {
 public:
  BusyScope(JobStatus& status, const std::string& name) : status_(status) {
    status_.setTrayState(tsAnimated);
    status_.setCurrentJob(name);
  }
  ~BusyScope() {
    status_.setCurrentJob({});
    status_.jobBytesDone = 0;
    status_.jobBytesTotal = 0;
    status_.setTrayState(tsEnabled);
  }

 private:
  JobStatus& status_;
};

}  // namespace

bool IsJobName(const std::string& name, const std::string& extension) {
  if (name.empty() || name[0] == '.') return false;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot - 1 != extension.size()) return false;
  for (std::size_t i = 0; i < extension.size(); ++i)
    if (Upper(name[dot + 1 + i]) != Upper(extension[i])) return false;
  return true;
}

bool JobNameLess(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

Dispatcher::Dispatcher(FileSystem& fs, Clock& clock, MessageSink& messages, JobStatus& status,
                       std::string spoolDir)
    : fs_(fs), clock_(clock), messages_(messages), status_(status), spoolDir_(std::move(spoolDir)) {}

void Dispatcher::addHandler(std::unique_ptr<JobHandler> handler, std::string directory) {
  slots_.push_back({std::move(handler), directory.empty() ? spoolDir_ : std::move(directory)});
}

std::vector<DirEntry> Dispatcher::candidates(const std::string& dir,
                                             const std::string& extension) {
  std::vector<DirEntry> out;
  for (DirEntry& e : fs_.list(dir))
    if (e.regular && IsJobName(e.name, extension)) out.push_back(std::move(e));
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return JobNameLess(a.name, b.name); });
  return out;
}

Dispatcher::Readiness Dispatcher::readiness(const std::string& path, const DirEntry& e) {
  switch (fs_.writeState(path)) {
    case WriteState::Idle:
      settling_.erase(path);
      return Readiness::Ready;
    case WriteState::Busy:
      settling_.erase(path);
      return Readiness::Busy;
    case WriteState::Missing:
      settling_.erase(path);
      return Readiness::Gone;
    case WriteState::Unknown:
      break;
  }
  const std::int64_t now = clock_.monotonicMs();
  auto it = settling_.find(path);
  if (it == settling_.end() || it->second.size != e.size || it->second.mtimeNs != e.mtimeNs) {
    settling_[path] = {e.size, e.mtimeNs, now};
    return Readiness::Settling;
  }
  if (now - it->second.sinceMs < kSettleMs) return Readiness::Settling;
  settling_.erase(it);
  return Readiness::Ready;
}

PassReport Dispatcher::runPass() {
  PassReport report;
  PassGuard guard(running_);
  if (!enabled_ || !guard.acquire()) {
    report.skipped = true;
    return report;
  }
  guard.own();

  for (Slot& slot : slots_) {
    const std::string extension = slot.handler->extension();
    std::set<std::string> doneThisPass;
    for (;;) {
      // Re-read the directory for every file: a job may have added or removed others.
      const std::vector<DirEntry> files = candidates(slot.directory, extension);
      // Files not yet tried in their present version go first, so that one
      // that keeps failing cannot hold up the others.
      const DirEntry* chosen = nullptr;
      const DirEntry* retry = nullptr;
      for (const DirEntry& e : files) {
        if (doneThisPass.count(e.name)) continue;
        const std::string path = slot.directory + "/" + e.name;
        const Readiness r = readiness(path, e);
        if (r == Readiness::Settling) ++report.waiting;
        if (r == Readiness::Busy) ++report.busy;
        if (r != Readiness::Ready) continue;
        if (tried_.count({path, e.size, e.mtimeNs})) {
          if (!retry) retry = &e;
          continue;
        }
        chosen = &e;
        break;
      }
      if (!chosen) chosen = retry;
      if (!chosen) break;
      doneThisPass.insert(chosen->name);
      if (!runJob(slot, slot.directory, *chosen, report)) return report;
      if (!slot.handler->takesAll()) break;
    }
  }
  return report;
}

bool Dispatcher::runJob(Slot& slot, const std::string& dir, const DirEntry& e,
                        PassReport& report) {
  const std::string path = dir + "/" + e.name;
  const Version version{path, e.size, e.mtimeNs};
  const bool isNew = tried_.insert(version).second;
  if (isNew) ++report.newJobs;
  const std::string kind = slot.handler->extension();

  JobResult result;
  bool endPass = false;
  {
    BusyScope busy(status_, e.name);
    try {
      result = slot.handler->run({path, e.name, e});
    } catch (const std::exception& ex) {
      result = JobResult::failed(std::string("Klaida: ") + ex.what(),
                                 std::string("unexpected error: ") + ex.what());
      endPass = true;
    } catch (...) {
      result = JobResult::failed("Nežinoma klaida", "unexpected error");
      endPass = true;
    }
  }

  const bool firstReport = reported_.insert(version).second;
  switch (result.kind) {
    case JobResult::Kind::Done:
      if (fs_.stat(path)) fs_.remove(path);
      log(e.name, kind, "done" + (result.detail.empty() ? "" : ": " + result.detail));
      break;
    case JobResult::Kind::NotReady:
      if (firstReport) log(e.name, kind, "not ready, left for a later pass: " + result.detail);
      break;
    case JobResult::Kind::Untouched:
      if (firstReport) log(e.name, kind, "left in place: " + result.detail);
      break;
    case JobResult::Kind::Failed: {
      anyFailure_ = true;
      if (isNew) ++report.failures;
      const std::string moved = moveToFailed(dir, e.name);
      if (moved.empty()) {
        log(e.name, kind, "failed, could not move to FAILED: " + result.detail);
      } else {
        log(e.name, kind, "failed, moved to " + moved + ": " + result.detail);
      }
      if (firstReport) messages_.showError(result.message);
      break;
    }
    case JobResult::Kind::Kept:
      anyFailure_ = true;
      if (isNew) ++report.failures;
      if (firstReport) {
        log(e.name, kind, "failed, kept for a later pass: " + result.detail);
        messages_.showError(result.message);
      }
      break;
  }
  return !endPass;
}

std::string Dispatcher::moveToFailed(const std::string& dir, const std::string& name) {
  const std::string failedDir = dir + "/FAILED";
  std::string error;
  if (!fs_.isDirectory(failedDir) && !fs_.makeDirectories(failedDir, &error)) return {};
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  for (int n = 1; n < 10000; ++n) {
    const std::string target =
        failedDir + "/" + (n == 1 ? name : stem + "-" + std::to_string(n) + ext);
    if (fs_.stat(target)) continue;
    if (fs_.renameNoReplace(dir + "/" + name, target, &error)) return target;
    if (!fs_.stat(dir + "/" + name)) return {};
  }
  return {};
}

void Dispatcher::log(const std::string& name, const std::string& handler,
                     const std::string& outcome) {
  const LocalTime t = clock_.localNow();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  messages_.log(std::string(stamp) + " " + name + " [*." + handler + "] " + outcome);
}

}  // namespace marvena
