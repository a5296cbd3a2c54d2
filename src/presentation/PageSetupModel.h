// The page-setup window: printer, paper, orientation and margins, with two
// fields for a paper width and length in millimetres that only user-defined
// papers may change. It works on the options window's own printer object:
// nothing reaches that object before OK, and Cancel gives back the margins
// it was opened with.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Printers.h"

namespace marvena {

// A margin rectangle in hundredths of a millimetre.
struct MarginRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const MarginRect&) const = default;
};

// The fixed texts of the window.
struct PageSetupCaption {
  const char* role;
  const char* text;
};
// Paper group, size label, source label, orientation group, the two
// orientations, margins group, the four margin labels, printer button.
const std::vector<PageSetupCaption>& pageSetupCaptions();
// The printer chooser's labels, button and Cancel.
const std::vector<PageSetupCaption>& printerDialogCaptions();
inline constexpr const char* kPaperGroupCaption = "Lapo dydis (mm) ";
inline constexpr const char* kCancelCaption = "Grizti";
inline constexpr const char* kHelpCaption = "&Info";
inline constexpr const char* kOkCaption = "&Ok";

// "Spausdintuvo %s parametrai" with the printer's name cut before " on ".
std::string pageSetupTitle(const std::string& printerName);
// A paper field as the window reads it: a number (sign and leading blanks
// allowed) as it is, empty as 0, other text as the digits before the first
// character that does not belong to a number, without a sign.
int readPaperField(std::string_view text);
// Whether a paper name stands for a size the user gives ("USER", "CUSTOM").
bool isUserPaper(const std::string& name);

// Largest paper side the two fields can hold (three digits).
inline constexpr int kMaxPaperMm = 999;

class PageSetupModel {
 public:
  // `printers` is selected on the printer to start with; its paper code,
  // user size and orientation are what the window starts with.
  // `withPaperFields` false: the plain page setup, without the two fields.
  PageSetupModel(Printers& printers, bool withPaperFields);

  bool withPaperFields() const { return withPaperFields_; }
  std::string title() const { return pageSetupTitle(printerName_); }

  // Printers.
  const std::vector<std::string>& printerNames() const { return printerNames_; }
  int printerIndex() const { return printerIndex_; }
  const std::string& printerName() const { return printerName_; }
  // The printer button: true unless `onPrinter` vetoes the chooser.
  bool printerButton();
  std::function<void(bool& showPrinters)> onPrinter;
  // Another printer: the title and the paper list follow it, and the paper
  // fields take the size its driver gives the paper of the same name. False
  // (nothing changes) when the printer can no longer be selected.
  bool choosePrinter(int index);

  // Papers of the chosen printer, in the driver's order.
  const std::vector<PaperInfo>& papers() const { return papers_; }
  int paperIndex() const { return paperIndex_; }  // -1: none of the list
  // Fills the fields with the paper's size as its driver reports it.
  void choosePaper(int index);
  bool paperFieldsEnabled() const;

  std::string widthText, lengthText;  // the fields "Plotis" and "Ilgis"
  Orientation orientation = Orientation::Portrait;

  // Hundredths of a millimetre.
  MarginRect margins;
  MarginRect minimumMargins() const { return minimum_; }
  // Paper width and height as the page lies (orientation applied).
  int pageWidth() const;
  int pageHeight() const;

  // Empty when the choices can be taken; else the message for the user.
  std::string check() const;
  // OK: on a clean check the chosen printer, paper and orientation are
  // applied to the printer object and the fields are read; else the
  // message, and nothing changed.
  std::string accept();
  // Cancel: the margins go back to what they were when the run started.
  void cancel();
  // Marks the start of a run: what Cancel returns to.
  void begin() { given_ = margins; }

  // After accept(): the paper code and the two field values in mm.
  int paperCode() const { return paperCode_; }
  int paperWidthMm() const { return fieldWidth_; }
  int paperLengthMm() const { return fieldLength_; }

 private:
  void loadPrinter();
  // Portrait size of the chosen paper in tenths of a millimetre, from the
  // driver's list, or the fields for a user paper.
  void paperTenths(int* width, int* length) const;

  Printers& printers_;
  bool withPaperFields_;
  std::vector<std::string> printerNames_;
  int printerIndex_ = -1;
  std::string printerName_;
  std::vector<PaperInfo> papers_;
  int paperIndex_ = -1;
  int startCode_ = 9, startLengthTenths_ = 2970, startWidthTenths_ = 2100;
  MarginRect minimum_;
  MarginRect given_;
  int paperCode_ = 9, fieldWidth_ = 0, fieldLength_ = 0;
};

}  // namespace marvena
