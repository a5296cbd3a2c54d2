// The desktop tool's windows and tray, wired to the job events and to the
// commands of the tray menu.
#pragma once

#include <QElapsedTimer>
#include <QMenu>
#include <QString>
#include <QTimer>
#include <memory>

namespace marvena {

class Dispatcher;
class GuiEventBridge;
class JobStatus;
class MainWindow;
class PrintSettingsOwner;
class ProfileFile;
class Printers;
class SpoolRunner;
class TrayView;

struct DesktopWiring {
  JobStatus& status;
  Dispatcher& dispatcher;
  SpoolRunner& runner;
  PrintSettingsOwner& printSettings;
  ProfileFile& settings;
  Printers& printers;
  QString spoolDir;
  QString version;
};

class DesktopViews {
 public:
  // Subscribes to the job events: call before the first pass.
  explicit DesktopViews(DesktopWiring wiring);
  ~DesktopViews();

 private:
  void about();
  void parameters();
  void restore();
  void quit();

  DesktopWiring w_;
  std::unique_ptr<GuiEventBridge> bridge_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TrayView> tray_;
  std::unique_ptr<QMenu> windowMenu_;  // the commands, where there is no tray
  bool aboutOpen_ = false;
  bool parametersOpen_ = false;
  // MARVENA_MEASURE_STALLS: the GUI thread's longest stall, logged at the end.
  QTimer stallTimer_;
  QElapsedTimer sinceTick_;
  qint64 longestStallMs_ = 0;
};

}  // namespace marvena
