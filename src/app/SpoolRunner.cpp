#include "app/SpoolRunner.h"

#include <algorithm>

namespace marvena {

SpoolRunner::SpoolRunner(Dispatcher& dispatcher, std::unique_ptr<DirectoryWatcher> watcher,
                         QObject* parent)
    : QObject(parent), dispatcher_(dispatcher), watcher_(std::move(watcher)) {
  jobThread_.setObjectName(QStringLiteral("jobs"));
  jobContext_ = new QObject;
  jobContext_->moveToThread(&jobThread_);
  connect(&jobThread_, &QThread::finished, jobContext_, &QObject::deleteLater);

  dispatchTimer_.setInterval(1000);
  connect(&dispatchTimer_, &QTimer::timeout, this, [this] {
    rewatch();
    requestPass();
  });
  wakeTimer_.setSingleShot(true);
  connect(&wakeTimer_, &QTimer::timeout, this, [this] { requestPass(); });
  if (watcher_ && watcher_->readyDescriptor() >= 0) {
    notifier_ =
        std::make_unique<QSocketNotifier>(watcher_->readyDescriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { onNotification(); });
  }
}

SpoolRunner::~SpoolRunner() {
  dispatchTimer_.stop();
  wakeTimer_.stop();
  jobThread_.quit();
  jobThread_.wait();
}

void SpoolRunner::start() {
  jobThread_.start();
  rewatch();
  dispatchTimer_.start();
  requestPass();
}

void SpoolRunner::runOnJobThread(std::function<void()> work) {
  QMetaObject::invokeMethod(jobContext_, [work = std::move(work)] { work(); });
}

void SpoolRunner::rewatch() {
  // A directory that was removed and made again must be watched anew.
  if (!watcher_) return;
  for (const std::string& dir : dispatcher_.directories()) watcher_->watch(dir);
}

void SpoolRunner::onNotification() {
  bool concernsJob = false;
  if (!watcher_) return;
  for (const DirectoryWatcher::Event& e : watcher_->read())
    concernsJob = dispatcher_.noteChange(e.dir, e.name) || concernsJob;
  // Results, temporary files and other names are no reason for a pass.
  if (concernsJob) requestPass();
}

void SpoolRunner::requestPass() {
  // Requests come in bursts; one queued pass serves them all.
  if (passQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(jobContext_, [this] {
    passQueued_ = false;
    const PassReport r = dispatcher_.runPass();
    QMetaObject::invokeMethod(this, [this, r] { passEnded(r); });
  });
}

void SpoolRunner::passEnded(const PassReport& r) {
  if (r.skipped) return;
  if (r.moreReady) {
    requestPass();
    return;
  }
  // One timer for whatever is due first: waiting files never add up to
  // more checks than that.
  std::int64_t wake = -1;
  for (std::int64_t due : {r.settleWakeMs, r.retryWakeMs})
    if (due >= 0 && (wake < 0 || due < wake)) wake = due;
  if (wake < 0) return;
  const int ms = static_cast<int>(std::clamp<std::int64_t>(wake, 5, 60000));
  if (!wakeTimer_.isActive() || wakeTimer_.remainingTime() > ms) wakeTimer_.start(ms);
}

}  // namespace marvena
