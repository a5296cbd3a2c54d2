#include "app/SpoolRunner.h"

#include <QDir>

#include "spool/Dispatcher.h"

namespace marvena {

SpoolRunner::SpoolRunner(Dispatcher& dispatcher, QStringList watchedDirs, QObject* parent)
    : QObject(parent), dispatcher_(dispatcher), watchedDirs_(std::move(watchedDirs)) {
  jobThread_.setObjectName(QStringLiteral("jobs"));
  jobContext_ = new QObject;
  jobContext_->moveToThread(&jobThread_);
  connect(&jobThread_, &QThread::finished, jobContext_, &QObject::deleteLater);

  dispatchTimer_.setInterval(1000);
  connect(&dispatchTimer_, &QTimer::timeout, this, [this] {
    rewatch();
    requestPass();
  });
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { requestPass(); });
}

SpoolRunner::~SpoolRunner() {
  dispatchTimer_.stop();
  jobThread_.quit();
  jobThread_.wait();
}

void SpoolRunner::start() {
  jobThread_.start();
  rewatch();
  dispatchTimer_.start();
  requestPass();
}

void SpoolRunner::rewatch() {
  // A directory that was removed and made again must be watched anew.
  for (const QString& dir : watchedDirs_)
    if (!watcher_.directories().contains(dir) && QDir(dir).exists()) watcher_.addPath(dir);
}

void SpoolRunner::requestPass() {
  // Notifications come in bursts; one queued pass serves them all.
  if (passQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(jobContext_, [this] {
    passQueued_ = false;
    const PassReport r = dispatcher_.runPass();
    // The directory tells of a new file when it is created, not when its
    // writer closes it: look again soon rather than at the next tick.
    if (r.busy > 0 || r.waiting > 0)
      QMetaObject::invokeMethod(
          this, [this] { QTimer::singleShot(100, this, [this] { requestPass(); }); });
  });
}

}  // namespace marvena
