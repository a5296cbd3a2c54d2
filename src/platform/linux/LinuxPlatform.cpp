// The platform on Linux: POSIX files, locks and locale; Qt for printers,
// fonts, clipboard and browser; libcurl for FTP; LibreOffice for workbooks.
#include <unistd.h>

#include "platform/Platform.h"
#include "platform/archive/LibarchiveUnpacker.h"
#include "platform/curl/CurlFtpClient.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/posix/InotifyWatcher.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixFileTimes.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/PosixSystem.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtFonts.h"
#include "platform/qt/QtPrintDevice.h"
#include "platform/qt/QtPrinters.h"
#include "platform/uno/UnoSpreadsheet.h"

namespace marvena {

namespace {

template <class Lock>
class Held final : public InstanceGuard {
 public:
  explicit Held(std::unique_ptr<Lock> lock) : lock_(std::move(lock)) {}

 private:
  std::unique_ptr<Lock> lock_;
};

class LinuxPlatform final : public Platform {
 public:
  FileSystem& fileSystem() override { return fs_; }
  Clock& clock() override { return clock_; }
  Locale& locale() override { return locale_; }
  Fonts& fonts() override { return fonts_; }
  Shell& shell() override { return shell_; }
  std::unique_ptr<DirectoryWatcher> makeDirectoryWatcher() override {
    return std::make_unique<InotifyWatcher>();
  }

  void configure(const PlatformConfig& config) override {
    printers_ = std::make_unique<QtPrinters>(config.pdfDir);
    fallbackFont_ = config.fallbackFont;
    log_ = config.log;
    UnoOptions calc = readUnoOptions(config.settings, config.headless);
    calc.log = config.log;
    spreadsheet_ = std::make_unique<UnoSpreadsheet>(calc);
  }
  Printers& printers() override { return *printers_; }
  std::unique_ptr<PrintDevice> makePrintDevice() override {
    return std::make_unique<QtPrintDevice>(*printers_, fallbackFont_, log_);
  }
  std::unique_ptr<Printers> makePrinters() override {
    return std::make_unique<QtPrinters>(printers_ ? printers_->pdfDir() : std::string());
  }
  std::unique_ptr<PrintDevice> makePrintDeviceFor(Printers& printers) override {
    auto* qt = dynamic_cast<QtPrinters*>(&printers);
    if (!qt) return nullptr;
    return std::make_unique<QtPrintDevice>(*qt, fallbackFont_, log_);
  }
  Clipboard* clipboard() override { return &clipboard_; }
  UrlOpener* urlOpener() override { return &urlOpener_; }
  FtpClient* ftp() override { return &ftp_; }
  Spreadsheet* spreadsheet() override { return spreadsheet_.get(); }
  HttpClient* http() override { return &http_; }
  ProcessRunner* processes() override { return &processes_; }
  ArchiveUnpacker* unpacker() override { return &unpacker_; }
  FileTimes* fileTimes() override { return &fileTimes_; }

  std::unique_ptr<InstanceGuard> claimInstance(const std::string& key) override {
    auto lock = std::make_unique<InstanceLock>(key);
    if (!lock->acquired()) return nullptr;
    return std::make_unique<Held<InstanceLock>>(std::move(lock));
  }
  std::unique_ptr<InstanceGuard> lockFile(const std::string& path, bool* held) override {
    auto lock = std::make_unique<FileLock>(path);
    *held = lock->made() && !lock->acquired();
    if (!lock->made() || !lock->acquired()) return nullptr;
    return std::make_unique<Held<FileLock>>(std::move(lock));
  }
  std::string hostName() override { return posixHostName(); }
  bool processRunning(long pid) override { return pid == ::getpid() || posixProcessRunning(pid); }
  std::string realPath(const std::string& path) override { return posixRealPath(path); }

 private:
  PosixFileSystem fs_;
  PosixClock clock_;
  PosixLocale locale_;
  QtFonts fonts_;
  NoShellHousekeeping shell_;
  std::unique_ptr<QtPrinters> printers_;
  std::string fallbackFont_;
  std::function<void(const std::string&)> log_;
  QtClipboard clipboard_;
  QtUrlOpener urlOpener_;
  CurlFtpClient ftp_;
  std::unique_ptr<UnoSpreadsheet> spreadsheet_;
  CurlHttpClient http_;
  PosixProcessRunner processes_;
  LibarchiveUnpacker unpacker_;
  PosixFileTimes fileTimes_;
};

}  // namespace

std::unique_ptr<Platform> makePlatform() {
  return std::make_unique<LinuxPlatform>();
}

}  // namespace marvena
