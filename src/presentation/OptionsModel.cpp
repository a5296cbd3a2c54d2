#include "presentation/OptionsModel.h"

#include <cmath>
#include <exception>

#include "printing/PrintObject.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsStore.h"
#include "text/PlatformHelpers.h"

namespace marvena {

int roundEven(double value) {
  return static_cast<int>(std::nearbyint(value));  // the default mode rounds ties to even
}

std::string columnNumber(long long value, int width) {
  std::string digits(static_cast<std::size_t>(width), '0');
  unsigned long long v = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                   : static_cast<unsigned long long>(value);
  for (int i = width - 1; i >= 0; --i, v /= 10)
    digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
  for (std::size_t i = 0; i < digits.size() && digits[i] == '0'; ++i) digits[i] = ' ';
  return digits;
}

std::string fontTableRow(int size, int chars, int lines) {
  return columnNumber(size, 2) + std::string(11, ' ') + columnNumber(chars, 3) +
         std::string(10, ' ') + columnNumber(lines, 3);
}

bool applySettingsChange(const SettingsChange& change, PrintSettings& ps, Printers& jobPrinters) {
  bool printerApplied = true;
  if (change.printer) {
    const std::vector<std::string> names = jobPrinters.names();
    int index = -1;
    if (change.printerIndex >= 0 && change.printerIndex < static_cast<int>(names.size()) &&
        names[static_cast<std::size_t>(change.printerIndex)] == change.printerName)
      index = change.printerIndex;
    for (std::size_t i = 0; i < names.size() && index < 0; ++i)
      if (names[i] == change.printerName) index = static_cast<int>(i);
    printerApplied =
        index >= 0 && (jobPrinters.currentIndex() == index || jobPrinters.select(index));
    if (printerApplied) {
      ps.printerIndex = index;
      ps.orientation = change.orientation;
      ps.paperSize = change.paperSize;
      ps.paperLength = change.paperLength;
      ps.paperWidth = change.paperWidth;
      jobPrinters.setOrientation(change.orientation);
      jobPrinters.setPaperSize(change.paperSize);
    }
  }
  if (change.margins) {
    ps.topMargin = change.top;
    ps.bottomMargin = change.bottom;
    ps.leftMargin = change.left;
    ps.rightMargin = change.right;
  }
  // A job raises the margins when it selects another printer itself; here
  // the printer was selected for it.
  if (change.printer && printerApplied)
    clampMarginsToPrinter(jobPrinters, ps.topMargin, ps.bottomMargin, ps.leftMargin,
                          ps.rightMargin);
  if (change.font) {
    ps.fontName = change.fontName;
    ps.fontSize = change.fontSize;
    ps.fontStyle = change.fontStyle;
  }
  return printerApplied;
}

OptionsModel::OptionsModel(Services services, const PrintSettings& running)
    : s_(std::move(services)), printers_(s_.printers), ps_(running) {
  if (!printers_.select(ps_.printerIndex)) printers_.select(-1);
  printers_.setOrientation(ps_.orientation);
  paperPatch();
}

void OptionsModel::paperPatch() {
  if (printers_.currentIndex() < 0) return;
  printers_.setPaperSize(ps_.paperSize);
  if (ps_.paperSize == 256) printers_.setPaperDimensions(ps_.paperLength * 10, ps_.paperWidth * 10);
}

void OptionsModel::clampMargins() {
  clampMarginsToPrinter(printers_, ps_.topMargin, ps_.bottomMargin, ps_.leftMargin,
                        ps_.rightMargin);
}

SettingsChange OptionsModel::printerChange() const {
  SettingsChange c;
  c.printer = printers_.currentIndex() >= 0;
  c.printerIndex = printers_.currentIndex();
  c.printerName = printers_.currentName();
  c.orientation = ps_.orientation;
  c.paperSize = ps_.paperSize;
  c.paperLength = ps_.paperLength;
  c.paperWidth = ps_.paperWidth;
  return c;
}

void OptionsModel::publishMargins(SettingsChange change) const {
  change.margins = true;
  change.top = ps_.topMargin;
  change.bottom = ps_.bottomMargin;
  change.left = ps_.leftMargin;
  change.right = ps_.rightMargin;
  if (s_.publish) s_.publish(change);
}

std::unique_ptr<PageSetupModel> OptionsModel::beginParameters() {
  paperPatch();
  if (ps_.paperSize != 256) {
    PrinterMetrics m;
    if (printers_.metrics(&m) && m.dpiX > 0 && m.dpiY > 0) {
      ps_.paperWidth = roundEven(static_cast<double>(m.physicalWidth) / m.dpiX * 25.4);
      ps_.paperLength = roundEven(static_cast<double>(m.physicalHeight) / m.dpiY * 25.4);
    }
  }
  if (s_.settings) {
    ps_.topMargin =
        static_cast<float>(s_.settings->readDecimal("Spool", "mmTopMargin", ps_.topMargin));
    ps_.bottomMargin =
        static_cast<float>(s_.settings->readDecimal("Spool", "mmBottomMargin", ps_.bottomMargin));
    ps_.leftMargin =
        static_cast<float>(s_.settings->readDecimal("Spool", "mmLeftMargin", ps_.leftMargin));
    ps_.rightMargin =
        static_cast<float>(s_.settings->readDecimal("Spool", "mmRightMargin", ps_.rightMargin));
  }
  clampMargins();
  auto window = std::make_unique<PageSetupModel>(printers_, true);
  window->lengthText = std::to_string(ps_.paperLength);
  window->widthText = std::to_string(ps_.paperWidth);
  // Only whole millimetres reach the window.
  window->margins = {roundEven(ps_.leftMargin) * 100, roundEven(ps_.topMargin) * 100,
                     roundEven(ps_.rightMargin) * 100, roundEven(ps_.bottomMargin) * 100};
  window->begin();
  return window;
}

void OptionsModel::finishParameters(const PageSetupModel& window) {
  ps_.paperSize = printers_.paperSize();
  if (ps_.paperSize == 256) printers_.setPaperDimensions(ps_.paperLength * 10, ps_.paperWidth * 10);
  ps_.paperLength = window.paperLengthMm();
  ps_.paperWidth = window.paperWidthMm();
  ps_.topMargin = static_cast<float>(window.margins.top / 100.0);
  ps_.bottomMargin = static_cast<float>(window.margins.bottom / 100.0);
  ps_.leftMargin = static_cast<float>(window.margins.left / 100.0);
  ps_.rightMargin = static_cast<float>(window.margins.right / 100.0);
  clampMargins();
  ps_.orientation = printers_.orientation();
  store();
  publishMargins(printerChange());
}

void OptionsModel::cancelParameters() {
  // The paper size read from the printer and the stored margins stay in force.
  publishMargins(printerChange());
}

bool OptionsModel::store() {
  if (!s_.settings) return true;
  std::string error;
  if (storeAfterPageSetup(*s_.settings, printers_, ps_, &error)) return true;
  if (s_.storeFailureTold && *s_.storeFailureTold) return false;
  if (s_.storeFailureTold) *s_.storeFailureTold = true;
  if (s_.tell)
    s_.tell("Nepavyko \u012Fra\u0161yti parametr\u0173 \u012F " + s_.settings->path() + " (" +
            error + "). Jie galioja, kol programa veikia.");
  return false;
}

std::unique_ptr<PageSetupModel> OptionsModel::beginPageSetup() {
  paperPatch();
  auto window = std::make_unique<PageSetupModel>(printers_, false);
  window->widthText = std::to_string(ps_.paperWidth);
  window->lengthText = std::to_string(ps_.paperLength);
  window->margins = {roundEven(ps_.leftMargin) * 100, roundEven(ps_.topMargin) * 100,
                     roundEven(ps_.rightMargin) * 100, roundEven(ps_.bottomMargin) * 100};
  window->begin();
  return window;
}

void OptionsModel::finishPageSetup(const PageSetupModel& window) {
  ps_.topMargin = static_cast<float>(window.margins.top / 100.0);
  ps_.bottomMargin = static_cast<float>(window.margins.bottom / 100.0);
  ps_.leftMargin = static_cast<float>(window.margins.left / 100.0);
  ps_.rightMargin = static_cast<float>(window.margins.right / 100.0);
  if (printers_.currentIndex() >= 0) {
    ps_.paperSize = printers_.paperSize();
    ps_.orientation = printers_.orientation();
    // A driver paper without a Windows code travels as a user size.
    if (ps_.paperSize == 256) {
      ps_.paperLength = roundEven(printers_.paperLength() / 10.0);
      ps_.paperWidth = roundEven(printers_.paperWidth() / 10.0);
    }
  }
  publishMargins(printerChange());
}

std::vector<PaperInfo> OptionsModel::papersOf(int index) {
  const int was = printers_.currentIndex();
  std::vector<PaperInfo> out;
  if (printers_.select(index)) out = printers_.paperList();
  if (was >= 0 && was != printers_.currentIndex()) printers_.select(was);
  return out;
}

PrinterChoice OptionsModel::currentPrinter() {
  return {printers_.currentIndex(), ps_.paperSize, ps_.orientation};
}

bool OptionsModel::choosePrinter(const PrinterChoice& choice) {
  const std::vector<std::string> names = printers_.names();
  if (!printers_.select(choice.index)) {
    if (s_.tell)
      s_.tell(choice.index >= 0 && choice.index < static_cast<int>(names.size())
                  ? "Spausdintuvas \u201E" + names[static_cast<std::size_t>(choice.index)] +
                        "\u201C nebepasiekiamas."
                  : std::string("Spausdintuvas nebepasiekiamas."));
    return false;
  }
  ps_.printerIndex = printers_.currentIndex();
  ps_.paperSize = choice.paperCode;
  ps_.orientation = choice.orientation;
  if (choice.paperCode == 256) {
    for (const PaperInfo& p : printers_.paperList())
      if (p.code == 256 && !isUserPaper(p.name) && p.widthTenthMm > 0 && p.lengthTenthMm > 0) {
        ps_.paperWidth = roundEven(p.widthTenthMm / 10.0);
        ps_.paperLength = roundEven(p.lengthTenthMm / 10.0);
        break;
      }
  }
  printers_.setOrientation(ps_.orientation);
  paperPatch();
  if (s_.publish) s_.publish(printerChange());
  return true;
}

void OptionsModel::setFont(const FontChoice& font) {
  ps_.fontName = font.name;
  ps_.fontSize = font.size;
  ps_.fontStyle = font.style;
  SettingsChange c;
  c.font = true;
  c.fontName = font.name;
  c.fontSize = font.size;
  c.fontStyle = font.style;
  if (s_.publish) s_.publish(c);
}

std::optional<InformationPage> OptionsModel::information() {
  paperPatch();
  printers_.setOrientation(ps_.orientation);
  InformationPage page;
  try {
    // The same calls in the same order as a text job, so the table cannot
    // disagree with a printout: the font first (it reads the printer's
    // geometry), then the margins, each size measured as the job would.
    PrintObject po(s_.device);
    po.setFont(ps_.fontName, ps_.fontSize, 0);
    const double width = po.physWidthIn() * 25.4, height = po.physHeightIn() * 25.4;
    const InchMargins m = po.setMargins(ps_.topMargin / 25.4f, ps_.bottomMargin / 25.4f,
                                        ps_.leftMargin / 25.4f, ps_.rightMargin / 25.4f);
    const double top = m.top * 25.4, bottom = m.bottom * 25.4;
    const double left = m.left * 25.4, right = m.right * 25.4;
    page.pageWidth = roundEven(width);
    page.pageHeight = roundEven(height);
    page.left = roundEven(left);
    page.top = roundEven(top);
    page.right = roundEven(right);
    page.bottom = roundEven(bottom);
    page.printableWidth = roundEven(width - left - right);
    page.printableHeight = roundEven(height - top - bottom);
    page.fontName = ps_.fontName;
    for (int size = kSmallestFontSize; size <= kLargestFontSize; ++size) {
      po.setFont(ps_.fontName, size, 0);
      page.rows.push_back(fontTableRow(size, po.charsPerLine(), po.linesPerPage()));
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return page;
}

}  // namespace marvena
