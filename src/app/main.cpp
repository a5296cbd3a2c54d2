// Entry point on Linux: command line, one instance per settings file, the
// Qt application and its windows around the shared session, then the
// dispatch loop (or a single run with --once).
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "app/CommandLine.h"
#include "app/DesktopViews.h"
#include "app/JobTable.h"
#include "app/MaintenanceSetup.h"
#include "app/SpoolRunner.h"
#include "app/SpoolSession.h"
#include "app/StderrMessages.h"
#include "platform/Platform.h"
#include "settings/SettingsStore.h"
#include "ui/qt/QtMessages.h"

#ifndef MARVENA_VERSION
#define MARVENA_VERSION "0.0.0"
#endif

namespace marvena {
namespace {

std::string envVar(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string defaultConfigPath() {
  std::string base = envVar("XDG_CONFIG_HOME");
  if (base.empty()) base = envVar("HOME") + "/.config";
  return base + "/marvena/MARVENA.INI";
}

std::string absolutePathOf(const std::string& path) {
  return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(path)))
      .toStdString();
}

int runTool(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const CommandLine cl = parseCommandLine(args);
  if (const std::optional<int> status = answerInfoOptions(cl, MARVENA_VERSION)) return *status;

  // A settings file reached through a link is the file it leads to: the lock
  // keys on it, and changes are written to it.
  std::unique_ptr<Platform> platform = makePlatform();
  const std::string configPath = platform->realPath(
      absolutePathOf(cl.configPath.empty() ? defaultConfigPath() : cl.configPath));
  // Maintenance may run beside a running tool: it takes a lock of its own.
  if (!cl.modify.empty()) {
    const std::string drive = envVar("MARVENA_DRIVE");
    return runModify(*platform, configPath, drive.empty() ? envVar("HOME") : drive, cl.modify);
  }
  const std::unique_ptr<InstanceGuard> instance = platform->claimInstance(configPath);
  if (!instance) return 0;  // already running for this settings file

  const bool display =
      !envVar("DISPLAY").empty() || !envVar("WAYLAND_DISPLAY").empty() ||
      (!envVar("QT_QPA_PLATFORM").empty() && envVar("QT_QPA_PLATFORM") != "offscreen");
  bool headless = cl.headless || cl.once;
  if (!headless && !display) {
    std::fprintf(stderr, "marvena-spool: no display; running headless\n");
    headless = true;
  }
  // Fonts and PDF output need a GUI application; without a display the
  // offscreen platform serves.
  if (!display && envVar("QT_QPA_PLATFORM").empty()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Marvena Spool"));
  QApplication::setQuitOnLastWindowClosed(false);  // the tool lives in the tray
  QTranslator qtLithuanian;
  if (qtLithuanian.load(QLocale(QLocale::Lithuanian), QStringLiteral("qt"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtLithuanian);

  StderrMessages stderrMessages;
  QtMessages boxes;
  MessageSink& messages = headless ? static_cast<MessageSink&>(stderrMessages) : boxes;

  SessionEnvironment env;
  env.driveRoot = envVar("MARVENA_DRIVE");
  if (env.driveRoot.empty()) env.driveRoot = envVar("HOME");
  env.stateBase = envVar("XDG_STATE_HOME");
  if (env.stateBase.empty()) env.stateBase = envVar("HOME") + "/.local/state";
  env.processId = static_cast<long>(::getpid());
  env.stepHook = testStepHook(envVar("MARVENA_TEST_CRASH_AT"),
                              [](bool stop) { std::raise(stop ? SIGSTOP : SIGKILL); });
  env.headless = headless;
  SpoolSession session(*platform, messages, env);
  if (!session.start(configPath)) return 0;  // another instance serves this spool directory
  if (cl.once) return session.runOnce();

  const StartupResult& start = session.startup();
  SpoolRunner runner(session.dispatcher(), platform->makeDirectoryWatcher());
  std::unique_ptr<DesktopViews> views;
  if (!headless)
    views = std::make_unique<DesktopViews>(DesktopWiring{
        session.status(), session.dispatcher(), runner, session.printSettings(), session.settings(),
        platform->printers(), QString::fromStdString(start.spoolDir),
        QStringLiteral(MARVENA_VERSION), [&platform] { return platform->makePrinters(); },
        [&platform](Printers& p) { return platform->makePrintDeviceFor(p); }});
  if (views)
    views->openOptionsAtStart(optionsWantedAtStart(&session.settings(), platform->printers()));
  if (views)
    views->enableMaintenance(makeMaintenanceFactory(*platform, configPath, env.driveRoot), boxes);
  if (start.timerEnabled) runner.start();
  return app.exec();
}

}  // namespace
}  // namespace marvena

int main(int argc, char** argv) {
  return marvena::runTool(argc, argv);
}
