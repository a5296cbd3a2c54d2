// The part of the tool every entry point shares, free of any GUI toolkit:
// the settings file, the start-up sequence, the locks of the spool
// directory, what crashed runs left behind, and the dispatcher with its job
// handlers. The entry point of each system adds its windows (or none) and
// the loop that drives the dispatcher.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/JobTable.h"
#include "settings/PrintSettingsOwner.h"
#include "spool/JobLog.h"
#include "spool/JobStatus.h"
#include "startup/Startup.h"

namespace marvena {

class Dispatcher;
class InstanceGuard;
class JournalingFileSystem;
class MessageSink;
class Platform;
class PrinterCheck;
class ProfileFile;

// Prints the usage, the version or an argument error; the exit status when
// the process ends here.
std::optional<int> answerInfoOptions(const CommandLine& cl, const char* version);

// Where things are on the system the tool runs on.
struct SessionEnvironment {
  std::string driveRoot;  // the DOS drive's root on this machine
  std::string stateBase;  // private state of spool directories the tool may not write
  long processId = 0;
  // Called at the named steps of a job; tests end the process there.
  std::function<void(const std::string&)> stepHook;
  // Whether the tool runs without windows (the office then does too).
  bool headless = true;
  // The word processor's version text; empty when none answers.
  std::function<std::string()> wordVersionText;
};

class SpoolSession {
 public:
  SpoolSession(Platform& platform, MessageSink& messages, SessionEnvironment env);
  ~SpoolSession();
  SpoolSession(const SpoolSession&) = delete;
  SpoolSession& operator=(const SpoolSession&) = delete;

  // Reads `configPath` (absolute, links resolved) and starts up. False when
  // another instance serves the same spool directory: end quietly then.
  bool start(const std::string& configPath);
  // Passes until one finds nothing new; exit status 1 when a job failed.
  int runOnce();

  Dispatcher& dispatcher() { return *dispatcher_; }
  JobStatus& status() { return status_; }
  ProfileFile& settings() { return *settings_; }
  PrintSettingsOwner& printSettings() { return *printSettings_; }
  const StartupResult& startup() const { return start_; }

 private:
  void removeStaleTemporaries(const std::string& configPath, const std::string& pdfDir);

  Platform& platform_;
  MessageSink& messages_;
  SessionEnvironment env_;
  JobStatus status_;
  std::unique_ptr<JobLog> jobLog_;
  std::unique_ptr<ProfileFile> settings_;
  StartupResult start_;
  std::unique_ptr<InstanceGuard> spoolInstance_;
  std::unique_ptr<InstanceGuard> spoolLock_;
  std::unique_ptr<JournalingFileSystem> jobFs_;
  std::unique_ptr<Dispatcher> dispatcher_;
  std::unique_ptr<PrinterCheck> printerCheck_;
  std::unique_ptr<PrintSettingsOwner> printSettings_;
  std::unique_ptr<JobServices> services_;
};

// "/x" and "C:/x" (or "C:\x") are absolute; the tool writes nowhere else.
bool isAbsolutePath(const std::string& path);

// Tests end the process at a named step of a job: `setting` is the value of
// MARVENA_TEST_CRASH_AT ("claimed", "ran" or "finished", optionally with
// ":stop"); `end` ends the process (or, with stop, halts it) the system's
// way. Empty setting: no hook.
std::function<void(const std::string&)> testStepHook(const std::string& setting,
                                                     std::function<void(bool stop)> end);

}  // namespace marvena
