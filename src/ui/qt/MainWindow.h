// The small main window: the pending text jobs, the job being printed and
// its progress, and the "Modifikuoti" group. It only draws what the models
// and the job events say and forwards clicks.
#pragma once

#include <QCheckBox>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace marvena {

class ProgressPanel final : public QWidget {
 public:
  explicit ProgressPanel(QWidget* parent = nullptr);
  void setProgress(qint64 done, qint64 total);
  QString text() const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  qint64 done_ = 0, total_ = 0;
};

class MainWindow final : public QWidget {
  Q_OBJECT
 public:
  MainWindow(QString spoolDir, QWidget* parent = nullptr);

  // The about box, opened by the caption button.
  std::function<void()> onAbout;
  // Without a tray to come back from, minimising keeps the task-bar entry.
  bool hideWhenMinimised = true;

  void showFromTray();
  void setCurrentJob(const QString& name);
  void setProgress(qint64 done, qint64 total) { progress_->setProgress(done, total); }
  // Lists the spool directory again, at most a few times a second.
  void refreshSoon();

  QListWidget* pendingList() const { return list_; }
  QString statusText() const { return jobName_->text(); }
  QString progressText() const { return progress_->text(); }
  QPushButton* startButton() const { return start_; }
  QCheckBox* programBox() const { return modProgram_; }
  QCheckBox* spoolBox() const { return modSpool_; }
  // While maintenance runs the group is disabled; afterwards Start follows
  // the boxes again.
  void setMaintenanceRunning(bool running);

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void refresh();
  void updateStart();

  QString spoolDir_;
  QListWidget* list_;
  QLabel* jobName_;
  ProgressPanel* progress_;
  QCheckBox* modSpool_;
  QCheckBox* modProgram_;
  QPushButton* start_;
  bool maintenanceRunning_ = false;
  QFileSystemWatcher watcher_;
  QTimer refreshTimer_;
};

}  // namespace marvena
