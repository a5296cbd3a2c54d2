// What the tool keeps in MARVENA.INI and the operations that rewrite the
// printer keys: the fix-up at start, restore defaults, store after page setup.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "settings/PrintSettings.h"

namespace marvena {

class ProfileFile;
class Printers;

inline constexpr const char* kDefaultSpoolPath = "\\MARVENA\\SPOOL";

// Opens the options dialog on its printer page (the GUI), or says so (headless).
using OpenOptionsDialog = std::function<void(const std::string& reason)>;

// Load steps 1 to 7 at start. `settings` may be null (no settings file):
// then nothing is read or written and the defaults apply.
struct SpoolAndPrinter {
  std::string spoolPath = kDefaultSpoolPath;
};
SpoolAndPrinter loadSpoolAndPrinter(ProfileFile* settings, Printers& printers,
                                    const OpenOptionsDialog& openOptions);

// After the load: why the options window should open (no printer chosen
// yet, or PrinterInUse naming another printer than the selected one), or
// empty. The same conditions as the load's own.
std::string optionsWantedAtStart(ProfileFile* settings, Printers& printers);

// Load step 8: paper and margins into `ps`.
void loadPaperAndMargins(ProfileFile* settings, PrintSettings& ps);

// Replaces the Printer0..Printer99 keys with the current printer list.
void writePrinterList(ProfileFile& settings, Printers& printers);

// The "Restauruoti" command.
void restorePrintDefaults(ProfileFile* settings, Printers& printers, PrintSettings& ps);

// Writes what the page-setup action of the options dialog changed, in the
// fixed key order. The first write that fails ends it: false, *error set.
bool storeAfterPageSetup(ProfileFile& settings, Printers& printers, const PrintSettings& ps,
                         std::string* error = nullptr);

// [FR0572] PSD: one decimal or two joined by "/".
std::pair<double, double> parsePsd(const std::string& text);
std::pair<double, double> readPsd(ProfileFile* settings);

// [ESSVE]: the export directory and FTP account; each read only when the one before is set.
struct ExportSettings {
  std::string path, ftp, user, password;
  bool enabled() const {
    return !path.empty() && !ftp.empty() && !user.empty() && !password.empty();
  }
};
ExportSettings readExportSettings(ProfileFile* settings);

}  // namespace marvena
