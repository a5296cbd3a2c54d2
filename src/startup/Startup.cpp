#include "startup/Startup.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/MessageSink.h"
#include "platform/Printers.h"
#include "platform/Shell.h"
#include "settings/ProfileFile.h"
#include "spool/JobStatus.h"
#include "text/Ascii.h"
#include "text/PlatformHelpers.h"

namespace marvena {

int wordVersionFromText(const std::string& text, bool nonNtWindows) {
  const std::string major = text.substr(0, text.find('.'));
  if (major.empty() || major.size() > 3) return 0;
  int v = 0;
  for (char c : major) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  if (v > 255) return 0;
  if (nonNtWindows && v == 9) v = 8;
  return v;
}

StartupResult runStartup(ProfileFile* settings, StartupEnvironment& env) {
  StartupResult r;
  PrintSettings& ps = r.printSettings;
  env.shell.removeOrphanTrayIcons();

  const bool havePrinter = !env.printers.names().empty();
  if (!havePrinter) {
    env.messages.showMessage("Nera nei vieno printerio");
    env.status.forceDisabled();
  }

  const SpoolAndPrinter sp = loadSpoolAndPrinter(settings, env.printers, env.openOptions);
  r.spoolPath = sp.spoolPath;

  if (havePrinter) ps.orientation = env.printers.orientation();
  ps.fontName = "MARVENA";
  ps.fontSize = 9;
  ps.fontStyle = 0;

  loadPaperAndMargins(settings, ps);
  if (env.status.state() != DispatchState::Disabled)
    clampMarginsToPrinter(env.printers, ps.topMargin, ps.bottomMargin, ps.leftMargin,
                          ps.rightMargin);
  ps.splitterMargin = 0;
  ps.copies1 = 1;
  ps.copies2 = 1;

  r.spoolDir = mapDosPath(r.spoolPath, env.driveRoot);
  std::string error;
  const bool exists = env.fs.stat(r.spoolDir).has_value();
  bool ok = exists ? env.fs.isDirectory(r.spoolDir) : env.fs.makeDirectories(r.spoolDir, &error);
  if (!ok) {
    env.messages.showMessage("Nepavyko sukurti katalogo " + r.spoolPath + "\\");
    env.status.forceDisabled();
    env.messages.showMessage("Failed To Create \"" + r.spoolPath + "\" !");
    env.messages.log("cannot create the spool directory " + r.spoolDir +
                     (error.empty() ? "" : ": " + error) + "; no job will be processed");
  }

  if (havePrinter) {
    bool found = false;
    for (const std::string& face : env.printers.fontFaces()) {
      if (equalsIgnoringCase(face, "MARVENA")) {
        found = true;
        break;
      }
    }
    if (!found) {
      const std::string name = env.printers.currentIndex() >= 0 ? env.printers.currentName() : "";
      env.messages.showMessage((name.empty() ? "" : name + ": ") +
                               "\xC5\xA0riftas MARVENA.TTF nerastas");
    }
  }

  const std::vector<std::string> charsets = enumFontCharsets(env.fonts, "Courier Marvena");
  ps.balticCharset =
      std::find(charsets.begin(), charsets.end(), "BALTIC_CHARSET") != charsets.end();
  if (!ps.balticCharset) env.messages.showMessage("Nera BALTIC_CHARSET");

  // Without a printer the tray shows the tool disabled, but only the text
  // print job waits for one: declarations, spreadsheets and the rest run.
  r.havePrinter = havePrinter;
  r.timerEnabled = ok;
  env.shell.localizeSystemMenu();

  r.wordVersion = env.wordVersionText ? wordVersionFromText(env.wordVersionText(), false) : 0;

  r.exportSettings = readExportSettings(settings);
  r.ftpExportEnabled = r.exportSettings.enabled();
  if (r.ftpExportEnabled) r.exportDir = mapDosPath(r.exportSettings.path, env.driveRoot);
  return r;
}

}  // namespace marvena
