// The printer device over Qt: every document is drawn with QPainter into a
// PDF at the printer's resolution. For "Marvena PDF" the PDF is the
// printout: it is written under a short hidden temporary name in the PDF
// directory itself, synced, and then given the job's name there without
// ever replacing or following what is already at that name. For a CUPS
// printer it is handed to CUPS, and only an accepted submission counts as
// printed (Qt's own CUPS engine does not report a refusal).
//
// Job bytes become glyphs through tables built once per font: the 256 bytes
// of the job code page map to glyph indexes and advances, so a line is one
// glyph run without any shaping. A face that is not installed is replaced
// by a monospaced fallback that has the Lithuanian letters and box drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <QPointF>

#include "platform/PrintDevice.h"

class QFile;
class QPainter;
class QPdfWriter;

namespace marvena {

class QtPrinters;

inline constexpr const char* kDefaultFallbackFace = "DejaVu Sans Mono";

class QtPrintDevice final : public PrintDevice {
 public:
  // `fallbackFace` empty: kDefaultFallbackFace. `log` hears which faces
  // were replaced (once per face).
  QtPrintDevice(QtPrinters& printers, std::string fallbackFace,
                std::function<void(const std::string&)> log = {});
  ~QtPrintDevice() override;

  bool metrics(PrinterMetrics* out, std::string* error) override;
  void setFont(const FontSpec& font) override;
  TextMetrics textMetrics() override;
  int textWidth(std::string_view jobBytes) override;

  void setDocumentName(const std::string& title, const std::string& outputName) override;
  bool printing() const override { return painter_ != nullptr; }
  int pageNumber() const override { return page_; }
  bool beginDocument(std::string* error) override;
  bool newPage(std::string* error) override;
  bool endDocument(std::string* error) override;
  void abortDocument() override;

  void drawText(int x, int y, std::string_view jobBytes) override;
  void drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) override;

  // The installed family a face name prints in.
  std::string resolveFace(const std::string& face);
  // The file the last document went to ("Marvena PDF"), or empty.
  const std::string& lastOutputPath() const { return lastOutput_; }

 private:
  struct Face;
  using FaceKey = std::tuple<std::string, int, bool, bool, bool>;  // family, px, bold, italic, tool

  Face& currentFace();
  // Creates the temporary file of a document in `dir`.
  bool openTemporary(const std::string& dir, std::string* error);
  // Gives the finished temporary PDF its name in the PDF directory.
  bool publishFile(std::string* error);
  void closeDocument();
  // Closes and removes the temporary file, if any.
  void dropTemporary();

  QtPrinters& printers_;
  std::string fallback_;
  std::function<void(const std::string&)> log_;
  std::map<std::string, std::string> families_;  // upper-case name -> installed name
  std::map<std::string, std::string> resolved_;  // asked face -> installed name
  std::map<FaceKey, std::unique_ptr<Face>> faces_;
  FontSpec font_;
  Face* face_ = nullptr;

  struct MetricsCache;
  std::unique_ptr<MetricsCache> metricsCache_;

  std::string title_, outputName_, lastOutput_;
  std::unique_ptr<QFile> file_;
  int dirFd_ = -1, fileFd_ = -1;  // the temporary file and its directory
  std::string tempDir_, tempName_;
  std::uint32_t nameSeed_ = 0;
  std::unique_ptr<QPdfWriter> writer_;
  std::unique_ptr<QPainter> painter_;
  PrinterMetrics doc_;  // geometry of the running document
  bool toPdfDir_ = false;
  std::string printerName_, pdfDir_, media_;
  int page_ = 0;
  std::vector<unsigned> glyphs_;
  std::vector<QPointF> positions_;
};

}  // namespace marvena
