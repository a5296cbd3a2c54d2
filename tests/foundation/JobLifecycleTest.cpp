// The road of a job under faults: re-submission, links, read-only spools,
// crashes at each step, retries, many files, two processors.
#include <gtest/gtest.h>

#include <functional>

#include "platform/fake/Fakes.h"
#include "spool/Dispatcher.h"
#include "spool/JournalingFileSystem.h"
#include "spool/Readiness.h"
#include "spool/TempNames.h"

namespace marvena {
namespace {

DirEntry Version(std::uint64_t size, std::int64_t mtime, std::uint64_t inode = 7) {
  DirEntry e;
  e.regular = true;
  e.size = size;
  e.mtimeNs = mtime;
  e.device = 1;
  e.inode = inode;
  return e;
}

TEST(Readiness, QuietPeriodWriterAndChanges) {
  struct Step {
    std::int64_t atMs;
    DirEntry file;
    WriteState writer;
    Readiness expected;
    std::int64_t recheckAt;
  };
  const DirEntry v1 = Version(10, 1), v2 = Version(20, 2);
  const Step steps[] = {
      {0, v1, WriteState::Idle, Readiness::Settling, 300},        // first seen: the wait starts
      {200, v1, WriteState::Busy, Readiness::Busy, -1},           // reopened by its writer
      {400, v1, WriteState::Idle, Readiness::Settling, 500},      // the wait starts again
      {450, v2, WriteState::Idle, Readiness::Settling, 750},      // appended: again
      {750, v2, WriteState::Idle, Readiness::Ready, -1},          // quiet for 300 ms
      {760, v2, WriteState::Unknown, Readiness::Settling, 1450},  // no lease here: 1 s
      {800, v2, WriteState::Missing, Readiness::Gone, -1},
      {900, v2, WriteState::Unknown, Readiness::Settling, 1900},  // back, cannot ask: one second
  };
  SettleState state;
  for (const Step& s : steps) {
    const ReadinessDecision d = decideReadiness(state, s.file, s.writer, s.atMs, 300);
    EXPECT_EQ(d.readiness, s.expected) << "at " << s.atMs;
    if (s.recheckAt >= 0) {
      EXPECT_EQ(d.recheckAtMs, s.recheckAt) << "at " << s.atMs;
    }
  }
  SettleState now;  // a quiet period of 0 takes a closed file at once
  EXPECT_EQ(decideReadiness(now, v1, WriteState::Idle, 5, 0).readiness, Readiness::Ready);
}

TEST(Readiness, RetriesBackOffToAMinuteAndANewVersionGoesAtOnce) {
  Backoff b;
  const DirEntry v = Version(1, 1);
  std::int64_t due = 0;
  EXPECT_TRUE(retryAllowed(b, v, 0, &due));
  const std::int64_t delays[] = {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000};
  std::int64_t now = 0;
  for (std::int64_t delay : delays) {
    noteFailedTry(b, v, now);
    EXPECT_FALSE(retryAllowed(b, v, now + delay - 1, &due));
    EXPECT_EQ(due, now + delay);
    EXPECT_TRUE(retryAllowed(b, v, now + delay, &due));
    now += delay;
  }
  EXPECT_TRUE(retryAllowed(b, Version(2, 9), now, &due));  // changed: at once
  noteFailedTry(b, Version(2, 9), now);
  EXPECT_EQ(b.delayMs, 1000);
}

TEST(TemporaryNames, OursCarryTheWriterAndOldOnesAreRecognised) {
  const std::string name = temporaryFileName(4321, 0xabcdef01u);
  EXPECT_EQ(name, ".marvena-4321-abcdef01.tmp");
  EXPECT_LT(name.size(), 32u);
  EXPECT_EQ(temporaryOwner(name), 4321);
  for (const char* other : {"marvena-1-ab.tmp", ".marvena-x-ab.tmp", ".marvena-12-.tmp",
                            ".marvena-12-zz.tmp", ".marvena-12-ab.tmpx", "REPORT.tmp"})
    EXPECT_EQ(temporaryOwner(other), -1) << other;
  for (const char* old : {".SAL.XLS.123456.tmp", ".A.ffdata.7.tmp", ".MARVENA.INI.99.tmp",
                          ".marvena-REPORT-1.pdf.part"})
    EXPECT_TRUE(isLegacyTemporary(old)) << old;
  for (const char* keep : {".tmp", "..5.tmp", ".A.x.tmp", "A.XLS.1.tmp", ".hidden"})
    EXPECT_FALSE(isLegacyTemporary(keep)) << keep;
}

TEST(TemporaryNames, StaleOnesGoAtStartLiveOnesStay) {
  FakeFileSystem fs;
  fs.put("/d/.marvena-100-0a.tmp", "dead writer");
  fs.put("/d/.marvena-200-0b.tmp", "live writer");
  fs.put("/d/.SAL.XLS.5.tmp", "old version");
  fs.put("/d/SAL.XLS", "result");
  fs.put("/d/.profile", "not ours");
  EXPECT_EQ(removeStaleTemporaryFiles(fs, "/d", [](long pid) { return pid == 200; }), 2);
  EXPECT_EQ(fs.files.size(), 3u);
  EXPECT_TRUE(fs.files.count("/d/.marvena-200-0b.tmp"));
}

// A handler that reads its job and publishes one result beside it.
class CopyHandler final : public JobHandler {
 public:
  CopyHandler(std::string ext, FileSystem& fs, bool all = false)
      : ext_(std::move(ext)), fs_(fs), all_(all) {}
  std::string extension() const override { return ext_; }
  bool takesAll() const override { return all_; }
  JobResult run(const JobFile& job) override {
    std::string error;
    const std::optional<std::string> bytes = fs_.readFile(job.path, &error);
    if (!bytes) return JobResult::notReady(error);
    seen.push_back(job.name + "=" + *bytes);
    if (during) during(job);
    if (answer.kind != JobResult::Kind::Done || !publish) return answer;
    if (!fs_.writeFileAtomic(job.directory() + "/" + job.name + ".out", *bytes, &error))
      return JobResult::kept("Nepavyko", error);
    return JobResult::done();
  }
  std::vector<std::string> seen;
  std::function<void(const JobFile&)> during;
  JobResult answer = JobResult::done();
  bool publish = true;

 private:
  std::string ext_;
  FileSystem& fs_;
  bool all_;
};

struct Crash {
  std::string step;
};

struct LifecycleTest : ::testing::Test {
  FakeFileSystem fs;
  JournalingFileSystem jobFs{fs};
  FakeClock clock;
  RecordingMessages messages;
  JobStatus status;
  std::string crashAt;

  LifecycleTest() { fs.dirs.insert("/spool"); }

  std::unique_ptr<Dispatcher> make(std::string host = "pc1", std::int64_t settleMs = 0) {
    DispatcherOptions o;
    o.settleMs = settleMs;
    o.hostTag = std::move(host);
    o.runId = ++runs;
    o.journal = &jobFs;
    o.privateStateDir = [](const std::string&) { return std::string("/home/state"); };
    o.stepHook = [this](const std::string& step) {
      if (step == crashAt) throw Crash{step};
    };
    auto d = std::make_unique<Dispatcher>(fs, clock, messages, status, "/spool", o);
    d->setEnabled(true);
    return d;
  }
  std::vector<std::string> outputs() const {
    std::vector<std::string> out;
    for (const auto& [path, bytes] : fs.files)
      if (path.size() > 4 && path.substr(path.size() - 4) == ".out") out.push_back(path);
    return out;
  }
  int runs = 0;
};

TEST_F(LifecycleTest, AJobReplacedWhileItRunsIsANewJobAndBothAreDone) {
  auto d = make();
  CopyHandler* h = new CopyHandler("txt", jobFs, true);
  d->addHandler(std::unique_ptr<JobHandler>(h));
  fs.put("/spool/REPORT.txt", "first");
  h->during = [&](const JobFile& job) {
    if (job.name == "REPORT.txt" && h->seen.size() == 1) fs.put("/spool/REPORT.txt", "second");
    // What the job reads stays what was claimed.
    EXPECT_EQ(*fs.readFile(job.path, nullptr), h->seen.back().substr(11));
  };
  d->runPass();
  d->runPass();
  EXPECT_EQ(h->seen, (std::vector<std::string>{"REPORT.txt=first", "REPORT.txt=second"}));
  EXPECT_FALSE(fs.files.count("/spool/REPORT.txt"));
  EXPECT_EQ(fs.files["/spool/REPORT.txt.out"], "second");
}

TEST_F(LifecycleTest, AJobSwappedForALinkIsNeverRead) {
  auto d = make("pc1", 300);
  CopyHandler* h = new CopyHandler("CLB", jobFs);
  d->addHandler(std::unique_ptr<JobHandler>(h));
  fs.put("/secret", "password");
  fs.put("/spool/A.CLB", "text");
  d->runPass();  // seen, settling
  fs.link("/spool/A.CLB", "/secret");
  clock.nowMs += 1000;
  d->runPass();
  EXPECT_TRUE(h->seen.empty());
  EXPECT_EQ(fs.links["/spool/A.CLB"], "/secret");  // left as it was
  EXPECT_TRUE(messages.errors.empty());
}

TEST_F(LifecycleTest, DoneButUndeletableIsRememberedAndToldOnce) {
  auto d = make();
  CopyHandler* h = new CopyHandler("MFF", jobFs);
  d->addHandler(std::unique_ptr<JobHandler>(h));
  fs.put("/spool/A.MFF", "rows");
  fs.put("/spool/out/.keep", "");
  fs.readOnlyDirs.insert("/spool");
  h->publish = false;  // its result would go elsewhere
  for (int i = 0; i < 5; ++i) {
    d->runPass();
    clock.nowMs += 120000;
  }
  EXPECT_EQ(h->seen.size(), 1u);
  ASSERT_EQ(messages.errors.size(), 1u);
  EXPECT_NE(messages.errors[0].find("nepavyko i\xC5\xA1trinti"), std::string::npos);
  EXPECT_TRUE(fs.files.count("/spool/A.MFF"));

  // Remembered across a restart, and a new version is a new job.
  auto again = make();
  CopyHandler* h2 = new CopyHandler("MFF", jobFs);
  again->addHandler(std::unique_ptr<JobHandler>(h2));
  again->runPass();
  EXPECT_TRUE(h2->seen.empty());
  fs.put("/spool/A.MFF", "new rows");
  again->runPass();
  EXPECT_EQ(h2->seen, (std::vector<std::string>{"A.MFF=new rows"}));
}

TEST_F(LifecycleTest, ACrashAtAnyStepLeavesTheJobDoneOnceOrPending) {
  for (const char* step : {"claimed", "ran", "finished"}) {
    SCOPED_TRACE(step);
    fs.files.clear();
    fs.put("/spool/SAL.slx", "cells");
    crashAt = step;
    auto d = make();
    CopyHandler* h = new CopyHandler("slx", jobFs);
    d->addHandler(std::unique_ptr<JobHandler>(h));
    EXPECT_THROW(d->runPass(), Crash);
    crashAt.clear();

    auto restarted = make();
    CopyHandler* h2 = new CopyHandler("slx", jobFs);
    restarted->addHandler(std::unique_ptr<JobHandler>(h2));
    restarted->runPass();
    restarted->runPass();
    // Run again only when the crash came before the result was published.
    EXPECT_EQ(h->seen.size() + h2->seen.size(), std::string(step) == "claimed" ? 1u : 1u);
    EXPECT_EQ(h2->seen.size(), std::string(step) == "claimed" ? 1u : 0u);
    EXPECT_EQ(outputs(), (std::vector<std::string>{"/spool/SAL.slx.out"}));
    EXPECT_FALSE(fs.files.count("/spool/SAL.slx"));
    for (const auto& [path, bytes] : fs.files)
      EXPECT_EQ(path.find("/work/"), std::string::npos) << path << " left in the work area";
  }
}

TEST_F(LifecycleTest, TheResultIsDurableBeforeTheJobIsDeleted) {
  auto d = make();
  d->addHandler(std::make_unique<CopyHandler>("DFF", jobFs));
  fs.put("/spool/A.DFF", "x");
  d->runPass();
  const auto at = [&](const std::string& op) {
    return std::find(fs.ops.begin(), fs.ops.end(), op) - fs.ops.begin();
  };
  const auto removed = std::find_if(fs.ops.begin(), fs.ops.end(),
                                    [](const std::string& op) {
                                      return op.rfind("remove ", 0) == 0 &&
                                             op.find("A.DFF") != std::string::npos &&
                                             op.find(".out") == std::string::npos;
                                    }) -
                       fs.ops.begin();
  ASSERT_LT(removed, static_cast<long>(fs.ops.size()));
  EXPECT_LT(at("commit /spool/A.DFF.out"), removed);
  EXPECT_LT(at("sync /spool"), removed);
}

TEST_F(LifecycleTest, KeptJobsBackOffAndGoBackUnderTheirName) {
  auto d = make();
  CopyHandler* h = new CopyHandler("FTP", jobFs);
  h->answer = JobResult::kept("Serveris nepasiekiamas", "connection refused");
  d->addHandler(std::unique_ptr<JobHandler>(h));
  fs.put("/spool/X.FTP", "doc");
  // Ten minutes of one pass a second: 1, 2, 4 ... 60 s apart, not 600 tries.
  for (int i = 0; i < 600; ++i) {
    d->runPass();
    clock.nowMs += 1000;
  }
  EXPECT_GE(h->seen.size(), 12u);
  EXPECT_LE(h->seen.size(), 16u);
  EXPECT_EQ(fs.files["/spool/X.FTP"], "doc");
  EXPECT_EQ(messages.errors.size(), 1u);
  fs.put("/spool/X.FTP", "doc 2");  // changed: tried at once
  const std::size_t before = h->seen.size();
  d->runPass();
  EXPECT_EQ(h->seen.size(), before + 1);
}

TEST_F(LifecycleTest, NoPrinterHoldsOnlyTheTextJobs) {
  auto d = make();
  bool printer = false;
  CopyHandler* txt = new CopyHandler("txt", jobFs, true);
  CopyHandler* slx = new CopyHandler("slx", jobFs);
  d->addHandler(std::unique_ptr<JobHandler>(txt), {}, [&] { return printer; });
  d->addHandler(std::unique_ptr<JobHandler>(slx));
  fs.put("/spool/A.txt", "page");
  fs.put("/spool/B.slx", "cells");
  const PassReport r = d->runPass();
  EXPECT_EQ(r.unavailable, 1);
  EXPECT_TRUE(d->anyUnavailable());
  EXPECT_TRUE(txt->seen.empty());
  EXPECT_EQ(slx->seen.size(), 1u);
  printer = true;
  d->runPass();
  EXPECT_EQ(txt->seen.size(), 1u);
}

TEST_F(LifecycleTest, IdlePassesDoNotListOrStatNamesThatAreNoJobs) {
  auto d = make();
  d->addHandler(std::make_unique<CopyHandler>("slx", jobFs));
  for (int i = 0; i < 2000; ++i) fs.put("/spool/R" + std::to_string(i) + ".XLS", "result");
  fs.put("/spool/A.slx", "cells");
  d->runPass();
  d->runPass();
  const int listings = fs.listings, stats = fs.stats;
  for (int i = 0; i < 100; ++i) {
    clock.nowMs += 1000;
    d->runPass();
  }
  EXPECT_LE(fs.listings - listings, 10);  // now and then, for what no notification told
  EXPECT_LE(fs.stats - stats, 200);       // the directory itself, once a pass
  fs.put("/spool/B.slx", "more");         // a new name changes the directory
  d->runPass();
  EXPECT_TRUE(fs.files.count("/spool/B.slx.out"));
}

TEST_F(LifecycleTest, TwoProcessorsOfOneSpoolDoEachJobOnce) {
  auto first = make("pc1"), second = make("pc2");
  CopyHandler* a = new CopyHandler("txt", jobFs, true);
  CopyHandler* b = new CopyHandler("txt", jobFs, true);
  first->addHandler(std::unique_ptr<JobHandler>(a));
  second->addHandler(std::unique_ptr<JobHandler>(b));
  for (int i = 0; i < 50; ++i) fs.put("/spool/J" + std::to_string(i) + ".txt", "x");
  // The second lists before the first takes anything: it finds the files gone.
  a->during = [&](const JobFile&) {
    if (a->seen.size() == 10) second->runPass();
  };
  first->runPass();
  second->runPass();
  EXPECT_EQ(a->seen.size() + b->seen.size(), 50u);
  EXPECT_EQ(outputs().size(), 50u);
}

}  // namespace
}  // namespace marvena

namespace marvena {
namespace {

struct RecordingObserver final : JobObserver {
  std::vector<std::string> seen;
  void onJobEvent(const JobEvent& e) override {
    switch (e.type) {
      case JobEvent::Type::PassStarted:
        seen.push_back("pass");
        break;
      case JobEvent::Type::PassEnded:
        seen.push_back("end");
        break;
      case JobEvent::Type::JobStarted:
        seen.push_back("start " + e.kind + " " + e.name + " " + std::to_string(e.bytesTotal));
        break;
      case JobEvent::Type::Progress:
        if (e.bytesTotal > 0)
          seen.push_back("progress " + std::to_string(e.bytesDone) + "/" +
                         std::to_string(e.bytesTotal));
        break;
      case JobEvent::Type::JobEnded:
        seen.push_back("ended " + e.name + " " + std::to_string(static_cast<int>(e.outcome)) +
                       (e.repeated ? " again" : "") + (e.message.empty() ? "" : " " + e.message));
        break;
      case JobEvent::Type::StateChanged:
        seen.push_back("state " + std::to_string(static_cast<int>(e.state)));
        break;
    }
  }
};

TEST_F(LifecycleTest, EveryStepOfAJobIsAnEvent) {
  RecordingObserver events;
  status.addObserver(&events);
  auto d = make();
  CopyHandler* h = new CopyHandler("CLB", jobFs);
  h->during = [&](const JobFile& job) {
    status.jobBytesTotal = static_cast<std::int64_t>(job.entry.size);
    status.jobBytesDone.fetch_add(2);
  };
  d->addHandler(std::unique_ptr<JobHandler>(h));
  fs.put("/spool/A.CLB", "text");
  d->runPass();
  EXPECT_EQ(events.seen,
            (std::vector<std::string>{"pass", "start CLB A.CLB 4", "state 2", "progress 0/4",
                                      "progress 2/4", "state 0", "ended A.CLB 0", "end"}));
  events.seen.clear();
  h->answer = JobResult::kept("Nėra iškarpinės", "no clipboard");
  h->during = nullptr;
  fs.put("/spool/B.CLB", "x");
  d->runPass();
  clock.nowMs += kFirstRetryMs;
  d->runPass();
  const std::vector<std::string> ended = [&] {
    std::vector<std::string> out;
    for (const std::string& s : events.seen)
      if (s.rfind("ended", 0) == 0) out.push_back(s);
    return out;
  }();
  EXPECT_EQ(ended, (std::vector<std::string>{"ended B.CLB 3 Nėra iškarpinės",
                                             "ended B.CLB 3 again Nėra iškarpinės"}));
  status.forceDisabled();
  status.setState(DispatchState::Busy);  // not operational stays so until the reason goes
  status.leaveDisabled();
  EXPECT_EQ(events.seen.back(), "state 0");
  EXPECT_EQ(events.seen[events.seen.size() - 2], "state 1");
}

}  // namespace
}  // namespace marvena
