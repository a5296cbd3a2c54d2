// The "Modifikuoti" group at work: Start runs the maintenance procedure on a
// thread of its own, so that the window and the spool jobs stay alive while
// kits download and run. What the procedure reports crosses to the GUI
// thread by queued delivery (progress coalesced); the boxes are disabled
// while it runs and usable again on every way out.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

#include "maintenance/Maintenance.h"

namespace marvena {

class MainWindow;
class MessageSink;

class MaintenanceController final : public QObject, public MaintenanceObserver {
  Q_OBJECT
 public:
  // `messages` shows the errors ("KLAIDA") and takes the log lines.
  MaintenanceController(MainWindow* window, MaintenanceFactory factory, MessageSink& messages);
  // A run still going is stopped: transfers cancelled, waits given up.
  ~MaintenanceController() override;

  bool running() const { return worker_.joinable(); }

  // MaintenanceObserver, called on the worker thread.
  void status(const std::string& text) override;
  void progress(std::int64_t done, std::int64_t total) override;
  void error(const std::string& text) override;
  void log(const std::string& line) override;
  void kitDone(Kit kit) override;

 signals:
  void finished(bool ok);  // on the GUI thread, once the boxes are usable again

 private:
  void start();
  void deliverProgress();
  void end(bool ok);

  MainWindow* window_;
  MaintenanceFactory factory_;
  MessageSink& messages_;
  std::shared_ptr<MaintenanceProcedure> procedure_;
  std::thread worker_;
  std::atomic<std::int64_t> done_{0}, total_{0};
  std::atomic<bool> progressQueued_{false};
};

}  // namespace marvena
