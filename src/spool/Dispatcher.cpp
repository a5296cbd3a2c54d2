#include "spool/Dispatcher.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageSink.h"
#include "spool/JobLog.h"
#include "spool/JournalingFileSystem.h"
#include "text/Ascii.h"

namespace marvena {

namespace {

// A directory whose time has not changed is listed again after this long
// at the latest (or 400 times what a listing costs, whichever is longer),
// for changes no notification told of.
constexpr std::int64_t kRelistMs = 30000;
// A listing made because the directory changed is made once more this much
// later: on file systems whose time stamps are coarse, a file added in the
// same tick as the first listing does not change the stamp again.
constexpr std::int64_t kConfirmMs = 2000;
// A watched directory whose work area could not be made is tried again.
constexpr std::int64_t kReopenMs = 60000;

struct NameLess {
  bool operator()(const std::string& a, const std::string& b) const { return jobNameLess(a, b); }
};

// Keeps the pass guard set for the lifetime of a pass.
class PassGuard {
 public:
  explicit PassGuard(std::atomic<bool>& flag) : flag_(flag) {}
  bool acquire() { return owned_ = !flag_.exchange(true); }
  ~PassGuard() {
    if (owned_) flag_.store(false);
  }

 private:
  std::atomic<bool>& flag_;
  bool owned_ = false;
};

// Restores the idle tray state and the current-job display on every way out.
class BusyScope {
 public:
  BusyScope(JobStatus& status, const std::string& name) : status_(status) {
    status_.setState(DispatchState::Busy);
    status_.setCurrentJob(name);
  }
  ~BusyScope() {
    status_.setCurrentJob({});
    status_.jobBytesTotal = 0;  // first, so that no stale fraction is shown
    status_.jobBytesDone = 0;
    status_.setState(DispatchState::Enabled);
  }

 private:
  JobStatus& status_;
};

// Points the handlers' journal at one job for as long as it runs.
class JournalScope {
 public:
  JournalScope(JournalingFileSystem* fs, std::string path) : fs_(fs) {
    if (fs_) fs_->setJournal(std::move(path));
  }
  ~JournalScope() {
    if (fs_) fs_->setJournal({});
  }

 private:
  JournalingFileSystem* fs_;
};

void earliest(std::int64_t* slot, std::int64_t delay) {
  delay = std::max<std::int64_t>(delay, 0);
  if (*slot < 0 || delay < *slot) *slot = delay;
}

}  // namespace

struct Dispatcher::Slot {
  std::unique_ptr<JobHandler> handler;
  std::string extension;
  Watched* watched = nullptr;
  std::function<bool()> available;
};

struct Dispatcher::Candidate {
  SettleState settle;
  bool claimedCopy = false;  // a copy of it is being worked on
};

struct Dispatcher::Parked {
  WorkArea::Item item;
  bool waitForWriter = false;  // a writer still had it open when it was claimed
  SettleState settle;
  Backoff backoff;
};

struct Dispatcher::Watched {
  std::string dir;
  std::unique_ptr<WorkArea> area;
  bool opened = false;
  std::int64_t openTriedMs = std::numeric_limits<std::int64_t>::min() / 2;
  std::atomic<bool> dirty{true};
  bool listed = false;
  std::int64_t stampNs = 0;
  std::int64_t listedAtMs = 0;
  std::int64_t relistMs = kRelistMs;
  std::int64_t minGapMs = 0;
  bool confirm = false;  // list once more, kConfirmMs after a listing caused by a change
  std::vector<std::string> extensions;
  std::map<std::string, Candidate, NameLess> candidates;
  std::map<std::string, Backoff> backoffs;  // of names put back after a failed try
  std::vector<Parked> parked;               // claimed jobs waiting in the work area
};

bool isJobName(const std::string& name, const std::string& extension) {
  if (name.empty() || name[0] == '.') return false;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot - 1 != extension.size()) return false;
  for (std::size_t i = 0; i < extension.size(); ++i)
    if (asciiUpper(name[dot + 1 + i]) != asciiUpper(extension[i])) return false;
  return true;
}

bool jobNameLess(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = asciiUpper(a[i]), y = asciiUpper(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

Dispatcher::Dispatcher(FileSystem& fs, Clock& clock, MessageSink& messages, JobStatus& status,
                       std::string spoolDir, DispatcherOptions options)
    : fs_(fs),
      clock_(clock),
      messages_(messages),
      status_(status),
      spoolDir_(std::move(spoolDir)),
      options_(std::move(options)) {}

Dispatcher::~Dispatcher() = default;

Dispatcher::Watched& Dispatcher::watchedFor(const std::string& dir) {
  for (auto& w : watched_)
    if (w->dir == dir) return *w;
  watched_.push_back(std::make_unique<Watched>());
  watched_.back()->dir = dir;
  return *watched_.back();
}

void Dispatcher::addHandler(std::unique_ptr<JobHandler> handler, std::string directory,
                            std::function<bool()> available) {
  auto slot = std::make_unique<Slot>();
  slot->extension = handler->extension();
  slot->handler = std::move(handler);
  slot->watched = &watchedFor(directory.empty() ? spoolDir_ : directory);
  slot->watched->extensions.push_back(slot->extension);
  slot->available = std::move(available);
  slots_.push_back(std::move(slot));
}

std::vector<std::string> Dispatcher::directories() const {
  std::vector<std::string> out;
  for (const auto& w : watched_) out.push_back(w->dir);
  return out;
}

bool Dispatcher::isJobNameIn(const Watched& w, const std::string& name) const {
  for (const std::string& ext : w.extensions)
    if (isJobName(name, ext)) return true;
  return false;
}

bool Dispatcher::noteChange(const std::string& dir, const std::string& name) {
  for (auto& w : watched_) {
    if (w->dir != dir || (!name.empty() && !isJobNameIn(*w, name))) continue;
    w->dirty = true;
    return true;
  }
  return false;
}

bool Dispatcher::openArea(Watched& w) {
  if (w.opened) return true;
  if (!fs_.isDirectory(w.dir)) return false;  // nothing to serve yet
  const std::int64_t now = clock_.monotonicMs();
  if (now - w.openTriedMs < kReopenMs) return false;
  w.openTriedMs = now;
  std::string error;
  w.area =
      std::make_unique<WorkArea>(fs_, w.dir, w.dir + "/.marvena", options_.hostTag, options_.runId);
  if (!w.area->open(&error)) {
    const std::string own = options_.privateStateDir ? options_.privateStateDir(w.dir) : "";
    std::string privateError;
    if (!own.empty()) {
      w.area = std::make_unique<WorkArea>(fs_, w.dir, own, options_.hostTag, options_.runId);
      if (w.area->open(&privateError)) {
        messages_.log("cannot keep the work area in " + w.dir + " (" + error + "); using " + own +
                      ": jobs there are copied, and ones that cannot be deleted are remembered");
        w.opened = true;
      }
    }
    if (!w.opened) {
      messages_.log("no work area for " + w.dir + ": " + error +
                    (privateError.empty() ? "" : "; " + privateError) +
                    "; its jobs wait until one can be made");
      w.area.reset();
      return false;
    }
  }
  w.opened = true;
  recover(w);
  return true;
}

void Dispatcher::recover(Watched& w) {
  int foreign = 0;
  for (WorkArea::Item& item : w.area->leftovers(&foreign)) {
    if (w.area->published(item)) {
      w.area->finish(item);
      messages_.log("finished " + item.name + ": its result was in place before a restart");
      continue;
    }
    messages_.log("taking up " + item.name + " again: the tool stopped while it ran");
    w.parked.push_back({item, false, {}, {}});
  }
  if (foreign > 0)
    messages_.log(std::to_string(foreign) + " job(s) in " + w.area->stateDir() +
                  "/work belong to another machine; left alone");
}

void Dispatcher::refresh(Watched& w, std::int64_t now, PassReport& report) {
  const std::optional<DirEntry> dir = fs_.lstat(w.dir);
  if (!dir) {
    w.candidates.clear();
    w.listed = false;
    return;
  }
  const bool changed = w.dirty || !w.listed || dir->mtimeNs != w.stampNs;
  const bool confirm = w.confirm && now - w.listedAtMs >= kConfirmMs;
  if (!changed && !confirm && now - w.listedAtMs < w.relistMs) return;
  // While jobs run, the tool's own results change the directory all the
  // time: it is listed again at most so often that listing stays a small
  // part of the work, however many files it holds.
  if (changed && w.listed && now - w.listedAtMs < w.minGapMs) {
    ++report.waiting;
    earliest(&report.settleWakeMs, w.listedAtMs + w.minGapMs - now);
    return;
  }
  w.dirty = false;
  const std::int64_t start = clock_.monotonicMs();

  std::map<std::string, Candidate, NameLess> candidates;
  std::set<std::string> present;
  for (DirName& d : fs_.listNames(w.dir)) {
    if (d.type == EntryType::Directory || d.type == EntryType::Other) continue;
    if (!isJobNameIn(w, d.name)) continue;
    present.insert(d.name);
    auto old = w.candidates.find(d.name);
    candidates.emplace(d.name, old == w.candidates.end() ? Candidate{} : old->second);
  }
  w.candidates = std::move(candidates);
  std::erase_if(w.backoffs, [&](const auto& b) { return !present.count(b.first); });
  if (w.area) w.area->pruneHandled(present);
  w.stampNs = dir->mtimeNs;
  w.listed = true;
  const std::int64_t done = clock_.monotonicMs();
  w.listedAtMs = done;
  w.confirm = changed && !confirm;
  w.relistMs = std::max<std::int64_t>(kRelistMs, 400 * (done - start));
  w.minGapMs = std::min<std::int64_t>(1000, 20 * (done - start));
}

PassReport Dispatcher::runPass() {
  PassReport report;
  PassGuard guard(running_);
  if (!enabled_ || !guard.acquire()) {
    report.skipped = true;
    return report;
  }
  const std::int64_t now = clock_.monotonicMs();
  JobEvent started;
  started.type = JobEvent::Type::PassStarted;
  status_.publish(started);
  for (auto& w : watched_)
    if (openArea(*w)) refresh(*w, now, report);

  for (auto& slot : slots_)
    if (!serveSlot(*slot, report, now)) break;
  JobEvent ended;
  ended.type = JobEvent::Type::PassEnded;
  status_.publish(ended);
  return report;
}

bool Dispatcher::serveSlot(Slot& slot, PassReport& report, std::int64_t now) {
  Watched& w = *slot.watched;
  if (!w.opened) return true;
  const std::string& ext = slot.extension;

  if (slot.handler->pending()) {
    for (auto& [name, c] : w.candidates) {
      if (!isJobName(name, ext)) continue;
      const std::string path = w.dir + "/" + name;
      const std::optional<DirEntry> e = fs_.lstat(path);
      if (!e || !e->regular) continue;
      const ReadinessDecision d =
          decideReadiness(c.settle, *e, fs_.writeState(path), now, options_.settleMs);
      if (d.readiness == Readiness::Settling) {
        ++report.waiting;
        earliest(&report.settleWakeMs, d.recheckAtMs - now);
      }
      if (d.readiness == Readiness::Ready &&
          reported_.insert({path, e->size, e->mtimeNs, e->inode}).second)
        log(name, ext, "left in place: this job kind is not handled yet");
    }
    return true;
  }
  if (slot.available && !slot.available()) {
    int waiting = 0;
    for (auto& [name, c] : w.candidates) waiting += isJobName(name, ext);
    for (Parked& p : w.parked) waiting += isJobName(p.item.name, ext);
    if (waiting > 0) {
      report.unavailable += waiting;
      anyUnavailable_ = true;
    }
    return true;
  }

  bool ranOne = false;
  for (;;) {
    // The tool is ending: the job that ran is finished, no new one starts.
    if (!enabled_) return false;
    if (ranOne && !slot.handler->takesAll()) {
      report.moreReady = true;
      return true;
    }
    // Jobs already in the work area go first: they were taken earlier.
    bool ran = false;
    for (std::size_t i = 0; i < w.parked.size(); ++i) {
      Parked& p = w.parked[i];
      if (!isJobName(p.item.name, ext)) continue;
      const std::optional<DirEntry> e = fs_.lstat(p.item.path);
      if (!e || !e->regular) {
        w.parked.erase(w.parked.begin() + static_cast<std::ptrdiff_t>(i--));
        continue;
      }
      std::int64_t due = 0;
      if (!retryAllowed(p.backoff, *e, now, &due)) {
        earliest(&report.retryWakeMs, due - now);
        continue;
      }
      if (p.waitForWriter) {
        const ReadinessDecision d =
            decideReadiness(p.settle, *e, fs_.writeState(p.item.path), now, options_.settleMs);
        if (d.readiness == Readiness::Busy) ++report.busy;
        if (d.readiness == Readiness::Settling) {
          ++report.waiting;
          earliest(&report.settleWakeMs, d.recheckAtMs - now);
        }
        if (d.readiness != Readiness::Ready) continue;
      }
      WorkArea::Item item = p.item;
      item.entry = *e;
      w.parked.erase(w.parked.begin() + static_cast<std::ptrdiff_t>(i));
      ranOne = ran = true;
      if (!runItem(slot, w, item, report)) return false;
      break;
    }
    if (ran) continue;

    // Then the directory, in name order; versions not yet tried this run
    // before ones that failed, so that one bad file cannot hold up the rest.
    std::string chosen, retry;
    for (auto it = w.candidates.begin(); it != w.candidates.end();) {
      const std::string& name = it->first;
      Candidate& c = it->second;
      if (!isJobName(name, ext) || c.claimedCopy) {
        ++it;
        continue;
      }
      const std::string path = w.dir + "/" + name;
      const std::optional<DirEntry> e = fs_.lstat(path);
      if (!e || !e->regular) {
        it = w.candidates.erase(it);
        continue;
      }
      if (w.area->handled(name, *e)) {
        ++it;
        continue;
      }
      std::int64_t due = 0;
      if (auto b = w.backoffs.find(name);
          b != w.backoffs.end() && !retryAllowed(b->second, *e, now, &due)) {
        earliest(&report.retryWakeMs, due - now);
        ++it;
        continue;
      }
      const ReadinessDecision d =
          decideReadiness(c.settle, *e, fs_.writeState(path), now, options_.settleMs);
      if (d.readiness == Readiness::Gone) {
        it = w.candidates.erase(it);
        continue;
      }
      if (d.readiness == Readiness::Busy) ++report.busy;
      if (d.readiness == Readiness::Settling) {
        ++report.waiting;
        earliest(&report.settleWakeMs, d.recheckAtMs - now);
      }
      if (d.readiness == Readiness::Ready) {
        if (!tried_.count({path, e->size, e->mtimeNs, e->inode})) {
          chosen = name;
          break;
        }
        if (retry.empty()) retry = name;
      }
      ++it;
    }
    if (chosen.empty()) chosen = retry;
    if (chosen.empty()) return true;

    const std::string path = w.dir + "/" + chosen;
    const std::optional<DirEntry> seen = fs_.lstat(path);
    if (!seen) continue;
    WorkArea::Item item;
    std::string error;
    const WorkArea::Claim claim = w.area->claim(chosen, *seen, true, &item, &error);
    if (claim != WorkArea::Claim::Claimed) {
      if (claim == WorkArea::Claim::Failed) {
        noteFailedTry(w.backoffs[chosen], *seen, now);
        if (reported_.insert({path, seen->size, seen->mtimeNs, seen->inode}).second)
          log(chosen, ext, "cannot be taken into the work area, tried again later: " + error);
      }
      if (claim == WorkArea::Claim::Gone) w.candidates.erase(chosen);
      continue;
    }
    step("claimed");
    if (item.source) {
      w.candidates[chosen].claimedCopy = true;
    } else {
      w.candidates.erase(chosen);  // its back-off stays: it may come back
    }
    // A writer that opened the file just before it was claimed still writes
    // into it: the job waits in the work area until that writer is done.
    if (fs_.writeState(item.path) == WriteState::Busy) {
      park(w, item, true, now);
      ++report.busy;
      continue;
    }
    ranOne = true;
    if (!runItem(slot, w, item, report)) return false;
  }
}

void Dispatcher::park(Watched& w, const WorkArea::Item& item, bool waitForWriter,
                      std::int64_t now) {
  Parked p{item, waitForWriter, {}, {}};
  if (!waitForWriter) noteFailedTry(p.backoff, item.entry, now);
  w.parked.push_back(std::move(p));
}

Dispatcher::Version Dispatcher::versionOf(const Watched& w, const WorkArea::Item& item) const {
  const DirEntry& v = item.source ? *item.source : item.entry;
  return {w.dir + "/" + item.name, v.size, v.mtimeNs, v.inode};
}

bool Dispatcher::runItem(Slot& slot, Watched& w, const WorkArea::Item& item, PassReport& report) {
  const Version version = versionOf(w, item);
  const bool isNew = tried_.insert(version).second;
  if (isNew) ++report.newJobs;
  ++report.ran;
  const std::string& kind = slot.extension;

  JobEvent event;
  event.type = JobEvent::Type::JobStarted;
  event.directory = w.dir;
  event.name = item.name;
  event.kind = kind;
  event.bytesTotal = static_cast<std::int64_t>(item.entry.size);
  status_.publish(event);

  JobResult result;
  bool endPass = false;
  {
    JournalScope journal(options_.journal, w.area->journalPath(item));
    BusyScope busy(status_, item.name);
    try {
      result = slot.handler->run(JobFile(item.path, item.name, item.entry, w.dir));
    } catch (const std::exception& ex) {
      result = JobResult::failed(std::string("Klaida: ") + ex.what(),
                                 std::string("unexpected error: ") + ex.what());
      endPass = true;
    } catch (...) {
      result = JobResult::failed("Nežinoma klaida", "unexpected error");
      endPass = true;
    }
  }
  step("ran");

  const std::int64_t now = clock_.monotonicMs();
  const bool firstReport = reported_.insert(version).second;
  const std::string copyNote = item.source ? " (a copy; the directory may not be changed)" : "";
  auto putBack = [&] {
    if (w.area->putBack(item)) {
      if (item.source)
        w.candidates[item.name].claimedCopy = false;
      else
        w.candidates[item.name];
      noteFailedTry(w.backoffs[item.name], item.source ? *item.source : item.entry, now);
    } else {
      // Its name was taken by a newer file meanwhile: it waits here.
      park(w, item, false, now);
    }
  };

  event.type = JobEvent::Type::JobEnded;
  event.message = result.message;
  event.detail = result.detail;
  event.repeated = !firstReport;
  switch (result.kind) {
    case JobResult::Kind::Done: {
      const bool deleted = w.area->finish(item);
      step("finished");
      if (item.source) w.candidates[item.name].claimedCopy = false;
      event.outcome = deleted ? JobOutcome::Done : JobOutcome::Undeletable;
      if (!deleted) {
        // "Failas ... atliktas, bet jo nepavyko ištrinti ..."
        event.message = "Failas " + item.name +
                        " atliktas, bet jo nepavyko i\xC5\xA1trinti i\xC5\xA1 katalogo " + w.dir +
                        ". Jis daugiau nebus vykdomas.";
        messages_.showError(event.message);
      }
      break;
    }
    case JobResult::Kind::NotReady:
    case JobResult::Kind::Untouched:
      putBack();
      event.outcome = JobOutcome::NotReady;
      break;
    case JobResult::Kind::Failed: {
      anyFailure_ = true;
      if (isNew) ++report.failures;
      const std::string moved = w.area->moveToFailed(item);
      if (item.source) w.candidates[item.name].claimedCopy = false;
      if (moved.empty()) {
        if (!item.source) putBack();
        event.detail = "could not move to FAILED" + copyNote + ": " + result.detail;
      } else {
        event.detail = "moved to " + moved + ": " + result.detail;
      }
      event.outcome = JobOutcome::Failed;
      if (firstReport) messages_.showError(result.message);
      break;
    }
    case JobResult::Kind::Kept:
      anyFailure_ = true;
      if (isNew) ++report.failures;
      putBack();
      event.outcome = JobOutcome::Kept;
      if (firstReport) messages_.showError(result.message);
      break;
  }
  status_.publish(event);
  return !endPass;
}

void Dispatcher::step(const char* name) {
  if (options_.stepHook) options_.stepHook(name);
}

void Dispatcher::log(const std::string& name, const std::string& handler,
                     const std::string& outcome) {
  messages_.log(jobLogLine(clock_, name, handler, outcome));
}

}  // namespace marvena
