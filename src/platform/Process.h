// Starting another program and waiting for it to end.
#pragma once

#include <functional>
#include <string>

namespace marvena {

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;

  static constexpr int kNotStarted = -1;
  // The wait was given up (the tool is ending); the program runs on.
  static constexpr int kNotWaited = -2;

  // Asked now and then while waiting; true gives the wait up.
  using StopWaiting = std::function<bool()>;

  // Runs `commandLine` in `workingDirectory` (a path of this machine) and
  // waits for it: its exit code, kNotStarted when it could not be started,
  // kNotWaited when `stop` said so first. The command line is the program
  // and its arguments as this system writes them; no shell takes part
  // unless the command line names one.
  virtual int runAndWait(const std::string& commandLine, const std::string& workingDirectory,
                         const StopWaiting& stop) = 0;

  // Waits while an installer that a setup program left running is still
  // open (where the system has such installers); nothing elsewhere.
  virtual void waitForLeftInstaller(const StopWaiting& stop) { (void)stop; }
};

}  // namespace marvena
