// The system's printers through Qt's CUPS support, plus the built-in
// "Marvena PDF" printer when a PDF directory is configured.
#pragma once

#include <memory>
#include <string>

#include "platform/Printers.h"

class QPrinter;
class QPageSize;

namespace marvena {

inline constexpr const char* kPdfPrinterName = "Marvena PDF";
// Resolution used for all device metrics: CUPS' "high resolution" is a
// fixed 1200 dpi, so we set one explicitly.
inline constexpr int kPrinterDpi = 600;

class QtPrinters final : public Printers {
 public:
  // `pdfDir` empty: no PDF printer.
  explicit QtPrinters(std::string pdfDir);
  ~QtPrinters() override;

  std::vector<std::string> names() override;
  int defaultIndex() override;
  bool select(int index) override;
  int currentIndex() override { return current_; }
  std::string currentName() override;
  Orientation orientation() override { return orientation_; }
  void setOrientation(Orientation o) override { orientation_ = o; }
  int paperSize() override { return paperSize_; }
  void setPaperSize(int code) override { paperSize_ = code; }
  int paperLength() override { return lengthTenths_; }
  int paperWidth() override { return widthTenths_; }
  void setPaperDimensions(int lengthTenthMm, int widthTenthMm) override;
  std::vector<std::string> paperNames() override;
  std::vector<PaperInfo> paperList() override;
  bool metrics(PrinterMetrics* out) override;
  std::vector<std::string> fontFaces() override;

  bool isPdfPrinter() const;
  const std::string& pdfDir() const { return pdfDir_; }
  // A QPrinter set up for the selected printer, paper and orientation,
  // full page, at kPrinterDpi. Null when no printer is selected.
  std::unique_ptr<QPrinter> makeQPrinter();

 private:
  std::vector<std::string> systemNames() const;
  std::string pdfDir_;
  int current_ = -1;
  Orientation orientation_ = Orientation::Portrait;
  int paperSize_ = 9;
  int lengthTenths_ = 2970, widthTenths_ = 2100;
};

// The largest side of a page: 200 inches, the most a PDF page can have.
inline constexpr double kLargestPageMm = 5080;
// Windows paper code to a page size; 256 (user size) takes the given mm
// when both lie within 0 and kLargestPageMm, else A4.
QPageSize pageSizeFromWindowsCode(int code, double lengthMm, double widthMm);

}  // namespace marvena
