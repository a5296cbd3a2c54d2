// The canvas and page control of the selected printer: what the print
// object draws on. Positions and sizes are device dots; the canvas origin is
// the corner of the printable area, as on a Windows printer canvas, so a
// caller that measures from the sheet's corner subtracts the printing offset.
// Text is handed over as job bytes (job code page); the device decides how
// they become glyphs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Printers.h"

namespace marvena {

// A canvas font. `points` is what the caller asked for, already made sane
// (above 0); `style` holds FontStyleBits.
struct FontSpec {
  std::string face;
  int points = 9;
  unsigned style = 0;
  int charset = 0;  // Windows character-set number
  bool operator==(const FontSpec&) const = default;
};

// The font's metrics in vertical dots.
struct TextMetrics {
  int height = 0;  // ascent + descent
  int ascent = 0;
  int externalLeading = 0;
};

// A decoded bitmap: rows top first, pixels 0xFFRRGGBB.
struct Bitmap {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

class PrintDevice {
 public:
  virtual ~PrintDevice() = default;

  // Geometry of the selected printer with its current paper and orientation.
  virtual bool metrics(PrinterMetrics* out, std::string* error) = 0;

  virtual void setFont(const FontSpec& font) = 0;
  virtual TextMetrics textMetrics() = 0;
  // Advance width of the text in the current font, horizontal dots.
  virtual int textWidth(std::string_view jobBytes) = 0;

  // Title of the next document, and the name its output is known by
  // (the job file's base name, for file-writing printers).
  virtual void setDocumentName(const std::string& title, const std::string& outputName) = 0;
  virtual bool printing() const = 0;
  // Number of the page being drawn, 1 for the first page of a document.
  virtual int pageNumber() const = 0;
  // Each returns false with *error set when the printer refused.
  virtual bool beginDocument(std::string* error) = 0;
  virtual bool newPage(std::string* error) = 0;
  // The document counts as printed only when this returns true.
  virtual bool endDocument(std::string* error) = 0;
  // Drops the document; nothing reaches the printer.
  virtual void abortDocument() = 0;

  // Text with the top of its character cell at (x, y).
  virtual void drawText(int x, int y, std::string_view jobBytes) = 0;
  // The bitmap stretched to width × height dots.
  virtual void drawBitmap(int x, int y, int width, int height, const Bitmap& bitmap) = 0;
};

}  // namespace marvena
