#include "app/SpoolSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "platform/MessageSink.h"
#include "platform/Platform.h"
#include "settings/ProfileFile.h"
#include "spool/Dispatcher.h"
#include "spool/JournalingFileSystem.h"
#include "spool/TempNames.h"
#include "text/Paths.h"

namespace marvena {

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

std::optional<int> answerInfoOptions(const CommandLine& cl, const char* version) {
  if (!cl.error.empty()) {
    std::fprintf(stderr, "marvena-spool: %s\n\n%s", cl.error.c_str(), kUsage);
    return 2;
  }
  if (cl.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("marvena-spool %s\n", version);
    return 0;
  }
  return std::nullopt;
}

bool isAbsolutePath(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() >= 3 && path[1] == ':' && (path[2] == '/' || path[2] == '\\') &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

SpoolSession::SpoolSession(Platform& platform, MessageSink& messages, SessionEnvironment env)
    : platform_(platform), messages_(messages), env_(std::move(env)) {
  // One line per job on stderr (and, later, the window) come from the job events.
  jobLog_ = std::make_unique<JobLog>(platform_.clock(), messages_);
  status_.addObserver(jobLog_.get());
}

SpoolSession::~SpoolSession() {
  // The handlers and the dispatcher refer to everything above them.
  services_.reset();
  dispatcher_.reset();
}

bool SpoolSession::start(const std::string& configPath) {
  FileSystem& fs = platform_.fileSystem();
  {
    std::string error;
    const std::string dir = directoryOf(configPath);
    if (dir != ".") fs.makeDirectories(dir, &error);
  }
  settings_ = std::make_unique<ProfileFile>(fs, configPath, platform_.locale().decimalSeparator());
  ProfileFile& settings = *settings_;

  const std::string pdfSetting = settings.readString("Spool", "PdfDir", "");
  const std::string pdfDir = pdfSetting.empty() ? "" : mapDosPath(pdfSetting, env_.driveRoot);
  if (!pdfDir.empty() && !fs.isDirectory(pdfDir)) {
    std::string error;
    fs.makeDirectories(pdfDir, &error);
  }
  platform_.configure(
      PlatformConfig{settings, pdfDir, settings.readString("Spool", "FallbackFont", ""),
                     env_.headless, [this](const std::string& line) { messages_.log(line); }});
  Printers& printers = platform_.printers();

  StartupEnvironment startEnv{fs,
                              printers,
                              platform_.fonts(),
                              messages_,
                              status_,
                              platform_.shell(),
                              env_.driveRoot,
                              [this](const std::string& reason) {
                                // With a window the options open once the views exist.
                                if (env_.headless)
                                  messages_.log("options dialog would open (" + reason +
                                                "); headless, going on with the current printer");
                              },
                              env_.wordVersionText};
  start_ = runStartup(&settings, startEnv);

  // One instance per spool directory, however it is reached and whichever
  // settings file names it; the lock inside it also keeps a second machine
  // off a shared spool where the file system passes locks on.
  spoolInstance_ = platform_.claimInstance("spool:" + platform_.realPath(start_.spoolDir));
  if (!spoolInstance_) return false;
  {
    std::string ignored;
    bool held = false;
    if (fs.makeDirectories(start_.spoolDir + "/.marvena", &ignored))
      spoolLock_ = platform_.lockFile(start_.spoolDir + "/.marvena/instance.lock", &held);
    if (held) return false;
  }
  removeStaleTemporaries(configPath, pdfDir);

  jobFs_ = std::make_unique<JournalingFileSystem>(fs);
  DispatcherOptions options;
  options.settleMs = std::clamp(settings.readInteger("Spool", "SettleMs", 300), 0, 60000);
  options.hostTag = platform_.hostName();
  options.runId = (static_cast<std::uint64_t>(env_.processId) << 32) ^
                  static_cast<std::uint64_t>(std::time(nullptr));
  options.privateStateDir = [this](const std::string& dir) {
    return env_.stateBase + "/marvena/dir-" +
           std::to_string(std::hash<std::string>{}(platform_.realPath(dir)));
  };
  options.journal = jobFs_.get();
  options.stepHook = env_.stepHook;
  dispatcher_ = std::make_unique<Dispatcher>(fs, platform_.clock(), messages_, status_,
                                             start_.spoolDir, options);
  printerCheck_ = std::make_unique<PrinterCheck>(printers, platform_.clock(), status_, messages_,
                                                 start_.havePrinter);
  printSettings_ = std::make_unique<PrintSettingsOwner>(start_.printSettings);
  services_ =
      std::make_unique<JobServices>(JobServices{*jobFs_,
                                                platform_.clock(),
                                                platform_.locale(),
                                                messages_,
                                                status_,
                                                settings,
                                                *printSettings_,
                                                printers,
                                                [this] { return platform_.makePrintDevice(); },
                                                start_.spoolDir,
                                                start_.exportSettings,
                                                start_.exportDir,
                                                start_.wordVersion,
                                                env_.driveRoot,
                                                nullptr,
                                                nullptr,
                                                nullptr,
                                                {},
                                                nullptr});
  services_->clipboard = platform_.clipboard();
  services_->urlOpener = platform_.urlOpener();
  services_->ftp = platform_.ftp();
  services_->spreadsheet = platform_.spreadsheet();
  services_->printerAvailable = [this] { return (*printerCheck_)(); };
  registerJobHandlers(*dispatcher_, *services_);
  dispatcher_->setEnabled(start_.timerEnabled);
  messages_.log("spool directory " + start_.spoolDir +
                (start_.timerEnabled ? "" : " (disabled: no job will be processed)") +
                (start_.havePrinter ? "" : " (no printer: *.txt jobs wait for one)"));
  return true;
}

void SpoolSession::removeStaleTemporaries(const std::string& configPath,
                                          const std::string& pdfDir) {
  const auto running = [this](long pid) { return platform_.processRunning(pid); };
  int removed = 0;
  for (const std::string& dir : {start_.spoolDir, start_.exportDir, pdfDir, directoryOf(configPath),
                                 start_.spoolDir + "/.marvena", start_.exportDir + "/.marvena"})
    if (isAbsolutePath(dir))
      removed += removeStaleTemporaryFiles(platform_.fileSystem(), dir, running);
  if (removed > 0)
    messages_.log("removed " + std::to_string(removed) + " temporary file(s) of an earlier run");
}

int SpoolSession::runOnce() {
  // Files within their quiet period get the time they need (at most ten
  // seconds of waiting in all).
  std::int64_t waitedMs = 0;
  for (;;) {
    const PassReport r = dispatcher_->runPass();
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
  return dispatcher_->anyFailure() || dispatcher_->anyUnavailable() ? 1 : 0;
}

std::function<void(const std::string&)> testStepHook(const std::string& setting,
                                                     std::function<void(bool stop)> end) {
  if (setting.empty()) return {};
  const std::size_t colon = setting.find(':');
  const std::string step = setting.substr(0, colon);
  const bool stop = colon != std::string::npos && setting.substr(colon + 1) == "stop";
  return [step, stop, end = std::move(end)](const std::string& at) {
    if (at != step) return;
    std::fflush(stderr);
    end(stop);
  };
}

}  // namespace marvena
