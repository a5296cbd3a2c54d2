#include <gtest/gtest.h>

#include <functional>

#include "platform/fake/Fakes.h"
#include "spool/Dispatcher.h"
#include "spool/JobLog.h"

namespace marvena {
namespace {

constexpr const char* kSpool = "/spool";

// Records what it was given and answers as told.
class ScriptedHandler final : public JobHandler {
 public:
  ScriptedHandler(std::string ext, std::vector<std::string>& calls, bool all = false)
      : ext_(std::move(ext)), calls_(calls), all_(all) {}
  std::string extension() const override { return ext_; }
  bool takesAll() const override { return all_; }
  JobResult run(const JobFile& job) override {
    calls_.push_back(ext_ + ":" + job.name);
    if (onRun) return onRun(job);
    return JobResult::done();
  }
  std::function<JobResult(const JobFile&)> onRun;

 private:
  std::string ext_;
  std::vector<std::string>& calls_;
  bool all_;
};

struct DispatcherTest : ::testing::Test {
  FakeFileSystem fs;
  FakeClock clock;
  RecordingMessages messages;
  JobStatus status;
  Dispatcher dispatcher{fs, clock, messages, status, kSpool};
  std::vector<std::string> calls;

  JobLog jobLog{clock, messages};

  DispatcherTest() {
    status.addObserver(&jobLog);
    fs.dirs.insert(kSpool);
    dispatcher.setEnabled(true);
  }
  ScriptedHandler* add(const std::string& ext, bool all = false, std::string dir = {}) {
    auto h = std::make_unique<ScriptedHandler>(ext, calls, all);
    ScriptedHandler* raw = h.get();
    dispatcher.addHandler(std::move(h), std::move(dir));
    return raw;
  }
  void put(const std::string& name, std::string bytes = "x") {
    fs.put(std::string(kSpool) + "/" + name, std::move(bytes));
  }
};

TEST_F(DispatcherTest, FixedOrderOneFilePerPassAndTextTakesAll) {
  add("txt", true);
  add("www");
  add("CLB");
  put("b.txt");
  put("A.TXT");
  put("2.clb");
  put("1.CLB");
  put("x.www");
  dispatcher.runPass();
  EXPECT_EQ(calls, (std::vector<std::string>{"txt:A.TXT", "txt:b.txt", "www:x.www", "CLB:1.CLB"}));
  calls.clear();
  dispatcher.runPass();
  EXPECT_EQ(calls, (std::vector<std::string>{"CLB:2.clb"}));
  EXPECT_TRUE(fs.files.empty());  // done jobs are deleted
}

TEST_F(DispatcherTest, OnlyVisibleRegularFilesWithTheExactExtension) {
  add("CLB");
  put(".hidden.CLB");
  put("a.CLB.bak");
  put("aCLB");
  fs.dirs.insert("/spool/dir.CLB");
  dispatcher.runPass();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(status.state(), DispatchState::Enabled);  // nothing found: the icon is not touched
}

TEST_F(DispatcherTest, NameOrderIgnoresCase) {
  EXPECT_TRUE(jobNameLess("a.txt", "B.txt"));
  EXPECT_TRUE(jobNameLess("B.txt", "c.txt"));
  EXPECT_TRUE(jobNameLess("ab", "ABC"));
  EXPECT_FALSE(jobNameLess("b", "A"));
  EXPECT_TRUE(isJobName("X.Clb", "CLB"));
  EXPECT_FALSE(isJobName(".CLB", "CLB"));
}

TEST_F(DispatcherTest, FilesStillBeingWrittenWait) {
  add("CLB");
  put("a.CLB");
  put("b.CLB");
  fs.writeStates["/spool/a.CLB"] = WriteState::Busy;
  dispatcher.runPass();
  EXPECT_EQ(calls, (std::vector<std::string>{"CLB:b.CLB"}));
  EXPECT_TRUE(fs.files.count("/spool/a.CLB"));

  // Where the file system cannot tell, size and time must hold still for a tick.
  fs.writeStates["/spool/a.CLB"] = WriteState::Unknown;
  calls.clear();
  EXPECT_EQ(dispatcher.runPass().waiting, 1);
  clock.nowMs += 500;
  put("a.CLB", "grown");
  dispatcher.runPass();
  clock.nowMs += 999;
  dispatcher.runPass();
  EXPECT_TRUE(calls.empty());
  clock.nowMs += 1;
  dispatcher.runPass();
  EXPECT_EQ(calls, (std::vector<std::string>{"CLB:a.CLB"}));
}

TEST_F(DispatcherTest, UnreadableJobsAreNeverDeleted) {
  ScriptedHandler* h = add("DFF");
  h->onRun = [](const JobFile&) { return JobResult::notReady("cannot open"); };
  put("a.DFF");
  dispatcher.runPass();
  dispatcher.runPass();  // not again at once
  EXPECT_EQ(calls.size(), 1u);
  clock.nowMs += kFirstRetryMs;
  dispatcher.runPass();
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_TRUE(fs.files.count("/spool/a.DFF"));
  EXPECT_TRUE(messages.errors.empty());
  EXPECT_EQ(messages.logs.size(), 1u);  // logged once, not every second
}

TEST_F(DispatcherTest, AJobThatVanishesBeforeItIsReadIsNoError) {
  ScriptedHandler* h = add("CLB");
  h->onRun = [&](const JobFile& j) {
    fs.remove(j.path);  // its writer took it back between the listing and the open
    return JobResult::notReady("cannot open");
  };
  put("a.CLB");
  dispatcher.runPass();
  EXPECT_TRUE(messages.errors.empty());
  EXPECT_FALSE(dispatcher.anyFailure());
  EXPECT_EQ(status.state(), DispatchState::Enabled);
}

TEST_F(DispatcherTest, FailedJobsGoToFailedWithoutOverwriting) {
  ScriptedHandler* h = add("MFF");
  h->onRun = [](const JobFile&) { return JobResult::failed("Klaida", "bad"); };
  fs.put("/spool/FAILED/a.MFF", "older");
  put("a.MFF", "new");
  dispatcher.runPass();
  EXPECT_EQ(fs.files["/spool/FAILED/a.MFF"], "older");
  EXPECT_EQ(fs.files["/spool/FAILED/a-2.MFF"], "new");
  EXPECT_FALSE(fs.files.count("/spool/a.MFF"));
  EXPECT_EQ(messages.errors, (std::vector<std::string>{"Klaida"}));
  EXPECT_TRUE(dispatcher.anyFailure());
}

TEST_F(DispatcherTest, KeptFailuresAreReportedOncePerVersionAndDoNotBlockOthers) {
  ScriptedHandler* h = add("SAM");
  h->onRun = [](const JobFile& j) {
    return j.name == "a.SAM" ? JobResult::kept("Bloga suma", "bad amount") : JobResult::done();
  };
  put("a.SAM");
  put("b.SAM");
  dispatcher.runPass();
  dispatcher.runPass();  // b.SAM goes before the failed a.SAM is retried
  clock.nowMs += kFirstRetryMs;
  dispatcher.runPass();  // retried, silently
  EXPECT_EQ(calls, (std::vector<std::string>{"SAM:a.SAM", "SAM:b.SAM", "SAM:a.SAM"}));
  EXPECT_EQ(messages.errors.size(), 1u);
  put("a.SAM", "changed");  // a new version is reported again
  dispatcher.runPass();
  EXPECT_EQ(messages.errors.size(), 2u);
}

TEST_F(DispatcherTest, AnErrorEndsThePassAndEveryWayOutRestoresIdle) {
  ScriptedHandler* h = add("slx");
  add("CLB");
  DispatchState during = DispatchState::Enabled;
  h->onRun = [&](const JobFile&) -> JobResult {
    during = status.state();
    throw std::runtime_error("boom");
  };
  put("a.slx");
  put("a.CLB");
  const PassReport r = dispatcher.runPass();
  EXPECT_EQ(during, DispatchState::Busy);
  EXPECT_EQ(status.state(), DispatchState::Enabled);
  EXPECT_EQ(calls, (std::vector<std::string>{"slx:a.slx"}));  // the CLB waits for the next pass
  EXPECT_EQ(r.failures, 1);
  EXPECT_TRUE(fs.files.count("/spool/FAILED/a.slx"));
  dispatcher.runPass();
  EXPECT_EQ(calls.back(), "CLB:a.CLB");
}

TEST_F(DispatcherTest, DisabledOrBusyDispatchDoesNothing) {
  ScriptedHandler* h = add("CLB");
  put("a.CLB");
  dispatcher.setEnabled(false);
  EXPECT_TRUE(dispatcher.runPass().skipped);
  dispatcher.setEnabled(true);
  bool nested = false;
  h->onRun = [&](const JobFile&) {
    nested = dispatcher.runPass().skipped;  // a tick while a job runs
    return JobResult::done();
  };
  dispatcher.runPass();
  EXPECT_TRUE(nested);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(DispatcherTest, OnceCountsOnlyNewWorkAndTheExportDirectoryIsSeparate) {
  add("CLB");
  add("FTP", false, "/export");
  fs.dirs.insert("/export");
  fs.put("/export/x.FTP", "doc");
  put("x.FTP");  // in the spool directory: not an upload job
  dispatcher.addHandler(std::make_unique<PendingHandler>("IST"));
  put("a.IST");
  PassReport r = dispatcher.runPass();
  EXPECT_EQ(r.newJobs, 1);  // a kind not handled yet never takes its files
  EXPECT_EQ(calls, (std::vector<std::string>{"FTP:x.FTP"}));
  r = dispatcher.runPass();
  EXPECT_EQ(r.newJobs, 0);  // the untouched IST file does not count again
  EXPECT_TRUE(fs.files.count("/spool/a.IST"));
  EXPECT_TRUE(fs.files.count("/spool/x.FTP"));
}

TEST_F(DispatcherTest, MissingSpoolDirectoryFindsNothing) {
  add("txt", true);
  fs.dirs.clear();
  const PassReport r = dispatcher.runPass();
  EXPECT_EQ(r.newJobs, 0);
  EXPECT_TRUE(messages.errors.empty());
}

}  // namespace
}  // namespace marvena
