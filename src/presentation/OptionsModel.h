// The options window: printer, paper, margins and font for the text print
// jobs, and a table of what fits on a page. The window works on a copy of
// the running print settings and on a printer object of its own; every
// change it makes reaches the jobs as values (SettingsChange), applied
// between jobs. Only "Parametrai" confirmed writes MARVENA.INI.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Printers.h"
#include "presentation/PageSetupModel.h"
#include "settings/PrintSettings.h"

namespace marvena {

class PrintDevice;
class ProfileFile;

inline constexpr const char* kOptionsCaption = "Marvena Spool Parametrai";
inline constexpr const char* kPrinterPageCaption = "Spausdintuvas";
inline constexpr const char* kInformationPageCaption = "Informacija";
inline constexpr const char* kParametersCaption = "Parametrai";
inline constexpr const char* kFontButtonCaption = "Sriftas";
inline constexpr const char* kFontBoxCaption = "\u0160riftas";
inline constexpr const char* kFontTableHeader = "Dydis  Simboli\u0173  Eilu\u010Di\u0173";
inline constexpr int kSmallestFontSize = 5, kLargestFontSize = 14;

// Nearest integer, ties to the even neighbour.
int roundEven(double value);
// The last `width` decimal digits, zero-padded, each leading zero a blank.
std::string columnNumber(long long value, int width);
// A row of the font table: size (2), 11 blanks, characters (3), 10 blanks, lines (3).
std::string fontTableRow(int size, int chars, int lines);

// The numbers of the information page, in whole millimetres.
struct InformationPage {
  int pageWidth = 0, pageHeight = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  int printableWidth = 0, printableHeight = 0;
  std::string fontName;
  std::vector<std::string> rows;  // sizes 5 to 14
};

// What an action of the window changed in the running print settings.
struct SettingsChange {
  bool printer = false;  // the printer with its paper and orientation
  int printerIndex = -1;
  std::string printerName;
  Orientation orientation = Orientation::Portrait;
  int paperSize = 9, paperLength = 297, paperWidth = 210;
  bool margins = false;
  float top = 0, bottom = 0, left = 0, right = 0;
  bool font = false;
  std::string fontName;
  int fontSize = 9;
  unsigned fontStyle = 0;
};

// Applies a change to the jobs' settings and printer object; runs between
// jobs. The printer is found by name first (the list may have changed
// since the window read it). False when the printer is gone or cannot be
// selected: the jobs keep theirs, the rest of the change still applies.
bool applySettingsChange(const SettingsChange& change, PrintSettings& ps, Printers& jobPrinters);

struct FontChoice {
  std::string name;
  int size = 9;
  unsigned style = 0;
};

// The printer-setup choice: a printer with its paper and orientation.
struct PrinterChoice {
  int index = -1;
  int paperCode = 9;
  Orientation orientation = Orientation::Portrait;
};

class OptionsModel {
 public:
  struct Services {
    Printers& printers;     // the window's own printer object
    PrintDevice& device;    // measures on `printers`
    ProfileFile* settings;  // null: nothing is read or written
    std::function<void(const SettingsChange&)> publish;
    std::function<void(const std::string&)> tell;  // a message box
    bool* storeFailureTold = nullptr;              // the user hears it once per run
  };
  OptionsModel(Services services, const PrintSettings& running);

  const PrintSettings& settings() const { return ps_; }

  // "Parametrai": the page-setup window, filled in.
  std::unique_ptr<PageSetupModel> beginParameters();
  // After the window accepted: takes its values, stores, publishes.
  void finishParameters(const PageSetupModel& window);
  // After Cancel: nothing is stored; what opening the window read stays.
  void cancelParameters();

  // The page-setup button: margins, paper and orientation, not stored.
  std::unique_ptr<PageSetupModel> beginPageSetup();
  void finishPageSetup(const PageSetupModel& window);

  // The printer-setup button.
  std::vector<std::string> printerNames() { return printers_.names(); }
  std::vector<PaperInfo> papersOf(int index);
  PrinterChoice currentPrinter();
  // False (with a message) when the printer cannot be selected any more.
  bool choosePrinter(const PrinterChoice& choice);

  // "Sriftas": lives until the tool ends, never stored.
  FontChoice font() const { return {ps_.fontName, ps_.fontSize, ps_.fontStyle}; }
  void setFont(const FontChoice& font);

  // The information page; nullopt when the printer cannot be measured (the
  // page keeps what it showed).
  std::optional<InformationPage> information();

 private:
  void paperPatch();
  void clampMargins();
  SettingsChange printerChange() const;
  void publishMargins(SettingsChange change) const;
  bool store();

  Services s_;
  Printers& printers_;
  PrintSettings ps_;
};

}  // namespace marvena
