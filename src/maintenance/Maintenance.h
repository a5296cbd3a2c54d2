// The maintenance procedure: the chosen kits are fetched from the maker's
// server where the local copies are not current, checked against the
// server's digest list, and run - the program kit first, then the spool kit.
//
// A failed HEAD, GET or save, a digest that does not match and a plain-http
// server without a digest list stop the remaining steps; the error is
// reported once; the closing step (status cleared) always runs. A file is
// put in place only once it is complete and checked, so a good local copy
// is never replaced by a broken one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "maintenance/KitRules.h"
#include "platform/Archive.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Http.h"
#include "platform/Process.h"

namespace marvena {

// What the procedure tells whoever shows it: the window or the log. Called
// on the thread that runs the procedure.
class MaintenanceObserver {
 public:
  virtual ~MaintenanceObserver() = default;
  // Text of status panel 0; empty clears it.
  virtual void status(const std::string& text) = 0;
  // Transfer progress; total 0 hides it.
  virtual void progress(std::int64_t done, std::int64_t total) = 0;
  // An error for the user (Lithuanian), reported once per failure.
  virtual void error(const std::string& text) = 0;
  // A line of the English run log.
  virtual void log(const std::string& line) = 0;
  // The kit has run: its box is unchecked.
  virtual void kitDone(Kit kit) = 0;
};

struct MaintenanceServices {
  HttpClient& http;
  FileSystem& fs;
  FileTimes& fileTimes;
  ProcessRunner& processes;
  ArchiveUnpacker& unpacker;
  // Whether a process runs: temporary files of crashed runs are removed.
  std::function<bool(long pid)> processRunning;
};

struct MaintenanceConfig {
  std::string server;     // [Modify] Server as written; empty: the default
  std::string driveRoot;  // the directory the DOS drive's root maps to
  KitCommands commands;
  HttpOptions http;
};

class MaintenanceProcedure {
 public:
  MaintenanceProcedure(MaintenanceServices services, MaintenanceConfig config,
                       MaintenanceObserver& observer);

  // Runs the checked kits; true when every step succeeded.
  bool run(bool program, bool spool);
  // From any thread: transfers are cancelled and waits given up; no error
  // is reported for it.
  void stop() { stopped_ = true; }

 private:
  struct Failed {};  // a step failed and reported it

  void check(bool program, bool spool);
  void prepareDirectory(Kit kit);
  void loadDigests();
  bool verifyLocal(const KitFile& file, const std::string& path, const std::string& digest);
  void downloadIfNewer(const KitFile& file);
  void runProgramKit();
  void runSpoolKit();
  [[noreturn]] void fail(const std::string& userText, const std::string& logLine);
  std::string hostPath(const std::string& dosPath) const;
  std::string describe(const HttpError& e) const;

  MaintenanceServices s_;
  MaintenanceConfig config_;
  MaintenanceObserver& observer_;
  ServerAddress server_;
  bool digestsLoaded_ = false;
  std::optional<DigestList> digests_;
  bool anyFailure_ = false;
  std::atomic<bool> stopped_{false};
};

// Makes the procedure for one run, reporting to `observer`; null (after
// reporting why through it) when it cannot run now.
using MaintenanceFactory =
    std::function<std::shared_ptr<MaintenanceProcedure>(MaintenanceObserver& observer)>;

}  // namespace marvena
