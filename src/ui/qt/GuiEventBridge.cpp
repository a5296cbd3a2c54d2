#include "ui/qt/GuiEventBridge.h"

namespace marvena {

namespace {
constexpr int kProgressPeriodMs = 33;
}

GuiEventBridge::GuiEventBridge(QObject* parent) : QObject(parent) {
  progressTimer_.setSingleShot(true);
  progressTimer_.setInterval(kProgressPeriodMs);
  connect(&progressTimer_, &QTimer::timeout, this, &GuiEventBridge::deliverProgress);
}

void GuiEventBridge::onJobEvent(const JobEvent& e) {
  switch (e.type) {
    case JobEvent::Type::Progress:
      done_ = e.bytesDone;
      total_ = e.bytesTotal;
      // One delivery waits at a time; it reads the latest figures.
      if (!progressQueued_.exchange(true))
        QMetaObject::invokeMethod(this, [this] {
          if (!progressTimer_.isActive()) progressTimer_.start();
        });
      break;
    case JobEvent::Type::StateChanged:
      QMetaObject::invokeMethod(this, [this, s = e.state] { emit stateChanged(s); });
      break;
    case JobEvent::Type::JobStarted:
      QMetaObject::invokeMethod(
          this, [this, name = QString::fromStdString(e.name),
                 kind = QString::fromStdString(e.kind)] { emit jobStarted(name, kind); });
      break;
    case JobEvent::Type::JobEnded:
      QMetaObject::invokeMethod(
          this, [this, name = QString::fromStdString(e.name)] { emit jobEnded(name); });
      break;
    case JobEvent::Type::PassEnded:
      QMetaObject::invokeMethod(this, [this] { emit passEnded(); });
      break;
    case JobEvent::Type::PassStarted:
      break;
  }
}

void GuiEventBridge::deliverProgress() {
  progressQueued_ = false;
  emit progress(done_.load(), total_.load());
}

}  // namespace marvena
