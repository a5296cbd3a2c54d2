#include "platform/qt/QtDesktop.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMetaObject>
#include <QProcess>
#include <QSemaphore>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <memory>
#include <mutex>

namespace marvena {

namespace {

// How long a job waits for the GUI thread to take a call.
constexpr int kGuiTimeoutMs = 10000;

bool hasDisplay(std::string* error) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (error) *error = "no graphical session";
    return false;
  }
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
    if (error) *error = "no display (Qt platform \"" + platform.toStdString() + "\")";
    return false;
  }
  return true;
}

// Where Qt's platform cannot open addresses (no display), the desktop's
// own opener, then the programs named in $BROWSER.
bool launchBrowser(const QUrl& url) {
  QStringList programs;
  const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (!xdgOpen.isEmpty()) programs << xdgOpen;
  programs << qEnvironmentVariable("BROWSER").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& program : programs)
    if (QProcess::startDetached(program, {url.toString(QUrl::FullyEncoded)})) return true;
  return false;
}

}  // namespace

bool runOnGuiThread(const std::function<void()>& work, int timeoutMs, std::string* error) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    if (error) *error = "no application";
    return false;
  }
  if (QThread::currentThread() == app->thread()) {
    work();
    return true;
  }
  // Not a blocking queued call: once the GUI thread has left its event loop
  // (the tool is ending and joins the job thread) such a call would never
  // return. The shared state lets a call that was given up arrive late.
  struct Call {
    std::function<void()> work;
    std::mutex mutex;
    bool started = false, abandoned = false;
    QSemaphore done;
  };
  auto call = std::make_shared<Call>();
  call->work = work;
  QMetaObject::invokeMethod(
      app,
      [call] {
        {
          std::lock_guard<std::mutex> lock(call->mutex);
          if (call->abandoned) return;
          call->started = true;
        }
        call->work();
        call->done.release();
      },
      Qt::QueuedConnection);
  if (call->done.tryAcquire(1, timeoutMs)) return true;
  {
    std::lock_guard<std::mutex> lock(call->mutex);
    if (!call->started) {
      call->abandoned = true;
      if (error) *error = "the user interface did not answer in time";
      return false;
    }
  }
  call->done.acquire();  // already running on the GUI thread: it ends soon
  return true;
}

bool QtClipboard::setText(const std::string& utf8, std::string* error) {
  if (!hasDisplay(error)) return false;
  bool owned = false;
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  const bool ran = runOnGuiThread(
      [&] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(text, QClipboard::Clipboard);
        // The X server may refuse us the selection; then nobody can paste.
        owned = clipboard->ownsClipboard();
      },
      kGuiTimeoutMs, error);
  if (ran && !owned && error) *error = "the clipboard did not take the text";
  return ran && owned;
}

bool QtUrlOpener::open(const std::string& url, std::string* error) {
  bool opened = false;
  const bool desktop = hasDisplay(nullptr);
  const QUrl target = QUrl::fromUserInput(QString::fromStdString(url));
  const bool ran = runOnGuiThread(
      [&] { opened = desktop ? QDesktopServices::openUrl(target) : launchBrowser(target); },
      kGuiTimeoutMs, error);
  if (ran && !opened && error) *error = "no browser could be started";
  return ran && opened;
}

}  // namespace marvena
