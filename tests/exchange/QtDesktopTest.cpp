#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/qt/QtDesktop.h"

namespace marvena {
namespace {

QGuiApplication& testApp() {
  static int argc = 1;
  static char name[] = "qt_desktop_test";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
  }();
  return *app;
}

TEST(RunOnGuiThreadTest, DirectOnTheGuiThread) {
  testApp();
  QThread* ranOn = nullptr;
  std::string error;
  EXPECT_TRUE(runOnGuiThread([&] { ranOn = QThread::currentThread(); }, 100, &error));
  EXPECT_EQ(ranOn, testApp().thread());
}

TEST(RunOnGuiThreadTest, HopsFromAJobThreadAndWaits) {
  testApp();
  QThread* ranOn = nullptr;
  bool ok = false;
  QEventLoop loop;
  std::thread job([&] {
    std::string error;
    ok = runOnGuiThread([&] { ranOn = QThread::currentThread(); }, 5000, &error);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // never hang the suite
  loop.exec();
  job.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(ranOn, testApp().thread());
}

TEST(RunOnGuiThreadTest, GivesUpWhenTheGuiThreadDoesNotAnswerAndNeverRunsLate) {
  testApp();
  std::atomic<bool> ran{false};
  bool ok = true;
  std::string error;
  // The GUI thread is blocked in join(), as it is while the tool ends.
  std::thread job([&] { ok = runOnGuiThread([&] { ran = true; }, 200, &error); });
  job.join();
  EXPECT_FALSE(ok);
  EXPECT_FALSE(error.empty());
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

TEST(QtClipboardTest, NoDisplayMeansNoClipboard) {
  testApp();
  QtClipboard clipboard;
  std::string error;
  EXPECT_FALSE(clipboard.setText("x", &error));
  EXPECT_NE(error.find("display"), std::string::npos);
}

}  // namespace
}  // namespace marvena
