#include "ui/qt/TrayView.h"

#include <QDateTime>

#include "ui/qt/TrayPictures.h"

namespace marvena {

namespace {

std::int64_t monotonicNowMs() {
  return QDateTime::currentMSecsSinceEpoch();
}

std::vector<std::string> busyFrames() {
  std::vector<std::string> frames;
  for (int i = 0; i < 10; ++i) frames.push_back("P" + std::to_string(i));
  return frames;
}

}  // namespace

void addTrayCommands(QMenu* menu, const TrayCommands& c) {
  menu->addAction(QStringLiteral("Restauruoti"), [c] {
    if (c.restore) c.restore();
  });
  menu->addSeparator();
  menu->addAction(QStringLiteral("Parametrai"), [c] {
    if (c.parameters) c.parameters();
  });
  menu->addSeparator();
  menu->addAction(QStringLiteral("Apie"), [c] {
    if (c.about) c.about();
  });
  menu->addSeparator();
  menu->addAction(QStringLiteral("Baigti"), [c] {
    if (c.quit) c.quit();
  });
}

TrayView::TrayView(TrayCommands commands, QObject* parent)
    : QObject(parent), commands_(std::move(commands)), model_(busyFrames(), 150) {
  addTrayCommands(&menu_, commands_);
  icon_.setContextMenu(&menu_);
  icon_.setToolTip(QString::fromStdString(trayTip("Marvena Spool", true)));
  // A StatusNotifierItem host sends activation rather than double clicks:
  // either brings the window up.
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if ((r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) &&
        commands_.showWindow)
      commands_.showWindow();
  });
  ticker_.setInterval(trayTimerPeriod({150}));
  connect(&ticker_, &QTimer::timeout, this, [this] {
    if (model_.tick(monotonicNowMs())) repaint();
  });
}

bool TrayView::available() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayView::show() {
  model_.setActive(true, monotonicNowMs());
  repaint();
  icon_.show();
}

void TrayView::setState(DispatchState state) {
  const TrayState next = state == DispatchState::Busy       ? TrayState::Animated
                         : state == DispatchState::Disabled ? TrayState::Disabled
                                                            : TrayState::Enabled;
  model_.setState(next, monotonicNowMs());
  if (next == TrayState::Animated)
    ticker_.start();
  else
    ticker_.stop();
  repaint();
}

void TrayView::repaint() {
  const QString name = picture();
  if (name == shown_) return;
  shown_ = name;
  icon_.setIcon(trayPicture(name));
}

}  // namespace marvena
