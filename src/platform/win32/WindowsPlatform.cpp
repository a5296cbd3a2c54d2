// The platform on Windows: Win32 files, change notification and locks; GDI
// for printers and fonts; the clipboard and shell; WinINet for FTP; Excel
// through COM for workbooks; WinINet for the maintenance downloads, whose
// kits unpack themselves (PKUNZIP through the command interpreter).
#include "platform/Platform.h"
#include "platform/win32/ExcelSpreadsheet.h"
#include "platform/win32/GdiPrinting.h"
#include "platform/win32/WinDesktop.h"
#include "platform/win32/WinDirectoryWatcher.h"
#include "platform/win32/WinFileSystem.h"
#include "platform/win32/WinFileTimes.h"
#include "platform/win32/WinInetFtpClient.h"
#include "platform/win32/WinInetHttpClient.h"
#include "platform/win32/WinProcess.h"
#include "platform/win32/WinSystem.h"

namespace marvena {

namespace {

template <class Lock>
class Held final : public InstanceGuard {
 public:
  explicit Held(std::unique_ptr<Lock> lock) : lock_(std::move(lock)) {}

 private:
  std::unique_ptr<Lock> lock_;
};

class WindowsPlatform final : public Platform {
 public:
  // The plain "Marvena Spool" mutex tells an installer that the tool runs;
  // it is shared, the keyed ones below keep instances apart.
  WindowsPlatform() : running_(CreateMutexW(nullptr, FALSE, L"Marvena Spool")) {}

  FileSystem& fileSystem() override { return fs_; }
  Clock& clock() override { return clock_; }
  Locale& locale() override { return locale_; }
  Fonts& fonts() override { return fonts_; }
  Shell& shell() override { return shell_; }
  std::unique_ptr<DirectoryWatcher> makeDirectoryWatcher() override {
    return std::make_unique<WinDirectoryWatcher>();
  }

  void configure(const PlatformConfig& config) override {
    fallbackFont_ = config.fallbackFont;
    log_ = config.log;
    if (!config.pdfDir.empty() && log_)
      log_("no \"Marvena PDF\" printer on Windows; \"Microsoft Print to PDF\" serves instead");
  }
  Printers& printers() override { return printers_; }
  std::unique_ptr<PrintDevice> makePrintDevice() override {
    return std::make_unique<GdiPrintDevice>(printers_, fallbackFont_, log_);
  }
  Clipboard* clipboard() override { return &clipboard_; }
  UrlOpener* urlOpener() override { return &urlOpener_; }
  FtpClient* ftp() override { return &ftp_; }
  Spreadsheet* spreadsheet() override { return &excel_; }
  ProcessRunner* processes() override { return &processes_; }
  HttpClient* http() override { return &http_; }
  FileTimes* fileTimes() override { return &fileTimes_; }

  std::unique_ptr<InstanceGuard> claimInstance(const std::string& key) override {
    auto mutex = std::make_unique<NamedMutex>(instanceMutexName(key));
    if (!mutex->acquired()) return nullptr;
    return std::make_unique<Held<NamedMutex>>(std::move(mutex));
  }
  std::unique_ptr<InstanceGuard> lockFile(const std::string& path, bool* held) override {
    auto lock = std::make_unique<WinFileLock>(path);
    *held = lock->made() && !lock->acquired();
    if (!lock->acquired()) return nullptr;
    return std::make_unique<Held<WinFileLock>>(std::move(lock));
  }
  std::string hostName() override { return winHostName(); }
  bool processRunning(long pid) override {
    return static_cast<unsigned long>(pid) == GetCurrentProcessId() ||
           winProcessRunning(static_cast<unsigned long>(pid));
  }
  std::string realPath(const std::string& path) override { return winRealPath(path); }

 private:
  Handle running_;
  WinFileSystem fs_;
  WinClock clock_;
  WinLocale locale_;
  WinFonts fonts_;
  NoShellHousekeeping shell_;
  GdiPrinters printers_;
  std::string fallbackFont_;
  std::function<void(const std::string&)> log_;
  WinClipboard clipboard_;
  WinUrlOpener urlOpener_;
  WinInetFtpClient ftp_;
  ExcelSpreadsheet excel_;
  WinProcessRunner processes_;
  WinInetHttpClient http_;
  WinFileTimes fileTimes_;
};

}  // namespace

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<WindowsPlatform>();
}

}  // namespace marvena
