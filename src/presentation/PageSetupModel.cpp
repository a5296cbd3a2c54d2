#include "presentation/PageSetupModel.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "text/PlatformHelpers.h"

namespace marvena {

const std::vector<PageSetupCaption>& pageSetupCaptions() {
  static const std::vector<PageSetupCaption> table{
      {"paperGroup", "Popierius"},     {"paperSize", "Dydis"},
      {"paperSource", "Saltinis"},     {"orientationGroup", "Orientacija"},
      {"portrait", "&Staciai"},        {"landscape", "&Gulsciai"},
      {"marginsGroup", "Tarpas (mm)"}, {"left", "&Kaireje"},
      {"right", "&Desineje"},          {"top", "&Virsuje"},
      {"bottom", "&Apacioje"},         {"printer", "&Printeris"},
  };
  return table;
}

const std::vector<PageSetupCaption>& printerDialogCaptions() {
  static const std::vector<PageSetupCaption> table{
      {"group", "Printeris"},     {"name", "&Vardas:"}, {"status", "Buvis:"},
      {"type", "Rusis:"},         {"where", "Kur:"},    {"comment", "Pastabos:"},
      {"properties", "&Savybes"},
  };
  return table;
}

std::string pageSetupTitle(const std::string& printerName) {
  const std::size_t on = printerName.find(" on ");
  return "Spausdintuvo " + (on == std::string::npos ? printerName : printerName.substr(0, on)) +
         " parametrai";
}

int readPaperField(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const std::size_t digits = i;
  long long value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    if (value < 1000000000) value = value * 10 + (text[i] - '0');
    ++i;
  }
  // A whole number keeps its sign; otherwise only the leading digits count.
  if (i == text.size() && i > digits && negative) return static_cast<int>(-value);
  return static_cast<int>(value);
}

bool isUserPaper(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find("USER") != std::string::npos || upper.find("CUSTOM") != std::string::npos;
}

PageSetupModel::PageSetupModel(Printers& printers, bool withPaperFields)
    : printers_(printers), withPaperFields_(withPaperFields) {
  printerNames_ = printers_.names();
  printerIndex_ = printers_.currentIndex();
  printerName_ = printers_.currentName();
  startCode_ = printers_.paperSize();
  startLengthTenths_ = printers_.paperLength();
  startWidthTenths_ = printers_.paperWidth();
  orientation = printers_.orientation();
  loadPrinter();
  paperIndex_ = -1;
  for (std::size_t i = 0; i < papers_.size(); ++i) {
    const bool match = startCode_ == 256 ? isUserPaper(papers_[i].name) ||
                                               (papers_[i].code == 256 &&
                                                papers_[i].widthTenthMm == startWidthTenths_ &&
                                                papers_[i].lengthTenthMm == startLengthTenths_)
                                         : papers_[i].code == startCode_;
    if (match) {
      paperIndex_ = static_cast<int>(i);
      break;
    }
  }
}

void PageSetupModel::loadPrinter() {
  // The printer object serves the query and is left as it was: the window
  // changes it only on OK.
  const int was = printers_.currentIndex();
  papers_.clear();
  minimum_ = {};
  if (printerIndex_ >= 0 && printers_.select(printerIndex_)) {
    papers_ = printers_.paperList();
    if (const auto m = printerMinMargins(printers_))
      minimum_ = {static_cast<int>(m->left) * 100, static_cast<int>(m->top) * 100,
                  static_cast<int>(m->right) * 100, static_cast<int>(m->bottom) * 100};
  }
  if (was != printers_.currentIndex() && was >= 0) printers_.select(was);
}

bool PageSetupModel::printerButton() {
  bool show = true;
  if (onPrinter) onPrinter(show);
  return show;
}

bool PageSetupModel::choosePrinter(int index) {
  printerNames_ = printers_.names();
  if (index < 0 || index >= static_cast<int>(printerNames_.size())) return false;
  const int was = printers_.currentIndex();
  if (!printers_.select(index)) return false;
  if (was >= 0 && was != index) printers_.select(was);
  const std::string paperName =
      paperIndex_ >= 0 ? papers_[static_cast<std::size_t>(paperIndex_)].name : std::string();
  const int paperCode =
      paperIndex_ >= 0 ? papers_[static_cast<std::size_t>(paperIndex_)].code : startCode_;
  printerIndex_ = index;
  printerName_ = printerNames_[static_cast<std::size_t>(index)];
  loadPrinter();
  // The paper of the same name on the new printer fills the fields; without
  // one the fields keep their values and the paper of the same code is shown.
  paperIndex_ = -1;
  for (std::size_t i = 0; i < papers_.size(); ++i)
    if (papers_[i].name == paperName) {
      choosePaper(static_cast<int>(i));
      return true;
    }
  for (std::size_t i = 0; i < papers_.size() && paperIndex_ < 0; ++i)
    if (papers_[i].code == paperCode) paperIndex_ = static_cast<int>(i);
  if (paperIndex_ < 0 && !papers_.empty()) paperIndex_ = 0;
  return true;
}

void PageSetupModel::choosePaper(int index) {
  if (index < 0 || index >= static_cast<int>(papers_.size())) return;
  paperIndex_ = index;
  const PaperInfo& p = papers_[static_cast<std::size_t>(index)];
  if (p.widthTenthMm <= 0 || p.lengthTenthMm <= 0) return;
  widthText = std::to_string(static_cast<int>(std::nearbyint(p.widthTenthMm / 10.0)));
  lengthText = std::to_string(static_cast<int>(std::nearbyint(p.lengthTenthMm / 10.0)));
}

bool PageSetupModel::paperFieldsEnabled() const {
  return withPaperFields_ && paperIndex_ >= 0 &&
         isUserPaper(papers_[static_cast<std::size_t>(paperIndex_)].name);
}

void PageSetupModel::paperTenths(int* width, int* length) const {
  if (paperFieldsEnabled()) {
    *width = readPaperField(widthText) * 10;
    *length = readPaperField(lengthText) * 10;
    return;
  }
  if (paperIndex_ >= 0) {
    const PaperInfo& p = papers_[static_cast<std::size_t>(paperIndex_)];
    *width = p.widthTenthMm;
    *length = p.lengthTenthMm;
    return;
  }
  // A driver without a paper list: the paper the printer had.
  *width = startWidthTenths_;
  *length = startLengthTenths_;
}

int PageSetupModel::pageWidth() const {
  int w = 0, l = 0;
  paperTenths(&w, &l);
  return (orientation == Orientation::Portrait ? w : l) * 10;
}

int PageSetupModel::pageHeight() const {
  int w = 0, l = 0;
  paperTenths(&w, &l);
  return (orientation == Orientation::Portrait ? l : w) * 10;
}

std::string PageSetupModel::check() const {
  if (printerIndex_ < 0) return "N\u0117ra pasirinkto spausdintuvo.";
  if (paperFieldsEnabled()) {
    const int w = readPaperField(widthText), l = readPaperField(lengthText);
    if (w < 1 || w > kMaxPaperMm || l < 1 || l > kMaxPaperMm)
      return "Lapo plotis ir ilgis turi b\u016Bti nuo 1 iki 999 mm.";
  }
  const MarginRect& m = margins;
  if (m.left < 0 || m.top < 0 || m.right < 0 || m.bottom < 0)
    return "Para\u0161t\u0117s negali b\u016Bti neigiamos.";
  const int width = pageWidth(), height = pageHeight();
  if (width > 0 && height > 0 &&
      (static_cast<long long>(m.left) + m.right >= width ||
       static_cast<long long>(m.top) + m.bottom >= height))
    return "Para\u0161t\u0117s netelpa lape: jos didesn\u0117s u\u017E popieriaus lap\u0105.";
  return {};
}

std::string PageSetupModel::accept() {
  if (std::string error = check(); !error.empty()) return error;
  if (!printers_.select(printerIndex_))
    return "Spausdintuvas \u201E" + printerName_ + "\u201C nebepasiekiamas.";
  int w = 0, l = 0;
  paperTenths(&w, &l);
  paperCode_ = paperIndex_ >= 0 ? papers_[static_cast<std::size_t>(paperIndex_)].code : startCode_;
  if (paperFieldsEnabled()) paperCode_ = 256;
  printers_.setPaperSize(paperCode_);
  if (paperCode_ == 256 && w > 0 && l > 0) printers_.setPaperDimensions(l, w);
  printers_.setOrientation(orientation);
  fieldWidth_ = readPaperField(widthText);
  fieldLength_ = readPaperField(lengthText);
  return {};
}

void PageSetupModel::cancel() {
  margins = given_;
  fieldWidth_ = readPaperField(widthText);
  fieldLength_ = readPaperField(lengthText);
}

}  // namespace marvena
