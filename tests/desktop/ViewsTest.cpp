// The Qt views under the offscreen platform: what the window lists and
// shows, the tray's menu and pictures, how events reach the GUI thread.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "spool/JobStatus.h"
#include "ui/qt/GuiEventBridge.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtMessages.h"
#include "ui/qt/TrayView.h"

namespace marvena {
namespace {

void touchFile(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

// Lets the event loop run until `cond` holds (or `ms` pass).
template <class Cond>
bool waitUntil(Cond cond, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms) QTest::qWait(10);
  return cond();
}

QStringList listItems(QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

TEST(MainWindowView, ListsPendingTextJobsAndFollowsTheDirectory) {
  QTemporaryDir dir;
  const QString spool = dir.path() + "/spool";
  QDir().mkpath(spool);
  for (const char* name : {"b.TXT", "A.txt", "c.slx", ".hidden.txt"}) touchFile(spool + "/" + name);
  MainWindow window(spool);
  EXPECT_EQ(listItems(window.pendingList()), (QStringList{"A.txt", "b.TXT"}));

  touchFile(spool + "/0.txt");
  EXPECT_TRUE(waitUntil(
      [&] {
        return listItems(window.pendingList()) == (QStringList{"0.txt", "A.txt", "b.TXT"});
      },
      5000));
  // The spool directory removed while listed, then made again.
  QDir(spool).removeRecursively();
  window.refreshSoon();
  EXPECT_TRUE(waitUntil([&] { return window.pendingList()->count() == 0; }, 5000));
  QDir().mkpath(spool);
  touchFile(spool + "/late.txt");
  window.refreshSoon();
  EXPECT_TRUE(
      waitUntil([&] { return listItems(window.pendingList()) == QStringList{"late.txt"}; }, 5000));
  EXPECT_FALSE(window.startButton()->isEnabled());
}

TEST(MainWindowView, TenThousandPendingFiles) {
  QTemporaryDir dir;
  for (int i = 0; i < 10000; ++i)
    touchFile(dir.path() + QString("/J%1.txt").arg(i, 5, 10, QChar('0')));
  MainWindow window(dir.path());
  ASSERT_EQ(window.pendingList()->count(), 10000);
  EXPECT_EQ(window.pendingList()->item(0)->text(), "J00000.txt");
}

TEST(MainWindowView, JobNameAndProgressPanel) {
  QTemporaryDir dir;
  MainWindow window(dir.path());
  window.setCurrentJob("REPORT.txt");
  window.setProgress(53, 1000);
  EXPECT_EQ(window.statusText(), "REPORT.txt");
  EXPECT_EQ(window.progressText(), " 5.3%");
  window.setCurrentJob({});
  EXPECT_EQ(window.statusText(), "");
  EXPECT_EQ(window.progressText(), "");
}

TEST(EventBridge, ProgressIsCoalescedAndTheLastFigureArrives) {
  JobStatus status;
  GuiEventBridge bridge;
  status.addObserver(&bridge);
  QSignalSpy progress(&bridge, &GuiEventBridge::progress);
  QSignalSpy states(&bridge, &GuiEventBridge::stateChanged);
  std::thread job([&] {
    status.setState(DispatchState::Busy);
    status.jobBytesTotal = 100000;
    for (int i = 1; i <= 100000; ++i) status.jobBytesDone = i;
    status.setState(DispatchState::Enabled);
  });
  job.join();  // the job never waited for the window
  EXPECT_TRUE(waitUntil(
      [&] { return !progress.isEmpty() && progress.last().at(0).toLongLong() == 100000; }));
  EXPECT_LE(progress.count(), 5);  // not 100,000
  EXPECT_TRUE(waitUntil([&] { return states.count() == 2; }, 5000));
}

TEST(TrayViewTest, MenuCommandsAndPictures) {
  int about = 0, quit = 0;
  TrayCommands commands;
  commands.about = [&] { ++about; };
  commands.quit = [&] { ++quit; };
  TrayView tray(commands);
  QStringList texts;
  for (QAction* a : tray.menu()->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Restauruoti", "Parametrai", "Apie", "Baigti"}));
  for (QAction* a : tray.menu()->actions())
    if (a->text() == "Apie" || a->text() == "Baigti") a->trigger();
  EXPECT_EQ(about, 1);
  EXPECT_EQ(quit, 1);

  tray.show();
  EXPECT_EQ(tray.picture(), "idle");
  tray.setState(DispatchState::Busy);
  EXPECT_EQ(tray.picture(), "P0");
  EXPECT_TRUE(waitUntil([&] { return tray.picture() == QString("P1"); }, 2000));
  tray.setState(DispatchState::Disabled);
  EXPECT_EQ(tray.picture(), "disabled");
}

TEST(MessageBoxes, TheSameErrorIsNotStackedTwice) {
  QtMessages messages;
  messages.showError("Nepavyko");
  messages.showError("Nepavyko");
  messages.showError("Kita klaida");
  EXPECT_TRUE(waitUntil([&] { return messages.open() == 2; }, 2000));
  for (QWidget* w : QApplication::topLevelWidgets()) w->close();
  EXPECT_TRUE(waitUntil([&] { return messages.open() == 0; }, 2000));
}

}  // namespace
}  // namespace marvena
