// The job kinds in their fixed dispatch order, and what each is built from.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "settings/PrintSettings.h"
#include "settings/PrintSettingsOwner.h"
#include "settings/SettingsStore.h"

namespace marvena {

class Clipboard;
class Clock;
class Dispatcher;
class FileSystem;
class FtpClient;
class JobStatus;
class Locale;
class MessageSink;
class PrintDevice;
class Printers;
class ProfileFile;
class Spreadsheet;
class UrlOpener;

// Everything a job may need from the outside world, as interfaces.
struct JobServices {
  FileSystem& fs;
  Clock& clock;
  Locale& locale;
  MessageSink& messages;
  JobStatus& status;
  ProfileFile& settings;
  PrintSettingsOwner& printSettings;
  Printers& printers;
  std::function<std::unique_ptr<PrintDevice>()> makePrintDevice;
  std::string spoolDir;
  ExportSettings exportSettings;
  std::string exportDir;  // empty when the upload job is off
  int wordVersion = 0;
  // The DOS drive root: where DOS paths in jobs (a picture file, say) lead.
  std::string driveRoot;
  Clipboard* clipboard = nullptr;  // the *.CLB job
  UrlOpener* urlOpener = nullptr;  // the *.www job
  FtpClient* ftp = nullptr;        // the *.FTP job
  // Whether a printer can be used now; the text print job waits while not.
  std::function<bool()> printerAvailable;
  Spreadsheet* spreadsheet = nullptr;  // the *.IST job
};

// Adds the handlers to the dispatcher in the fixed order; the upload job
// only when the export settings are complete.
void registerJobHandlers(Dispatcher& dispatcher, JobServices& services);

}  // namespace marvena
