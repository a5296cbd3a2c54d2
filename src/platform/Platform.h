// Everything the tool needs from the machine it runs on, as interfaces. One
// factory per operating system makes it (chosen in this folder's CMake
// file), so the entry point wires one object; the engine and the views see
// only the interfaces.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Archive.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/DirectoryWatcher.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Fonts.h"
#include "platform/Ftp.h"
#include "platform/Http.h"
#include "platform/Locale.h"
#include "platform/PrintDevice.h"
#include "platform/Printers.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/Spreadsheet.h"

namespace marvena {

class ProfileFile;

// Held for the process's life: one instance of the tool for its key.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
};

// What the platform's services need from the settings file and the command line.
struct PlatformConfig {
  ProfileFile& settings;
  std::string pdfDir;        // the "Marvena PDF" printer's directory; empty: none
  std::string fallbackFont;  // for jobs whose font is not installed
  bool headless = false;     // no windows: the office runs headless too
  std::function<void(const std::string&)> log;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual FileSystem& fileSystem() = 0;
  virtual Clock& clock() = 0;
  virtual Locale& locale() = 0;
  virtual Fonts& fonts() = 0;
  virtual Shell& shell() = 0;
  virtual std::unique_ptr<DirectoryWatcher> makeDirectoryWatcher() = 0;

  // The services that depend on the settings exist once this has run.
  virtual void configure(const PlatformConfig& config) = 0;
  virtual Printers& printers() = 0;
  virtual std::unique_ptr<PrintDevice> makePrintDevice() = 0;
  // A printer object of the caller's own, for a window that must not change
  // the one the jobs use while they print, and a device that measures on
  // it. Null where the platform has none to give.
  virtual std::unique_ptr<Printers> makePrinters() { return nullptr; }
  virtual std::unique_ptr<PrintDevice> makePrintDeviceFor(Printers&) { return nullptr; }
  virtual Clipboard* clipboard() = 0;
  virtual UrlOpener* urlOpener() = 0;
  virtual FtpClient* ftp() = 0;
  virtual Spreadsheet* spreadsheet() = 0;
  // Installation maintenance: downloads, the kits' programs, unpacking,
  // file times. Null where the platform has none; ready before configure().
  virtual HttpClient* http() { return nullptr; }
  virtual ProcessRunner* processes() { return nullptr; }
  virtual ArchiveUnpacker* unpacker() { return nullptr; }
  virtual FileTimes* fileTimes() { return nullptr; }

  // One instance per `key` on this machine; null while another holds it.
  virtual std::unique_ptr<InstanceGuard> claimInstance(const std::string& key) = 0;
  // An exclusive lock on a file of ours, seen by other machines where the
  // file system passes locks on. Null with *held set while another process
  // holds it; null with *held clear when the file cannot be made.
  virtual std::unique_ptr<InstanceGuard> lockFile(const std::string& path, bool* held) = 0;
  virtual std::string hostName() = 0;
  virtual bool processRunning(long pid) = 0;
  // `path` with links and "." / ".." resolved, as far as it exists.
  virtual std::string realPath(const std::string& path) = 0;
};

// The platform of the operating system the tool was built for.
std::unique_ptr<Platform> makePlatform();

}  // namespace marvena
