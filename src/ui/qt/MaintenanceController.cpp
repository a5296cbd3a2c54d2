#include "ui/qt/MaintenanceController.h"

#include <QCheckBox>
#include <QPushButton>

#include "platform/MessageSink.h"
#include "ui/qt/MainWindow.h"

namespace marvena {

MaintenanceController::MaintenanceController(MainWindow* window, MaintenanceFactory factory,
                                             MessageSink& messages)
    : window_(window), factory_(std::move(factory)), messages_(messages) {
  connect(window_->startButton(), &QPushButton::clicked, this, &MaintenanceController::start);
}

MaintenanceController::~MaintenanceController() {
  if (procedure_) procedure_->stop();
  if (worker_.joinable()) worker_.join();
}

void MaintenanceController::start() {
  if (running()) return;
  const bool program = window_->programBox()->isChecked();
  const bool spool = window_->spoolBox()->isChecked();
  if (!program && !spool) return;
  window_->setMaintenanceRunning(true);
  procedure_ = factory_ ? factory_(*this) : nullptr;
  if (!procedure_) {
    end(false);
    return;
  }
  worker_ = std::thread([this, program, spool] {
    const bool ok = procedure_->run(program, spool);
    QMetaObject::invokeMethod(
        this, [this, ok] { end(ok); }, Qt::QueuedConnection);
  });
}

void MaintenanceController::end(bool ok) {
  if (worker_.joinable()) worker_.join();
  procedure_.reset();
  window_->setMaintenanceRunning(false);
  emit finished(ok);
}

void MaintenanceController::status(const std::string& text) {
  const QString s = QString::fromStdString(text);
  QMetaObject::invokeMethod(
      this, [this, s] { window_->setCurrentJob(s); }, Qt::QueuedConnection);
}

void MaintenanceController::progress(std::int64_t done, std::int64_t total) {
  done_ = done;
  total_ = total;
  // One delivery waits at a time; it shows the latest figures.
  if (!progressQueued_.exchange(true))
    QMetaObject::invokeMethod(this, &MaintenanceController::deliverProgress, Qt::QueuedConnection);
}

void MaintenanceController::deliverProgress() {
  progressQueued_ = false;
  window_->setProgress(done_, total_);
}

void MaintenanceController::error(const std::string& text) {
  messages_.showError(text);
}

void MaintenanceController::log(const std::string& line) {
  messages_.log(line);
}

void MaintenanceController::kitDone(Kit kit) {
  QMetaObject::invokeMethod(
      this,
      [this, kit] {
        (kit == Kit::Program ? window_->programBox() : window_->spoolBox())->setChecked(false);
      },
      Qt::QueuedConnection);
}

}  // namespace marvena
