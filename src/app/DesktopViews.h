// The desktop tool's windows and tray, wired to the job events and to the
// commands of the tray menu.
#pragma once

#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "maintenance/Maintenance.h"

namespace marvena {

class Dispatcher;
class GuiEventBridge;
class JobStatus;
class MainWindow;
class MaintenanceController;
class MessageSink;
class OptionsDialog;
class PrintDevice;
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
  // The options window's own printer object and a device that measures on
  // it; without them the window cannot open.
  std::function<std::unique_ptr<Printers>()> makePrinters = {};
  std::function<std::unique_ptr<PrintDevice>(Printers&)> makeDevice = {};
};

// The options window over its own printer object. Its changes reach the
// jobs through `apply` (between jobs); a store that fails is told once per
// run (`storeFailureTold`). Null when no printer object can be made.
std::unique_ptr<OptionsDialog> makeOptionsDialog(const DesktopWiring& w,
                                                 std::function<void(std::function<void()>)> apply,
                                                 bool* storeFailureTold);

class DesktopViews {
 public:
  // Subscribes to the job events: call before the first pass.
  explicit DesktopViews(DesktopWiring wiring);
  ~DesktopViews();

  // Start in the "Modifikuoti" group runs what `factory` makes; errors go
  // to `messages`. Without this the button does nothing.
  void enableMaintenance(MaintenanceFactory factory, MessageSink& messages);
  // At start, before any job: when the printer settings are missing or name
  // another printer, the options window opens modally with its page setup
  // at once. `reason` empty: nothing to do.
  void openOptionsAtStart(const std::string& reason);

 private:
  void about();
  void parameters();
  void restore();
  void quit();

  DesktopWiring w_;
  std::unique_ptr<GuiEventBridge> bridge_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TrayView> tray_;
  std::unique_ptr<MaintenanceController> maintenance_;
  std::unique_ptr<QMenu> windowMenu_;  // the commands, where there is no tray
  bool aboutOpen_ = false;
  QPointer<OptionsDialog> options_;  // at most one, freed when closed
  bool storeFailureTold_ = false;
  // MARVENA_MEASURE_STALLS: the GUI thread's longest stall, logged at the end.
  QTimer stallTimer_;
  QElapsedTimer sinceTick_;
  qint64 longestStallMs_ = 0;
};

}  // namespace marvena
