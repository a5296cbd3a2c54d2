// Entry point: command line, one instance per settings file, start-up,
// then the dispatch loop (or a single run with --once).
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

#include "app/CommandLine.h"
#include "app/DesktopViews.h"
#include "app/JobTable.h"
#include "app/SpoolRunner.h"
#include "app/StderrMessages.h"
#include "platform/Platform.h"
#include "settings/ProfileFile.h"
#include "spool/Dispatcher.h"
#include "spool/JobLog.h"
#include "spool/JournalingFileSystem.h"
#include "spool/TempNames.h"
#include "startup/Startup.h"
#include "ui/qt/QtMessages.h"

#ifndef MARVENA_VERSION
#define MARVENA_VERSION "0.0.0"
#endif

namespace marvena {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string DefaultConfigPath() {
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty()) base = Env("HOME") + "/.config";
  return base + "/marvena/MARVENA.INI";
}

std::string AbsolutePath(const std::string& path) {
  return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(path)))
      .toStdString();
}

// Passes until one finds nothing new; files within their quiet period get
// the time they need (at most ten seconds of waiting in all).
int RunOnce(Dispatcher& dispatcher) {
  std::int64_t waitedMs = 0;
  for (;;) {
    const PassReport r = dispatcher.runPass();
    if (r.skipped) break;
    if (r.newJobs > 0 || r.moreReady) continue;
    if (r.waiting > 0 && r.settleWakeMs >= 0 && waitedMs < 10000) {
      const std::int64_t ms = std::clamp<std::int64_t>(r.settleWakeMs, 10, 250);
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      waitedMs += ms;
      continue;
    }
    break;
  }
  return dispatcher.anyFailure() || dispatcher.anyUnavailable() ? 1 : 0;
}

// Where the state of a watched directory the tool may not write is kept.
std::string PrivateStateDir(Platform& platform, const std::string& dir) {
  std::string base = Env("XDG_STATE_HOME");
  if (base.empty()) base = Env("HOME") + "/.local/state";
  return base + "/marvena/dir-" + std::to_string(std::hash<std::string>{}(platform.realPath(dir)));
}

// Tests end the process at a named step of a job (MARVENA_TEST_CRASH_AT=
// "claimed", "ran" or "finished", optionally with ":stop" to pause instead)
// to check what a crash there leaves behind.
std::function<void(const std::string&)> TestStepHook() {
  const std::string setting = Env("MARVENA_TEST_CRASH_AT");
  if (setting.empty()) return {};
  const std::size_t colon = setting.find(':');
  const std::string step = setting.substr(0, colon);
  const bool stop = colon != std::string::npos && setting.substr(colon + 1) == "stop";
  return [step, stop](const std::string& at) {
    if (at != step) return;
    std::fflush(stderr);
    std::raise(stop ? SIGSTOP : SIGKILL);
  };
}

// Whether a printer can be used; asked again at most once a minute, and the
// tray shows the tool disabled while there is none.
class PrinterCheck {
 public:
  PrinterCheck(Printers& printers, Clock& clock, JobStatus& status, MessageSink& messages,
               bool haveNow)
      : printers_(printers), clock_(clock), status_(status), messages_(messages), have_(haveNow) {
    checkedMs_ = clock_.monotonicMs();
  }
  bool operator()() {
    const std::int64_t now = clock_.monotonicMs();
    if (now - checkedMs_ < 60000) return have_;
    checkedMs_ = now;
    const bool have = !printers_.names().empty();
    if (have && !have_) {
      messages_.log("a printer is available again; printing resumes");
      status_.leaveDisabled();
    }
    if (!have && have_) {
      messages_.log("no printer any more; *.txt jobs wait");
      status_.forceDisabled();
    }
    have_ = have;
    return have_;
  }

 private:
  Printers& printers_;
  Clock& clock_;
  JobStatus& status_;
  MessageSink& messages_;
  bool have_;
  std::int64_t checkedMs_ = 0;
};

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const CommandLine cl = ParseCommandLine(args);
  if (!cl.error.empty()) {
    std::fprintf(stderr, "marvena-spool: %s\n\n%s", cl.error.c_str(), kUsage);
    return 2;
  }
  if (cl.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("marvena-spool %s\n", MARVENA_VERSION);
    return 0;
  }

  // A settings file reached through a link is the file it leads to: the lock
  // keys on it, and changes are written to it.
  std::unique_ptr<Platform> platform = MakePlatform();
  const std::string configPath =
      platform->realPath(AbsolutePath(cl.configPath.empty() ? DefaultConfigPath() : cl.configPath));
  const std::unique_ptr<InstanceGuard> instance = platform->claimInstance(configPath);
  if (!instance) return 0;  // already running for this settings file

  const bool display = !Env("DISPLAY").empty() || !Env("WAYLAND_DISPLAY").empty() ||
                       (!Env("QT_QPA_PLATFORM").empty() && Env("QT_QPA_PLATFORM") != "offscreen");
  bool headless = cl.headless || cl.once;
  if (!headless && !display) {
    std::fprintf(stderr, "marvena-spool: no display; running headless\n");
    headless = true;
  }
  // Fonts and PDF output need a GUI application; without a display the
  // offscreen platform serves.
  if (!display && Env("QT_QPA_PLATFORM").empty()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Marvena Spool"));
  QApplication::setQuitOnLastWindowClosed(false);  // the tool lives in the tray
  QTranslator qtLithuanian;
  if (qtLithuanian.load(QLocale(QLocale::Lithuanian), QStringLiteral("qt"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtLithuanian);

  FileSystem& fs = platform->fileSystem();
  Clock& clock = platform->clock();
  Locale& locale = platform->locale();
  StderrMessages stderrMessages;
  QtMessages boxes;
  MessageSink& messages = headless ? static_cast<MessageSink&>(stderrMessages) : boxes;
  JobStatus status;
  // One line per job on stderr (and, later, the window) come from the job events.
  JobLog jobLog(clock, messages);
  status.addObserver(&jobLog);

  {
    const std::size_t slash = configPath.rfind('/');
    std::string error;
    if (slash != std::string::npos) fs.makeDirectories(configPath.substr(0, slash), &error);
  }
  ProfileFile settings(fs, configPath, locale.decimalSeparator());

  std::string driveRoot = Env("MARVENA_DRIVE");
  if (driveRoot.empty()) driveRoot = Env("HOME");
  const std::string pdfSetting = settings.readString("Spool", "PdfDir", "");
  const std::string pdfDir = pdfSetting.empty() ? "" : MapDosPath(pdfSetting, driveRoot);
  if (!pdfDir.empty() && !fs.isDirectory(pdfDir)) {
    std::string error;
    fs.makeDirectories(pdfDir, &error);
  }
  platform->configure(PlatformConfig{
      settings, pdfDir, settings.readString("Spool", "FallbackFont", ""), headless || !display,
      [&messages](const std::string& line) { messages.log(line); }});
  Printers& printers = platform->printers();

  StartupEnvironment env{fs,
                         printers,
                         platform->fonts(),
                         messages,
                         status,
                         platform->shell(),
                         driveRoot,
                         [&messages](const std::string& reason) {
                           messages.log("options dialog would open (" + reason +
                                        "); headless, going on with the current printer");
                         },
                         {}};
  StartupResult start = RunStartup(&settings, env);

  // One instance per spool directory, however it is reached and whichever
  // settings file names it; the lock inside it also keeps a second machine
  // off a shared spool where the file system passes locks on.
  const std::unique_ptr<InstanceGuard> spoolInstance =
      platform->claimInstance("spool:" + platform->realPath(start.spoolDir));
  if (!spoolInstance) return 0;
  std::unique_ptr<InstanceGuard> spoolLock;
  {
    std::string ignored;
    bool held = false;
    if (fs.makeDirectories(start.spoolDir + "/.marvena", &ignored))
      spoolLock = platform->lockFile(start.spoolDir + "/.marvena/instance.lock", &held);
    if (held) return 0;
  }

  // What crashed runs left behind.
  {
    const auto running = [&platform](long pid) { return platform->processRunning(pid); };
    int removed = 0;
    for (const std::string& dir :
         {start.spoolDir, start.exportDir, pdfDir, configPath.substr(0, configPath.rfind('/')),
          start.spoolDir + "/.marvena", start.exportDir + "/.marvena"})
      if (!dir.empty() && dir[0] == '/') removed += RemoveStaleTemporaries(fs, dir, running);
    if (removed > 0)
      messages.log("removed " + std::to_string(removed) + " temporary file(s) of an earlier run");
  }

  JournalingFileSystem jobFs(fs);
  DispatcherOptions options;
  options.settleMs = std::clamp(settings.readInteger("Spool", "SettleMs", 300), 0, 60000);
  options.hostTag = platform->hostName();
  options.runId = (static_cast<std::uint64_t>(::getpid()) << 32) ^
                  static_cast<std::uint64_t>(std::time(nullptr));
  options.privateStateDir = [&platform](const std::string& dir) {
    return PrivateStateDir(*platform, dir);
  };
  options.journal = &jobFs;
  options.stepHook = TestStepHook();
  Dispatcher dispatcher(fs, clock, messages, status, start.spoolDir, options);
  PrinterCheck printerCheck(printers, clock, status, messages, start.havePrinter);
  PrintSettingsOwner printSettings(start.printSettings);
  JobServices services{jobFs,
                       clock,
                       locale,
                       messages,
                       status,
                       settings,
                       printSettings,
                       printers,
                       [&platform] { return platform->makePrintDevice(); },
                       start.spoolDir,
                       start.exportSettings,
                       start.exportDir,
                       start.wordVersion,
                       driveRoot,
                       nullptr,
                       nullptr,
                       nullptr,
                       {},
                       nullptr};
  services.clipboard = platform->clipboard();
  services.urlOpener = platform->urlOpener();
  services.ftp = platform->ftp();
  services.spreadsheet = platform->spreadsheet();
  services.printerAvailable = [&printerCheck] { return printerCheck(); };
  RegisterJobHandlers(dispatcher, services);
  dispatcher.setEnabled(start.timerEnabled);
  messages.log("spool directory " + start.spoolDir +
               (start.timerEnabled ? "" : " (disabled: no job will be processed)") +
               (start.havePrinter ? "" : " (no printer: *.txt jobs wait for one)"));

  if (cl.once) return RunOnce(dispatcher);

  SpoolRunner runner(dispatcher, platform->makeDirectoryWatcher());
  std::unique_ptr<DesktopViews> views;
  if (!headless)
    views = std::make_unique<DesktopViews>(
        DesktopWiring{status, dispatcher, runner, printSettings, settings, printers,
                      QString::fromStdString(start.spoolDir), QStringLiteral(MARVENA_VERSION)});
  if (start.timerEnabled) runner.start();
  return app.exec();
}

}  // namespace
}  // namespace marvena

int main(int argc, char** argv) {
  return marvena::Run(argc, argv);
}
