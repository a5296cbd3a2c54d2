// Drives the dispatcher: a pass every second, at once when a job file
// appears or its writer closes it, and again when a file waiting for its
// quiet period or a kept job's retry is due. Passes run on the job thread so
// that a long job never blocks the window or the tray; the dispatcher's own
// guard keeps passes from overlapping.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

#include "platform/DirectoryWatcher.h"
#include "spool/Dispatcher.h"

namespace marvena {

class SpoolRunner : public QObject {
  Q_OBJECT
 public:
  SpoolRunner(Dispatcher& dispatcher, std::unique_ptr<DirectoryWatcher> watcher,
              QObject* parent = nullptr);
  ~SpoolRunner() override;
  void start();
  // Runs `work` on the job thread, between jobs (settings the jobs use).
  void runOnJobThread(std::function<void()> work);

 private:
  void requestPass();
  void passEnded(const PassReport& report);
  void rewatch();
  void onNotification();

  Dispatcher& dispatcher_;
  QTimer dispatchTimer_;
  QTimer wakeTimer_;  // a settling file or a retry is due
  std::unique_ptr<DirectoryWatcher> watcher_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QThread jobThread_;
  QObject* jobContext_ = nullptr;  // lives on the job thread
  std::atomic<bool> passQueued_{false};
};

}  // namespace marvena
