// Carries the job events from the job thread to the GUI thread. Progress is
// coalesced: the window gets at most about thirty updates a second, and a
// job never waits for the window.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>

#include "spool/JobEvents.h"

namespace marvena {

class GuiEventBridge final : public QObject, public JobObserver {
  Q_OBJECT
 public:
  explicit GuiEventBridge(QObject* parent = nullptr);
  void onJobEvent(const JobEvent& event) override;  // any thread

 signals:
  void stateChanged(marvena::DispatchState state);
  void jobStarted(const QString& name, const QString& kind);
  void jobEnded(const QString& name);
  void progress(qint64 done, qint64 total);
  void passEnded();

 private:
  void deliverProgress();

  std::atomic<qint64> done_{0}, total_{0};
  std::atomic<bool> progressQueued_{false};
  QTimer progressTimer_;
};

}  // namespace marvena
