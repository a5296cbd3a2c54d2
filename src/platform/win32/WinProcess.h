// ProcessRunner on Windows: CreateProcess with the command line as it
// stands (the command interpreter named by COMSPEC runs batch files), in a
// console of its own, shown normally, inheriting no handle; and the wait
// for an InstallShield installer that a setup program leaves running.
#pragma once

#include "platform/Process.h"

namespace marvena {

class WinProcessRunner final : public ProcessRunner {
 public:
  int runAndWait(const std::string& commandLine, const std::string& workingDirectory,
                 const StopWaiting& stop) override;
  // While a top-level window titled exactly "Setup" of the class exactly
  // "InstallShield_Win" exists.
  void waitForLeftInstaller(const StopWaiting& stop) override;
};

// Whether a window of this title and class is an installer left running.
bool isInstallerWindow(const std::wstring& title, const std::wstring& windowClass);

}  // namespace marvena
