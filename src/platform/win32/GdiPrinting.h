// Printing with GDI: the printers the spooler knows (EnumPrintersW, the
// default from GetDefaultPrinterW), the selected one's device mode for paper
// and orientation, its metrics from GetDeviceCaps, and a printer device
// context that draws text runs with ExtTextOutW and pictures with
// StretchDIBits between StartDocW and EndDoc.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/PrintDevice.h"
#include "platform/Printers.h"

namespace marvena {

class GdiPrinters final : public Printers {
 public:
  std::vector<std::string> names() override;
  int defaultIndex() override;
  bool select(int index) override;
  int currentIndex() override { return current_; }
  std::string currentName() override { return currentName_; }
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

  // The selected printer's device mode with our paper and orientation;
  // empty when none is selected.
  std::vector<char> deviceMode();
  // A device context (CreateDCW) or, with `infoOnly`, an information
  // context for the selected printer; null when it cannot be made.
  HDC makeContext(bool infoOnly);

 private:
  int current_ = -1;
  std::string currentName_;
  Orientation orientation_ = Orientation::Portrait;
  int paperSize_ = 9;
  int lengthTenths_ = 2970, widthTenths_ = 2100;
};

// Metrics of a printer context, in device dots.
PrinterMetrics contextMetrics(HDC dc);

class GdiPrintDevice final : public PrintDevice {
 public:
  GdiPrintDevice(GdiPrinters& printers, std::string fallbackFont,
                 std::function<void(const std::string&)> log);
  ~GdiPrintDevice() override;

  bool metrics(PrinterMetrics* out, std::string* error) override;
  void setFont(const FontSpec& font) override;
  TextMetrics textMetrics() override;
  int textWidth(std::string_view jobBytes) override;
  void setDocumentName(const std::string& title, const std::string& outputName) override;
  bool printing() const override { return printing_; }
  int pageNumber() const override { return page_; }
  bool beginDocument(std::string* error) override;
  bool newPage(std::string* error) override;
  bool endDocument(std::string* error) override;
  void abortDocument() override;
  void drawText(int x, int y, std::string_view jobBytes) override;
  void drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) override;

 private:
  // The context of the current document, or an information context for
  // measuring outside one.
  HDC context();
  void selectFont();
  void release();

  GdiPrinters& printers_;
  std::string fallbackFont_;
  std::function<void(const std::string&)> log_;
  HDC dc_ = nullptr;
  bool dcIsInfo_ = false;
  HFONT font_ = nullptr;
  HGDIOBJ oldFont_ = nullptr;
  FontSpec spec_;
  bool fontDirty_ = true;
  std::set<std::string> reportedMissing_;  // each missing face is logged once
  std::string title_;
  bool printing_ = false;
  int page_ = 0;
};

}  // namespace marvena
