#include "app/DesktopViews.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdio>

#include "app/SpoolRunner.h"
#include "platform/PrintDevice.h"
#include "platform/Printers.h"
#include "presentation/OptionsModel.h"
#include "settings/PrintSettingsOwner.h"
#include "settings/SettingsStore.h"
#include "spool/Dispatcher.h"
#include "spool/JobStatus.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/GuiEventBridge.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/MaintenanceController.h"
#include "ui/qt/OptionsDialog.h"
#include "ui/qt/TrayView.h"

namespace marvena {

DesktopViews::DesktopViews(DesktopWiring wiring) : w_(std::move(wiring)) {
  bridge_ = std::make_unique<GuiEventBridge>();
  w_.status.addObserver(bridge_.get());
  window_ = std::make_unique<MainWindow>(w_.spoolDir);
  window_->onAbout = [this] { about(); };

  TrayCommands commands;
  commands.restore = [this] { restore(); };
  commands.parameters = [this] { parameters(); };
  commands.about = [this] { about(); };
  commands.quit = [this] { quit(); };
  commands.showWindow = [this] { window_->showFromTray(); };
  tray_ = std::make_unique<TrayView>(commands);

  QObject::connect(bridge_.get(), &GuiEventBridge::stateChanged, tray_.get(),
                   [this](DispatchState s) { tray_->setState(s); });
  QObject::connect(bridge_.get(), &GuiEventBridge::jobStarted, window_.get(),
                   [this](const QString& name, const QString& kind) {
                     // Panel 0 names the text job being printed.
                     if (kind.compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0)
                       window_->setCurrentJob(name);
                   });
  QObject::connect(bridge_.get(), &GuiEventBridge::jobEnded, window_.get(),
                   [this](const QString&) { window_->setCurrentJob({}); });
  QObject::connect(bridge_.get(), &GuiEventBridge::progress, window_.get(),
                   [this](qint64 done, qint64 total) { window_->setProgress(done, total); });
  QObject::connect(bridge_.get(), &GuiEventBridge::passEnded, window_.get(),
                   [this] { window_->refreshSoon(); });
  tray_->setState(w_.status.state());
  // Start-up selected the printer the settings name; the options window
  // starts from it. No job runs yet.
  w_.printSettings.update(
      [this](PrintSettings& ps) { ps.printerIndex = w_.printers.currentIndex(); });

  if (qEnvironmentVariableIsSet("MARVENA_MEASURE_STALLS")) {
    // A 10 ms tick that comes late shows how long the GUI thread was busy.
    stallTimer_.setInterval(10);
    QObject::connect(&stallTimer_, &QTimer::timeout, [this] {
      longestStallMs_ = std::max(longestStallMs_, sinceTick_.restart() - 10);
    });
    sinceTick_.start();
    stallTimer_.start();
    QObject::connect(bridge_.get(), &GuiEventBridge::jobEnded, window_.get(), [this] {
      std::fprintf(stderr, "longest GUI thread stall so far: %lld ms\n",
                   static_cast<long long>(longestStallMs_));
    });
  }

  if (tray_->available()) {
    tray_->show();  // the window starts hidden; the tray brings it up
  } else {
    // No status area on this desktop: the window stays reachable in the
    // task bar and carries the tray's commands itself.
    windowMenu_ = std::make_unique<QMenu>();
    addTrayCommands(windowMenu_.get(), commands);
    auto* button = new QPushButton(QStringLiteral("Meniu"), window_.get());
    button->setMenu(windowMenu_.get());
    button->move(window_->width() - button->sizeHint().width() - 6,
                 window_->height() - button->sizeHint().height() - 4);
    window_->hideWhenMinimised = false;
    window_->show();
  }
}

DesktopViews::~DesktopViews() {
  if (stallTimer_.isActive())
    std::fprintf(stderr, "longest GUI thread stall: %lld ms\n",
                 static_cast<long long>(longestStallMs_));
}

void DesktopViews::enableMaintenance(MaintenanceFactory factory, MessageSink& messages) {
  maintenance_ =
      std::make_unique<MaintenanceController>(window_.get(), std::move(factory), messages);
}

void DesktopViews::about() {
  if (aboutOpen_) return;
  aboutOpen_ = true;
  AboutDialog box(w_.version, w_.spoolDir);
  box.exec();
  aboutOpen_ = false;
}

std::unique_ptr<OptionsDialog> makeOptionsDialog(const DesktopWiring& w,
                                                 std::function<void(std::function<void()>)> apply,
                                                 bool* storeFailureTold) {
  OptionsDialogServices services;
  if (w.makePrinters) services.printers = w.makePrinters();
  if (services.printers && w.makeDevice) services.device = w.makeDevice(*services.printers);
  if (!services.device) return nullptr;
  PrintSettingsOwner& owner = w.printSettings;
  Printers& jobPrinters = w.printers;
  auto publish = [&owner, &jobPrinters, apply](const SettingsChange& change) {
    // The jobs' printer object and settings change on the job thread when
    // the next job starts, or at once when none runs: a job that prints
    // keeps what it started with.
    owner.updateForNextJob([change](PrintSettings& ps, Printers& printers) {
      if (applySettingsChange(change, ps, printers)) return;
      const QString name = QString::fromStdString(change.printerName);
      QMetaObject::invokeMethod(qApp, [name] {
        auto* box = new QMessageBox(
            QMessageBox::Warning, QStringLiteral("Marvena Spool"),
            QStringLiteral("Spausdintuvas \u201E%1\u201C nebepasiekiamas; spausdinama "
                           "ankstesniu spausdintuvu.")
                .arg(name),
            QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
      });
    });
    apply([&owner, &jobPrinters] { owner.applyPending(jobPrinters); });
  };
  auto tell = [](const std::string& text) {
    QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("Marvena Spool"),
                         QString::fromStdString(text));
  };
  Printers& own = *services.printers;
  PrintDevice& device = *services.device;
  services.model = std::make_unique<OptionsModel>(
      OptionsModel::Services{own, device, &w.settings, publish, tell, storeFailureTold},
      owner.snapshot());
  return std::make_unique<OptionsDialog>(std::move(services));
}

void DesktopViews::parameters() {
  if (options_) return;  // one options window at a time
  std::unique_ptr<OptionsDialog> dialog = makeOptionsDialog(
      w_, [this](std::function<void()> work) { w_.runner.runOnJobThread(std::move(work)); },
      &storeFailureTold_);
  if (!dialog) return;
  options_ = dialog.release();
  options_->setAttribute(Qt::WA_DeleteOnClose);
  options_->setModal(false);
  options_->onAbout = [this] { about(); };
  options_->show();
}

void DesktopViews::openOptionsAtStart(const std::string& reason) {
  if (reason.empty()) return;
  std::fprintf(stderr, "opening the options window at start: %s\n", reason.c_str());
  // No job runs yet: changes apply at once.
  std::unique_ptr<OptionsDialog> dialog = makeOptionsDialog(
      w_, [](std::function<void()> work) { work(); }, &storeFailureTold_);
  if (!dialog) return;
  dialog->onAbout = [this] { about(); };
  dialog->runParameters();
  dialog->exec();
}

void DesktopViews::restore() {
  // The printers and the settings are the jobs' too: the defaults are put
  // back on the job thread, between jobs.
  w_.runner.runOnJobThread([this] {
    w_.printSettings.update(
        [this](PrintSettings& ps) { restorePrintDefaults(&w_.settings, w_.printers, ps); });
  });
}

void DesktopViews::quit() {
  // The job that runs is finished; no new one starts; then the tool ends.
  w_.dispatcher.setEnabled(false);
  // exit(), not quit(): quit() first asks every window to close, and the main
  // window declines (it goes to the tray), which would cancel the ending.
  QCoreApplication::exit(0);
}

}  // namespace marvena
