// Drives the dispatcher: a pass every second, and at once when the spool
// directory changes. Passes run on the job thread so that a long job never
// blocks the window or the tray; the dispatcher's own guard keeps passes
// from overlapping.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>

namespace marvena {

class Dispatcher;

class SpoolRunner : public QObject {
  Q_OBJECT
 public:
  SpoolRunner(Dispatcher& dispatcher, QStringList watchedDirs, QObject* parent = nullptr);
  ~SpoolRunner() override;
  void start();

 private:
  void requestPass();
  void rewatch();

  Dispatcher& dispatcher_;
  QStringList watchedDirs_;
  QTimer dispatchTimer_;
  QFileSystemWatcher watcher_;
  QThread jobThread_;
  QObject* jobContext_ = nullptr;  // lives on the job thread
  std::atomic<bool> passQueued_{false};
};

}  // namespace marvena
