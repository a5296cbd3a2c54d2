#include "printing/PrintObject.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace marvena {

namespace {

// Positions are kept far inside int so that sums of a position and a size
// cannot overflow, whatever a job asked for.
constexpr double kDotLimit = 1e8;

int truncDots(double value) {
  if (std::isnan(value)) return 0;
  if (value > kDotLimit) value = kDotLimit;
  if (value < -kDotLimit) value = -kDotLimit;
  return static_cast<int>(value);  // toward zero
}

float dotsToInches(int dots, int dpi) {
  return dpi > 0 ? static_cast<float>(dots) / static_cast<float>(dpi) : 0.0f;
}

}  // namespace

int sanePointSize(int points) {
  if (points == 0) return 9;
  if (points < 0) points = points < -1000 ? 1000 : -points;
  return points > 1000 ? 1000 : points;
}

PrintObject::PrintObject(PrintDevice& device) : device_(device) {
  font_.face = "MARVENA";
  savedFont_ = font_;
  device_.setFont(font_);
}

bool PrintObject::printing() const {
  return device_.printing();
}
int PrintObject::pageNumber() const {
  return device_.pageNumber();
}

int PrintObject::inchesToDotsX(float inches) const {
  return truncDots(static_cast<double>(inches) * dpiX_);
}
int PrintObject::inchesToDotsY(float inches) const {
  return truncDots(static_cast<double>(inches) * dpiY_);
}

void PrintObject::beginPrinting() {
  std::string error;
  if (!device_.printing() && !device_.beginDocument(&error)) throw PrintError(error);
  autoNewPage_ = true;
  refreshMetrics();
  setMargins(dotsToInches(offsetY_, dpiY_), dotsToInches(bottomUnprintable_, dpiY_),
             dotsToInches(offsetX_, dpiX_), dotsToInches(rightUnprintable_, dpiX_));
  currentY_ = 0;
}

void PrintObject::endPrinting() {
  std::string error;
  if (device_.printing() && !device_.endDocument(&error)) throw PrintError(error);
}

void PrintObject::abortPrinting() {
  if (device_.printing()) device_.abortDocument();
}

void PrintObject::refreshMetrics() {
  PrinterMetrics m;
  std::string error;
  if (!device_.metrics(&m, &error) || m.dpiX <= 0 || m.dpiY <= 0)
    throw PrintError(error.empty() ? "Invalid Printer" : error);
  textMetrics_ = device_.textMetrics();
  dpiY_ = m.dpiY;
  dpiX_ = m.dpiX;
  offsetX_ = m.offsetX;
  offsetY_ = m.offsetY;
  physWidth_ = m.physicalWidth;
  physHeight_ = m.physicalHeight;
  physWidthIn_ = dotsToInches(physWidth_, dpiX_);
  physHeightIn_ = dotsToInches(physHeight_, dpiY_);
  rightUnprintable_ = physWidth_ - offsetX_ - m.printableWidth;
  bottomUnprintable_ = physHeight_ - offsetY_ - m.printableHeight;
  if (topMargin_ < offsetY_) topMargin_ = offsetY_;
  if (bottomMargin_ < bottomUnprintable_) bottomMargin_ = bottomUnprintable_;
  if (leftMargin_ < offsetX_) leftMargin_ = offsetX_;
  if (rightMargin_ < rightUnprintable_) rightMargin_ = rightUnprintable_;
}

void PrintObject::setFont(const std::string& name, int size, unsigned style) {
  FontSpec next = font_;
  next.face = name;
  next.points = sanePointSize(size);
  next.style = style;
  // The tag printer sets and restores the same font for every piece of a
  // line; the printer's answer cannot differ, so it is not asked again.
  if (next == font_ && textMetrics_.height > 0) return;
  font_ = std::move(next);
  device_.setFont(font_);
  refreshMetrics();
}

void PrintObject::setFontCharset(int charset) {
  if (font_.charset == charset) return;
  font_.charset = charset;
  device_.setFont(font_);
}

void PrintObject::saveFont() {
  savedFont_ = font_;
  if (savedFont_.face.size() > 30) savedFont_.face.resize(30);
}

void PrintObject::restoreFont() {
  setFont(savedFont_.face, savedFont_.points, savedFont_.style);
}

InchMargins PrintObject::setMargins(float top, float bottom, float left, float right) {
  const float offX = dotsToInches(offsetX_, dpiX_), rightU = dotsToInches(rightUnprintable_, dpiX_);
  const float offY = dotsToInches(offsetY_, dpiY_),
              bottomU = dotsToInches(bottomUnprintable_, dpiY_);
  // Each pair is checked again after the single fallbacks: a huge margin
  // beside a negative one would otherwise survive and push every line off
  // the sheet (one page per line).
  for (int pass = 0; pass < 2; ++pass) {
    if (left + right >= physWidthIn_) {
      left = offX;
      right = rightU;
    }
    if (left <= 0) left = offX;
    if (right <= 0) right = rightU;
    if (top + bottom >= physHeightIn_) {
      top = offY;
      bottom = bottomU;
    }
    if (top <= 0) top = offY;
    if (bottom <= 0) bottom = bottomU;
  }
  topMargin_ = std::max(inchesToDotsY(top), offsetY_);
  bottomMargin_ = std::max(inchesToDotsY(bottom), bottomUnprintable_);
  leftMargin_ = std::max(inchesToDotsX(left), offsetX_);
  rightMargin_ = std::max(inchesToDotsX(right), rightUnprintable_);
  return {std::max(top, offY), std::max(bottom, bottomU), std::max(left, offX),
          std::max(right, rightU)};
}

InchMargins PrintObject::margins() const {
  return {dotsToInches(topMargin_, dpiY_), dotsToInches(bottomMargin_, dpiY_),
          dotsToInches(leftMargin_, dpiX_), dotsToInches(rightMargin_, dpiX_)};
}

void PrintObject::setPageBounds(float pageTop, float bottomLimit) {
  pageTop_ = pageTop;
  bottomLimit_ = bottomLimit;
  currentY_ = pageTop - lineHeight();
}

float PrintObject::lineHeight() const {
  return dotsToInches(lineHeightDots(), dpiY_);
}

int PrintObject::horizontalPosition(float x) const {
  const int h = x >= 0 ? inchesToDotsX(x) : leftMargin_;
  return std::max(h, offsetX_);
}

bool PrintObject::breaksAfter(float currentY) const {
  const float top = currentY + lineHeight();
  if (top > bottomLimit_) return true;
  // A line may start inside the bottom margin, as it always could; it may
  // not run off what the printer can print. Moving the first line of a page
  // would gain nothing.
  const int topDots = inchesToDotsY(top);
  return topDots > inchesToDotsY(pageTop_) &&
         topDots + textMetrics_.height > physHeight_ - bottomUnprintable_;
}

bool PrintObject::nextLineStartsPage() const {
  return autoNewPage_ && breaksAfter(currentY_);
}

bool PrintObject::givenVerticalPosition(float y, int* dots) {
  if (y > -0.01f) {
    *dots = std::max(inchesToDotsY(y), offsetY_);
    if (*dots > physHeight_) *dots = physHeight_ - bottomUnprintable_;
    currentY_ = y;
    return true;
  }
  if (y == kCurrentLine) {
    *dots = inchesToDotsY(currentY_);
    return true;
  }
  return false;
}

void PrintObject::writeText(float x, float y, std::string_view text) {
  const int h = horizontalPosition(x);
  int v;
  if (!givenVerticalPosition(y, &v)) {
    // The next line; any other negative value means "no position" too.
    if (nextLineStartsPage()) newPage();
    v = inchesToDotsY(currentY_ + lineHeight());
    currentY_ += lineHeight();
  }
  if (!text.empty()) device_.drawText(h - offsetX_, v - offsetY_, text);
}

void PrintObject::drawBitmap(float x, float y, float width, float height, const Bitmap& bitmap) {
  const int h = horizontalPosition(x);
  int v;
  if (!givenVerticalPosition(y, &v)) {
    // No new-page check for pictures: a picture is drawn where it falls.
    v = inchesToDotsY(currentY_ + lineHeight());
    currentY_ += dotsToInches(bitmap.height, dpiY_);
  }
  const int w = inchesToDotsX(width), hgt = inchesToDotsY(height);
  if (w <= 0 || hgt <= 0 || bitmap.width <= 0 || bitmap.height <= 0) return;
  device_.drawBitmap(h - offsetX_, v - offsetY_, w, hgt, bitmap);
}

void PrintObject::newPage() {
  currentY_ = pageTop_ - lineHeight();
  std::string error;
  if (!device_.newPage(&error)) throw PrintError(error);
}

int PrintObject::textWidth(std::string_view text) {
  return device_.textWidth(text);
}

int PrintObject::linesPerPage() const {
  const int line = lineHeightDots();
  if (line <= 0) return 0;
  const int lines = (physHeight_ - topMargin_ - bottomMargin_) / line;
  return lines > 0 ? lines : 0;
}

int PrintObject::linesOnPage() const {
  // Lines that do not move the position never fill a page.
  if (lineHeightDots() <= 0) return INT_MAX;
  // The same steps in the same arithmetic as the writes themselves, so that
  // rounding cannot make the count differ by a line.
  float y = pageTop_ - lineHeight();
  int lines = 1;
  y += lineHeight();
  while (!breaksAfter(y) && lines < INT_MAX) {
    y += lineHeight();
    ++lines;
  }
  return lines;
}

int PrintObject::charsPerLine() {
  const int b = device_.textWidth("B");
  if (b <= 0) return 0;
  const int chars = (physWidth_ - leftMargin_ - rightMargin_) / b;
  return chars > 0 ? chars : 0;
}

}  // namespace marvena
