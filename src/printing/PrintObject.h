// Places text and pictures on the pages of a printer document. Callers
// think in inches from the top-left corner of the physical sheet; the object
// converts to printer dots, keeps the margins inside the area the printer can
// reach, keeps a current vertical position that advances a line at a time,
// and starts a new page by itself when the next line would run past the
// bottom limit.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/PrintDevice.h"

namespace marvena {

// A printer refused something (starting a document or a page, ending it, a
// picture it was asked to draw). The text print job turns it into a failed job.
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct InchMargins {
  float top = 0, bottom = 0, left = 0, right = 0;
};

// Values of WriteText's y that are not positions.
inline constexpr float kNextLine = -1.0f;
inline constexpr float kCurrentLine = -2.0f;

// The point size a canvas font gets: 0 means the default size (9), a
// negative size its magnitude (a Windows character height), and sizes are
// kept to at most 1000 points so that no glyph outgrows any sheet by miles.
int sanePointSize(int points);

class PrintObject {
 public:
  explicit PrintObject(PrintDevice& device);

  // Starts a document unless one runs; margins go to the printer's borders
  // and CurrentY to 0.
  void beginPrinting();
  void endPrinting();
  void abortPrinting();
  bool printing() const;
  int pageNumber() const;

  void refreshMetrics();
  void setFont(const std::string& name, int size, unsigned style);
  void setFontCharset(int charset);
  const FontSpec& font() const { return font_; }
  void saveFont();
  void restoreFont();

  // Inches. Returns the margins in force, in inches before the conversion
  // to dots: what was asked for, or the printer's border where it fell back.
  InchMargins setMargins(float top, float bottom, float left, float right);
  InchMargins margins() const;
  void setPageBounds(float pageTop, float bottomLimit);  // inches
  float currentY() const { return currentY_; }
  void setCurrentY(float y) { currentY_ = y; }

  // x < 0: the left margin. y > -0.01: absolute; kNextLine: the next line
  // (may start a new page); kCurrentLine: the line last written.
  void writeText(float x, float y, std::string_view text);
  void drawBitmap(float x, float y, float width, float height, const Bitmap& bitmap);
  void newPage();
  // Whether a WriteText on the next line would start a new page first: its
  // top would pass the bottom limit, or its character cell would reach past
  // the area the printer can print (the sheet's edge or the printer's
  // unprintable border). The first line of a page always stays.
  bool nextLineStartsPage() const;

  float lineHeight() const;              // inches
  int textWidth(std::string_view text);  // horizontal dots, current font
  // Lines that fit between the margins, in whole line heights.
  int linesPerPage() const;
  // Lines that next-line writes put on one page before the page breaks, with
  // the page bounds and font in force: what a page that is not printed
  // counts so that it holds exactly the lines a printed one would.
  int linesOnPage() const;
  int charsPerLine();

  // Device geometry as last read.
  int dpiX() const { return dpiX_; }
  int dpiY() const { return dpiY_; }
  int offsetX() const { return offsetX_; }
  int offsetY() const { return offsetY_; }
  int physWidth() const { return physWidth_; }
  int physHeight() const { return physHeight_; }
  float physWidthIn() const { return physWidthIn_; }
  float physHeightIn() const { return physHeightIn_; }
  int topMarginDots() const { return topMargin_; }
  int bottomMarginDots() const { return bottomMargin_; }
  int leftMarginDots() const { return leftMargin_; }
  int rightMarginDots() const { return rightMargin_; }

  int inchesToDotsX(float inches) const;
  int inchesToDotsY(float inches) const;

 private:
  int horizontalPosition(float x) const;
  // A vertical position given in inches, or the current line, in dots;
  // false when the caller must move to the next line itself.
  bool givenVerticalPosition(float y, int* dots);
  int lineHeightDots() const { return textMetrics_.height + textMetrics_.externalLeading; }
  // The page break rule for a next line written after a line at `currentY`.
  bool breaksAfter(float currentY) const;

  PrintDevice& device_;
  int topMargin_ = 0, bottomMargin_ = 0, leftMargin_ = 0, rightMargin_ = 0;
  float pageTop_ = 0, bottomLimit_ = 0, currentY_ = 0;
  bool autoNewPage_ = false;
  FontSpec font_;
  FontSpec savedFont_;
  TextMetrics textMetrics_;
  int dpiY_ = 600, dpiX_ = 600;
  int offsetX_ = 0, rightUnprintable_ = 0, offsetY_ = 0, bottomUnprintable_ = 0;
  int physWidth_ = 0, physHeight_ = 0;
  float physHeightIn_ = 0, physWidthIn_ = 0;
};

}  // namespace marvena
