// The "Modifikuoti" group under the offscreen platform: the enabling rule,
// the boxes while the procedure runs on its thread, the status and progress
// panels, errors, and every way out.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "maintenance/Sha256.h"
#include "platform/fake/Fakes.h"
#include "platform/fake/MaintenanceFakes.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/MaintenanceController.h"

namespace marvena {
namespace {

template <class Cond>
bool waitUntil(Cond cond, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms) QTest::qWait(10);
  return cond();
}

// Holds a thread until the test opens it.
class Gate {
 public:
  void wait() {
    while (!waitFor(1000)) {
    }
  }
  // False when it is still shut after `ms`.
  bool waitFor(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    reached_ = true;
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return open_; });
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }
  bool reached() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reached_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false, reached_ = false;
};

// The batch file "runs" until the gate opens (or the wait is given up).
class GatedRunner final : public ProcessRunner {
 public:
  Gate gate;
  int runs = 0;
  int runAndWait(const std::string&, const std::string&, const StopWaiting& stop) override {
    ++runs;
    while (!gate.waitFor(10))
      if (stop && stop()) return kNotWaited;
    return 0;
  }
};

// A transfer that pauses half way until its gate opens.
class GatedHttp final : public HttpClient {
 public:
  FakeHttp inner;
  Gate half;
  bool head(const std::string& url, const HttpOptions& o, HttpHead* out, HttpError* e) override {
    return inner.head(url, o, out, e);
  }
  bool get(const std::string& url, const HttpOptions& o, const Sink& sink, const Progress& progress,
           HttpError* e) override {
    bool paused = false;
    return inner.get(
        url, o, sink,
        [&](std::int64_t done, std::int64_t total) {
          if (!paused && url.find("MARVENA1") != std::string::npos && done * 2 >= total) {
            paused = true;
            const bool go = progress(done, total);
            half.wait();
            return go;
          }
          return progress(done, total);
        },
        e);
  }
};

struct Rig {
  QTemporaryDir spool;
  MainWindow window{spool.path()};
  FakeFileSystem fs;
  GatedHttp http;
  FakeFileTimes times{fs};
  GatedRunner processes;
  FakeUnpacker unpacker;
  RecordingMessages messages;
  std::unique_ptr<MaintenanceController> controller;
  bool exposed = false;

  Rig() {
    std::string digests;
    for (const char* name : {"MODIFY", "PKUNZIP", "MARVENA1.ZIP", "MARVENA2.ZIP", "SPOOL.ZIP"}) {
      const std::string body = std::string(name) + std::string(200000, '.');
      http.inner.resources[std::string("https://kits.test/FILES/") + name] = {body, 1000};
      digests += sha256Hex(body) + "  " + name + "\n";
    }
    http.inner.resources["https://kits.test/FILES/SHA256SUMS"] = {digests, 1000};
    http.inner.piece = 10000;
    MaintenanceConfig config{
        "https://kits.test", "/drive", hostKitCommands("dos {bat}", "/bin/sh SETUP.SH"), {}};
    controller = std::make_unique<MaintenanceController>(
        &window,
        [this, config](MaintenanceObserver& observer) {
          return std::make_shared<MaintenanceProcedure>(
              MaintenanceServices{http, fs, times, processes, unpacker, {}}, config, observer);
        },
        messages);
    window.show();
    exposed = QTest::qWaitForWindowExposed(&window);
  }
  bool boxesUsable() const {
    return window.programBox()->isEnabled() && window.spoolBox()->isEnabled();
  }
};

TEST(MaintenanceView, StartFollowsTheBoxes) {
  Rig rig;
  ASSERT_TRUE(rig.exposed);
  QPushButton* start = rig.window.startButton();
  EXPECT_FALSE(start->isEnabled());
  QTest::mouseClick(rig.window.programBox(), Qt::LeftButton);
  EXPECT_TRUE(rig.window.programBox()->isChecked());
  EXPECT_TRUE(start->isEnabled());
  rig.window.spoolBox()->setChecked(true);  // from code, too
  EXPECT_TRUE(start->isEnabled());
  QTest::mouseClick(rig.window.programBox(), Qt::LeftButton);
  EXPECT_TRUE(start->isEnabled());
  rig.window.spoolBox()->setChecked(false);
  EXPECT_FALSE(start->isEnabled());
}

TEST(MaintenanceView, RunsOffTheGuiThreadAndGivesTheBoxesBack) {
  Rig rig;
  rig.window.programBox()->setChecked(true);
  rig.window.spoolBox()->setChecked(true);
  QSignalSpy finished(rig.controller.get(), &MaintenanceController::finished);
  QTest::mouseClick(rig.window.startButton(), Qt::LeftButton);

  // Half way through MARVENA1.ZIP: the window is alive and shows the transfer.
  ASSERT_TRUE(waitUntil([&] { return rig.http.half.reached(); }));
  EXPECT_TRUE(waitUntil([&] { return rig.window.statusText() == "Kopijuojam MARVENA1.ZIP"; }));
  EXPECT_TRUE(waitUntil([&] { return !rig.window.progressText().isEmpty(); }));
  EXPECT_FALSE(rig.boxesUsable());
  EXPECT_FALSE(rig.window.startButton()->isEnabled());
  rig.http.half.open();

  ASSERT_TRUE(waitUntil([&] { return rig.processes.gate.reached(); }));
  EXPECT_TRUE(waitUntil([&] { return rig.window.statusText() == "Modifikuojam Marvena ..."; }));
  EXPECT_FALSE(rig.boxesUsable());
  rig.processes.gate.open();

  ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
  EXPECT_TRUE(finished.at(0).at(0).toBool());
  EXPECT_TRUE(rig.boxesUsable());
  // Both kits ran: both boxes are unchecked, so Start is disabled again.
  EXPECT_FALSE(rig.window.programBox()->isChecked());
  EXPECT_FALSE(rig.window.spoolBox()->isChecked());
  EXPECT_FALSE(rig.window.startButton()->isEnabled());
  EXPECT_EQ(rig.window.statusText(), "");
  EXPECT_EQ(rig.window.progressText(), "");
  EXPECT_TRUE(rig.messages.errors.empty());
  EXPECT_EQ(rig.unpacker.unpacked.size(), 1u);
}

TEST(MaintenanceView, AnErrorIsShownOnceAndTheBoxesStayUsable) {
  Rig rig;
  rig.http.inner.resources["https://kits.test/FILES/MODIFY"].status = 404;
  rig.window.programBox()->setChecked(true);
  QSignalSpy finished(rig.controller.get(), &MaintenanceController::finished);
  QTest::mouseClick(rig.window.startButton(), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
  EXPECT_FALSE(finished.at(0).at(0).toBool());
  ASSERT_EQ(rig.messages.errors.size(), 1u);
  EXPECT_NE(rig.messages.errors[0].find("MODIFY"), std::string::npos);
  EXPECT_EQ(rig.processes.runs, 0);
  EXPECT_TRUE(rig.boxesUsable());
  EXPECT_TRUE(rig.window.programBox()->isChecked());  // not done: the box stays
  EXPECT_TRUE(rig.window.startButton()->isEnabled());
  EXPECT_EQ(rig.window.statusText(), "");
}

TEST(MaintenanceView, ClosingWhileAKitRunsEndsTheWait) {
  Rig rig;
  rig.http.half.open();
  rig.window.programBox()->setChecked(true);
  QTest::mouseClick(rig.window.startButton(), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return rig.processes.gate.reached(); }));
  QElapsedTimer t;
  t.start();
  rig.controller.reset();  // the tool ends
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_TRUE(rig.messages.errors.empty());
}

}  // namespace
}  // namespace marvena
