#include "printing/PrintObject.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace marvena {

namespace {

// Positions are kept far inside int so that sums of a position and a size
// cannot overflow, whatever a job asked for.
constexpr double kDotLimit = 1e8;

int TruncDots(double value) {
  if (std::isnan(value)) return 0;
  if (value > kDotLimit) value = kDotLimit;
  if (value < -kDotLimit) value = -kDotLimit;
  return static_cast<int>(value);  // toward zero
}

float DotsToInches(int dots, int dpi) {
  return dpi > 0 ? static_cast<float>(dots) / static_cast<float>(dpi) : 0.0f;
}

}  // namespace

int SanePointSize(int points) {
  if (points == 0) return 9;
  if (points < 0) points = points < -1000 ? 1000 : -points;
  return points > 1000 ? 1000 : points;
}

PrintObject::PrintObject(PrintDevice& device) : device_(device) {
  font_.face = "MARVENA";
  savedFont_ = font_;
  device_.setFont(font_);
}

bool PrintObject::Printing() const {
  return device_.printing();
}
int PrintObject::PageNumber() const {
  return device_.pageNumber();
}

int PrintObject::InchesToDotsX(float inches) const {
  return TruncDots(static_cast<double>(inches) * dpiX_);
}
int PrintObject::InchesToDotsY(float inches) const {
  return TruncDots(static_cast<double>(inches) * dpiY_);
}

void PrintObject::BeginPrinting() {
  std::string error;
  if (!device_.printing() && !device_.beginDocument(&error)) throw PrintError(error);
  autoNewPage_ = true;
  RefreshMetrics();
  SetMargins(DotsToInches(offsetY_, dpiY_), DotsToInches(bottomUnprintable_, dpiY_),
             DotsToInches(offsetX_, dpiX_), DotsToInches(rightUnprintable_, dpiX_));
  currentY_ = 0;
}

void PrintObject::EndPrinting() {
  std::string error;
  if (device_.printing() && !device_.endDocument(&error)) throw PrintError(error);
}

void PrintObject::AbortPrinting() {
  if (device_.printing()) device_.abortDocument();
}

void PrintObject::RefreshMetrics() {
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
  physWidthIn_ = DotsToInches(physWidth_, dpiX_);
  physHeightIn_ = DotsToInches(physHeight_, dpiY_);
  rightUnprintable_ = physWidth_ - offsetX_ - m.printableWidth;
  bottomUnprintable_ = physHeight_ - offsetY_ - m.printableHeight;
  if (topMargin_ < offsetY_) topMargin_ = offsetY_;
  if (bottomMargin_ < bottomUnprintable_) bottomMargin_ = bottomUnprintable_;
  if (leftMargin_ < offsetX_) leftMargin_ = offsetX_;
  if (rightMargin_ < rightUnprintable_) rightMargin_ = rightUnprintable_;
}

void PrintObject::SetFont(const std::string& name, int size, unsigned style) {
  FontSpec next = font_;
  next.face = name;
  next.points = SanePointSize(size);
  next.style = style;
  // The tag printer sets and restores the same font for every piece of a
  // line; the printer's answer cannot differ, so it is not asked again.
  if (next == font_ && textMetrics_.height > 0) return;
  font_ = std::move(next);
  device_.setFont(font_);
  RefreshMetrics();
}

void PrintObject::SetFontCharset(int charset) {
  if (font_.charset == charset) return;
  font_.charset = charset;
  device_.setFont(font_);
}

void PrintObject::SaveFont() {
  savedFont_ = font_;
  if (savedFont_.face.size() > 30) savedFont_.face.resize(30);
}

void PrintObject::RestoreFont() {
  SetFont(savedFont_.face, savedFont_.points, savedFont_.style);
}

InchMargins PrintObject::SetMargins(float top, float bottom, float left, float right) {
  const float offX = DotsToInches(offsetX_, dpiX_), rightU = DotsToInches(rightUnprintable_, dpiX_);
  const float offY = DotsToInches(offsetY_, dpiY_),
              bottomU = DotsToInches(bottomUnprintable_, dpiY_);
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
  topMargin_ = std::max(InchesToDotsY(top), offsetY_);
  bottomMargin_ = std::max(InchesToDotsY(bottom), bottomUnprintable_);
  leftMargin_ = std::max(InchesToDotsX(left), offsetX_);
  rightMargin_ = std::max(InchesToDotsX(right), rightUnprintable_);
  return {std::max(top, offY), std::max(bottom, bottomU), std::max(left, offX),
          std::max(right, rightU)};
}

InchMargins PrintObject::GetMargins() const {
  return {DotsToInches(topMargin_, dpiY_), DotsToInches(bottomMargin_, dpiY_),
          DotsToInches(leftMargin_, dpiX_), DotsToInches(rightMargin_, dpiX_)};
}

void PrintObject::SetPageBounds(float pageTop, float bottomLimit) {
  pageTop_ = pageTop;
  bottomLimit_ = bottomLimit;
  currentY_ = pageTop - LineHeight();
}

float PrintObject::LineHeight() const {
  return DotsToInches(LineHeightDots(), dpiY_);
}

int PrintObject::HorizontalPosition(float x) const {
  const int h = x >= 0 ? InchesToDotsX(x) : leftMargin_;
  return std::max(h, offsetX_);
}

bool PrintObject::BreaksAfter(float currentY) const {
  const float top = currentY + LineHeight();
  if (top > bottomLimit_) return true;
  // A line may start inside the bottom margin, as it always could; it may
  // not run off what the printer can print. Moving the first line of a page
  // would gain nothing.
  const int topDots = InchesToDotsY(top);
  return topDots > InchesToDotsY(pageTop_) &&
         topDots + textMetrics_.height > physHeight_ - bottomUnprintable_;
}

bool PrintObject::NextLineStartsPage() const {
  return autoNewPage_ && BreaksAfter(currentY_);
}

bool PrintObject::GivenVerticalPosition(float y, int* dots) {
  if (y > -0.01f) {
    *dots = std::max(InchesToDotsY(y), offsetY_);
    if (*dots > physHeight_) *dots = physHeight_ - bottomUnprintable_;
    currentY_ = y;
    return true;
  }
  if (y == kCurrentLine) {
    *dots = InchesToDotsY(currentY_);
    return true;
  }
  return false;
}

void PrintObject::WriteText(float x, float y, std::string_view text) {
  const int h = HorizontalPosition(x);
  int v;
  if (!GivenVerticalPosition(y, &v)) {
    // The next line; any other negative value means "no position" too.
    if (NextLineStartsPage()) NewPage();
    v = InchesToDotsY(currentY_ + LineHeight());
    currentY_ += LineHeight();
  }
  if (!text.empty()) device_.drawText(h - offsetX_, v - offsetY_, text);
}

void PrintObject::DrawBitmap(float x, float y, float width, float height, const Bitmap& bitmap) {
  const int h = HorizontalPosition(x);
  int v;
  if (!GivenVerticalPosition(y, &v)) {
    // No new-page check for pictures: a picture is drawn where it falls.
    v = InchesToDotsY(currentY_ + LineHeight());
    currentY_ += DotsToInches(bitmap.height, dpiY_);
  }
  const int w = InchesToDotsX(width), hgt = InchesToDotsY(height);
  if (w <= 0 || hgt <= 0 || bitmap.width <= 0 || bitmap.height <= 0) return;
  device_.drawBitmap(h - offsetX_, v - offsetY_, w, hgt, bitmap);
}

void PrintObject::NewPage() {
  currentY_ = pageTop_ - LineHeight();
  std::string error;
  if (!device_.newPage(&error)) throw PrintError(error);
}

int PrintObject::TextWidth(std::string_view text) {
  return device_.textWidth(text);
}

int PrintObject::LinesPerPage() const {
  const int line = LineHeightDots();
  if (line <= 0) return 0;
  const int lines = (physHeight_ - topMargin_ - bottomMargin_) / line;
  return lines > 0 ? lines : 0;
}

int PrintObject::LinesOnPage() const {
  // Lines that do not move the position never fill a page.
  if (LineHeightDots() <= 0) return INT_MAX;
  // The same steps in the same arithmetic as the writes themselves, so that
  // rounding cannot make the count differ by a line.
  float y = pageTop_ - LineHeight();
  int lines = 1;
  y += LineHeight();
  while (!BreaksAfter(y) && lines < INT_MAX) {
    y += LineHeight();
    ++lines;
  }
  return lines;
}

int PrintObject::CharsPerLine() {
  const int b = device_.textWidth("B");
  if (b <= 0) return 0;
  const int chars = (physWidth_ - leftMargin_ - rightMargin_) / b;
  return chars > 0 ? chars : 0;
}

}  // namespace marvena
