#include "platform/qt/QtPrinters.h"

#include <QFontDatabase>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>

namespace marvena {

QtPrinters::QtPrinters(std::string pdfDir) : pdfDir_(std::move(pdfDir)) {}
QtPrinters::~QtPrinters() = default;

std::vector<std::string> QtPrinters::systemNames() const {
  std::vector<std::string> out;
  for (const QPrinterInfo& info : QPrinterInfo::availablePrinters())
    out.push_back(info.printerName().toStdString());
  return out;
}

std::vector<std::string> QtPrinters::names() {
  std::vector<std::string> out = systemNames();
  if (!pdfDir_.empty()) out.push_back(kPdfPrinterName);
  return out;
}

int QtPrinters::defaultIndex() {
  const std::vector<std::string> all = names();
  const std::string def = QPrinterInfo::defaultPrinterName().toStdString();
  for (std::size_t i = 0; i < all.size(); ++i)
    if (!def.empty() && all[i] == def) return static_cast<int>(i);
  // No system default: the PDF printer stands in.
  if (!pdfDir_.empty()) return static_cast<int>(all.size()) - 1;
  return -1;
}

bool QtPrinters::select(int index) {
  const int count = static_cast<int>(names().size());
  if (index == -1) index = defaultIndex();
  if (index < 0 || index >= count) return false;
  current_ = index;
  return true;
}

std::string QtPrinters::currentName() {
  const std::vector<std::string> all = names();
  return current_ >= 0 && current_ < static_cast<int>(all.size())
             ? all[static_cast<std::size_t>(current_)]
             : std::string();
}

bool QtPrinters::isPdfPrinter() const {
  return !pdfDir_.empty() && current_ == static_cast<int>(systemNames().size());
}

void QtPrinters::setPaperDimensions(int lengthTenthMm, int widthTenthMm) {
  lengthTenths_ = lengthTenthMm;
  widthTenths_ = widthTenthMm;
}

QPageSize pageSizeFromWindowsCode(int code, double lengthMm, double widthMm) {
  // A user size no sheet has (none, or longer than the largest page a PDF
  // can hold) prints on A4 rather than on ten metres of paper.
  auto usable = [](double mm) { return mm > 0 && mm <= kLargestPageMm; };
  if (code == 256 && usable(lengthMm) && usable(widthMm))
    return QPageSize(QSizeF(widthMm, lengthMm), QPageSize::Millimeter, QStringLiteral("User"),
                     QPageSize::ExactMatch);
  const QPageSize::PageSizeId id = QPageSize::id(code);
  return QPageSize(id == QPageSize::Custom ? QPageSize::A4 : id);
}

std::vector<std::string> QtPrinters::paperNames() {
  std::vector<std::string> out;
  if (isPdfPrinter() || current_ < 0) {
    for (auto id :
         {QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::Letter, QPageSize::Legal})
      out.push_back(QPageSize::name(id).toStdString());
    return out;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(currentName()));
  for (const QPageSize& size : info.supportedPageSizes()) out.push_back(size.name().toStdString());
  return out;
}

std::vector<PaperInfo> QtPrinters::paperList() {
  std::vector<PaperInfo> out;
  auto add = [&out](const QPageSize& size) {
    const QSizeF mm = size.size(QPageSize::Millimeter);
    // Sizes the Windows list does not know travel as user sizes.
    const int code = size.windowsId() > 0 ? size.windowsId() : 256;
    out.push_back({size.name().toStdString(), code, static_cast<int>(std::lround(mm.width() * 10)),
                   static_cast<int>(std::lround(mm.height() * 10))});
  };
  bool custom = true;
  if (isPdfPrinter() || current_ < 0) {
    for (auto id :
         {QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::Letter, QPageSize::Legal})
      add(QPageSize(id));
  } else {
    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(currentName()));
    for (const QPageSize& size : info.supportedPageSizes()) add(size);
    custom = info.supportsCustomPageSizes();
  }
  if (custom) out.push_back({"Custom", 256, 0, 0});
  return out;
}

std::unique_ptr<QPrinter> QtPrinters::makeQPrinter() {
  if (current_ < 0) return nullptr;
  std::unique_ptr<QPrinter> printer;
  if (isPdfPrinter()) {
    printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
  } else {
    printer = std::make_unique<QPrinter>(
        QPrinterInfo::printerInfo(QString::fromStdString(currentName())), QPrinter::HighResolution);
  }
  printer->setResolution(kPrinterDpi);
  printer->setFullPage(true);
  printer->setPageSize(
      pageSizeFromWindowsCode(paperSize_, lengthTenths_ / 10.0, widthTenths_ / 10.0));
  printer->setPageOrientation(orientation_ == Orientation::Landscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
  return printer;
}

bool QtPrinters::metrics(PrinterMetrics* out) {
  std::unique_ptr<QPrinter> printer = makeQPrinter();
  if (!printer) return false;
  const QRectF paper = printer->paperRect(QPrinter::DevicePixel);
  // In full-page mode the paint rectangle is the whole sheet; the printer's
  // unprintable border is its layout's minimum margins. A PDF has none.
  QRectF printable = paper;
  if (!isPdfPrinter()) {
    QPageLayout layout = printer->pageLayout();
    layout.setUnits(QPageLayout::Point);
    const QMarginsF border = layout.minimumMargins() * (kPrinterDpi / 72.0);
    printable = paper.marginsRemoved(border);
  }
  out->dpiX = out->dpiY = kPrinterDpi;
  out->physicalWidth = static_cast<int>(paper.width() + 0.5);
  out->physicalHeight = static_cast<int>(paper.height() + 0.5);
  out->offsetX = static_cast<int>(printable.left() + 0.5);
  out->offsetY = static_cast<int>(printable.top() + 0.5);
  out->printableWidth = static_cast<int>(printable.width() + 0.5);
  out->printableHeight = static_cast<int>(printable.height() + 0.5);
  return true;
}

std::vector<std::string> QtPrinters::fontFaces() {
  std::vector<std::string> out;
  for (const QString& family : QFontDatabase::families()) out.push_back(family.toStdString());
  return out;
}

}  // namespace marvena
