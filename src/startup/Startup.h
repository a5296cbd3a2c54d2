// The start-up sequence: settings, printers, margins, the spool directory,
// font checks and the export settings, in the tool's fixed order.
#pragma once

#include <functional>
#include <string>

#include "settings/PrintSettings.h"
#include "settings/SettingsStore.h"
#include "text/Paths.h"

namespace marvena {

class FileSystem;
class Fonts;
class JobStatus;
class MessageSink;
class Printers;
class ProfileFile;
class Shell;

// The major version from a version text such as "11.0"; 9 counts as 8 on
// the old Windows family.
int wordVersionFromText(const std::string& text, bool nonNtWindows);

struct StartupEnvironment {
  FileSystem& fs;
  Printers& printers;
  Fonts& fonts;
  MessageSink& messages;
  JobStatus& status;
  Shell& shell;
  std::string driveRoot;
  OpenOptionsDialog openOptions;
  // The word processor's version text; empty when none answers.
  std::function<std::string()> wordVersionText;
};

struct StartupResult {
  std::string spoolPath;  // as configured
  std::string spoolDir;   // on this machine
  PrintSettings printSettings;
  ExportSettings exportSettings;
  std::string exportDir;  // on this machine; empty unless the export is enabled
  bool ftpExportEnabled = false;
  int wordVersion = 0;
  bool havePrinter = false;
  bool timerEnabled = false;  // false only when the spool directory cannot be made
};

StartupResult runStartup(ProfileFile* settings, StartupEnvironment& env);

}  // namespace marvena
