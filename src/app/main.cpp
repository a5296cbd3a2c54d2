// Entry point: command line, one instance per settings file, start-up,
// then the dispatch loop (or a single run with --once).
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/CommandLine.h"
#include "app/JobTable.h"
#include "app/SpoolRunner.h"
#include "app/StderrMessages.h"
#include "platform/curl/CurlFtpClient.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSystem.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtFonts.h"
#include "platform/qt/QtPrinters.h"
#include "settings/ProfileFile.h"
#include "spool/Dispatcher.h"
#include "startup/Startup.h"

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

// Passes until one finds nothing new; files whose writer cannot be asked
// get the time they need to settle.
int RunOnce(Dispatcher& dispatcher) {
  int idleRounds = 0;
  for (;;) {
    const PassReport r = dispatcher.runPass();
    if (r.skipped) break;
    if (r.newJobs > 0) {
      idleRounds = 0;
      continue;
    }
    if (r.waiting > 0 && ++idleRounds < 40) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      continue;
    }
    break;
  }
  return dispatcher.anyFailure() ? 1 : 0;
}

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

  const std::string configPath =
      AbsolutePath(cl.configPath.empty() ? DefaultConfigPath() : cl.configPath);
  InstanceLock instance(configPath);
  if (!instance.acquired()) return 0;  // already running for this settings file

  bool headless = cl.headless;
  if (!headless) {
    std::fprintf(stderr,
                 "marvena-spool: the window and tray icon are not built yet; running headless\n");
    headless = true;
  }
  // Fonts and PDF output need a GUI application; without a display the
  // offscreen platform serves.
  if (Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty() && Env("QT_QPA_PLATFORM").empty())
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  QGuiApplication::setApplicationName(QStringLiteral("Marvena Spool"));

  PosixFileSystem fs;
  PosixClock clock;
  PosixLocale locale;
  StderrMessages messages;
  JobStatus status;

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
  QtPrinters printers(pdfDir);
  QtFonts fonts;

  StartupEnvironment env{fs,        printers, fonts, messages, status, driveRoot,
                         [&messages](const std::string& reason) {
                           messages.log("options dialog would open (" + reason +
                                        "); headless, going on with the current printer");
                         },
                         {}};
  StartupResult start = RunStartup(&settings, env);

  Dispatcher dispatcher(fs, clock, messages, status, start.spoolDir);
  JobServices services{fs,
                       clock,
                       locale,
                       messages,
                       status,
                       settings,
                       start.printSettings,
                       printers,
                       start.spoolDir,
                       start.exportSettings,
                       start.exportDir,
                       start.wordVersion,
                       driveRoot};
  QtClipboard clipboard;
  QtUrlOpener urlOpener;
  CurlFtpClient ftp;
  services.clipboard = &clipboard;
  services.urlOpener = &urlOpener;
  services.ftp = &ftp;
  RegisterJobHandlers(dispatcher, services);
  dispatcher.setEnabled(start.timerEnabled);
  messages.log("spool directory " + start.spoolDir +
               (start.timerEnabled ? "" : " (disabled: no job will be processed)"));

  if (cl.once) return RunOnce(dispatcher);

  QStringList watched{QString::fromStdString(start.spoolDir)};
  if (!start.exportDir.empty()) watched << QString::fromStdString(start.exportDir);
  SpoolRunner runner(dispatcher, watched);
  if (start.timerEnabled) runner.start();
  return app.exec();
}

}  // namespace
}  // namespace marvena

int main(int argc, char** argv) { return marvena::Run(argc, argv); }
