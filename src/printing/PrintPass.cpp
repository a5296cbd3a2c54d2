#include "printing/PrintPass.h"

#include <climits>

#include "printing/Directives.h"
#include "printing/PrintedText.h"
#include "spool/JobStatus.h"

namespace marvena {

namespace {

constexpr std::string_view kBoldOpen = "<b>", kBoldClose = "</b>";
constexpr std::string_view kFontOpen = "<font size=\"", kFontClose = "</font>";
constexpr std::size_t npos = std::string_view::npos;

int addSizes(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}

// One run of text in one font.
void printPiece(PrintObject& po, float& x, std::string_view text, int sizeChange, unsigned style) {
  po.saveFont();
  const FontSpec font = po.font();
  po.setFont(font.face, addSizes(font.points, sizeChange), font.style | style);
  po.writeText(x, kCurrentLine, text);
  if (x < 0) x = po.margins().left;
  x += static_cast<float>(po.textWidth(text)) / static_cast<float>(po.dpiX());
  po.restoreFont();
}

// The first occurrence of a tag in what is left of a text. What is left only
// ever shrinks from the front, so an occurrence still ahead stays the first
// one and the text is searched again only when the last answer was used up;
// that keeps a line of many tagged words linear.
class TagFinder {
 public:
  explicit TagFinder(std::string_view tag) : tag_(tag) {}
  std::size_t in(std::string_view all, std::size_t from) {
    if (!known_ || (pos_ != npos && pos_ < from)) {
      pos_ = all.find(tag_, from);
      known_ = true;
    }
    return pos_;
  }

 private:
  std::string_view tag_;
  std::size_t pos_ = npos;
  bool known_ = false;
};

void printTaggedAt(PrintObject& po, float& x, std::string_view all, int sizeChange, unsigned style,
                   int depth) {
  TagFinder boldOpen(kBoldOpen), boldClose(kBoldClose), fontOpen(kFontOpen), fontClose(kFontClose);
  // What follows a closing tag is printed by this loop rather than by a
  // further call, so a line of many tagged words needs no deep recursion.
  std::size_t at = 0;
  while (at < all.size() && depth < kMaxTagDepth) {
    const std::size_t b = boldOpen.in(all, at), e = boldClose.in(all, at);
    const std::size_t f = fontOpen.in(all, at), g = fontClose.in(all, at);
    if (b != npos && e != npos && b + 3 < e && (f == npos || b < f)) {
      printTaggedAt(po, x, all.substr(at, b - at), sizeChange, style, depth + 1);
      printTaggedAt(po, x, all.substr(b + 3, e - b - 3), sizeChange, style | fsBold, depth + 1);
      at = e + kBoldClose.size();
      continue;
    }
    if (f != npos && g != npos && f + kFontOpen.size() < g) {
      printTaggedAt(po, x, all.substr(at, f - at), sizeChange, style, depth + 1);
      const std::string_view inner = all.substr(f + kFontOpen.size(), g - f - kFontOpen.size());
      const std::size_t close = inner.find("\">");
      if (close != npos)
        printTaggedAt(po, x, inner.substr(close + 2),
                      addSizes(sizeChange, parseDirectiveInteger(inner.substr(0, close))), style,
                      depth + 1);
      else
        printTaggedAt(po, x, inner, sizeChange, style, depth + 1);
      at = g + kFontClose.size();
      continue;
    }
    break;
  }
  if (at < all.size()) printPiece(po, x, all.substr(at), sizeChange, style);
}

}  // namespace

void printTagged(PrintObject& po, float& x, std::string_view text, int sizeChange, unsigned style) {
  printTaggedAt(po, x, text, sizeChange, style, 0);
}

PrintPass::PrintPass(PrintObject& po, FileSystem& fs, JobStatus& status, PictureLoader loadPicture)
    : po_(po), fs_(fs), status_(status), loadPicture_(std::move(loadPicture)) {}

void PrintPass::run(const std::string& jobPath, const PrintSettings& ps) {
  ps_ = ps;
  toolFont_ = isToolFace(ps.fontName);
  po_.setFont(ps.fontName, ps.fontSize, 0);
  po_.setFontCharset(toolFont_ && ps.balticCharset ? 186 : 0);
  const InchMargins m = po_.setMargins(ps.topMargin / 25.4f, ps.bottomMargin / 25.4f,
                                       ps.leftMargin / 25.4f, ps.rightMargin / 25.4f);
  po_.setPageBounds(m.top, po_.physHeightIn() - m.bottom);
  linesOnPage_ = po_.linesOnPage();
  xmm_ = ymm_ = -1;
  pictureWidthMm_ = pictureHeightMm_ = 20;
  rangeActive_ = ps.pageFrom > 1 || ps.pageTo < 65535;

  const int sets = ps.copies2 < 1 ? 1 : ps.copies2;
  const int copies = ps.copies1 < 1 ? 1 : ps.copies1;
  for (int j = 1; j <= sets; ++j) {
    for (int k = 1; k <= copies; ++k) {
      currentPage_ = 1;
      lineCount_ = 0;
      lastPrinterPage_ = po_.pageNumber();
      JobLineReader reader(fs_, jobPath);
      std::string_view line;
      std::uint64_t consumed = 0;
      while (reader.next(&line, &consumed)) {
        status_.jobBytesDone.fetch_add(static_cast<std::int64_t>(consumed),
                                       std::memory_order_relaxed);
        if (isDirectiveLine(line))
          directive(line);
        else
          textLine(line, j);
      }
      // A copy cut short by a read error would be a printout with a hole in it.
      if (reader.failed()) throw PrintError(reader.error());
      if (k < copies && ps.splitterMargin > 0)
        po_.setCurrentY(po_.currentY() + ps.splitterMargin / 25.4f);
      status_.jobBytesDone = 0;
    }
    if (j < sets) po_.newPage();
  }
}

void PrintPass::directive(std::string_view line) {
  if (isJobDirectiveLine(line)) return;
  const LineDirectives d = parseLineDirectives(line);
  if (d.xpos) xmm_ = *d.xpos;
  if (d.ypos) ymm_ = *d.ypos;
  if (d.pictureWidth) pictureWidthMm_ = *d.pictureWidth;
  if (d.pictureHeight) pictureHeightMm_ = *d.pictureHeight;
  if (!d.picture) return;
  const float x = xmm_ == -1 ? -1.0f : toSingle(xmm_ / 25.4);
  const float y = ymm_ == -1 ? kNextLine : toSingle(ymm_ / 25.4);
  xmm_ = ymm_ = -1;
  std::string error;
  const std::optional<Bitmap> bitmap = loadPicture_(*d.picture, &error);
  if (!bitmap) throw PrintError("@PICTURE=" + *d.picture + ": " + error);
  po_.drawBitmap(x, y, toSingle(pictureWidthMm_ / 25.4), toSingle(pictureHeightMm_ / 25.4),
                 *bitmap);
}

void PrintPass::textLine(std::string_view line, int set) {
  std::string_view text = line;
  const bool hasCopy = line.find("@COPY") != npos;
  const bool hasB4 = toolFont_ && line.find('\xB4') != npos;
  if (hasCopy || hasB4) {
    scratch_.assign(line);
    if (hasCopy) insertCopyNumber(scratch_, set);
    if (toolFont_)
      for (char& c : scratch_)
        if (c == '\xB4') c = '\xB5';
    text = scratch_;
  }
  const float x = xmm_ == -1 ? -1.0f : toSingle(xmm_ / 25.4);
  const float y = ymm_ == -1 ? kNextLine : toSingle(ymm_ / 25.4);
  xmm_ = ymm_ = -1;
  const bool formFeed = text == "\f";

  const bool printed =
      !rangeActive_ || (ps_.pageFrom <= currentPage_ && currentPage_ <= ps_.pageTo);
  // On the last page of the range, a line that would start the next page
  // belongs to a page that is not printed: count it instead of printing a
  // page beyond the range with one line on it.
  const bool spills = printed && rangeActive_ && !formFeed && currentPage_ >= ps_.pageTo &&
                      y <= -0.01f && y != kCurrentLine && po_.nextLineStartsPage();
  if (printed && !spills) {
    if (formFeed) {
      if (currentPage_ < ps_.pageTo)
        po_.newPage();
      else
        ++currentPage_;
    } else {
      float at = x;
      po_.writeText(at, y, {});
      printTagged(po_, at, text, 0, 0);
    }
    if (po_.pageNumber() != lastPrinterPage_) {
      ++currentPage_;
      lastPrinterPage_ = po_.pageNumber();
    }
    return;
  }
  if (spills) {
    // The line is the first one of the next page.
    ++currentPage_;
    lineCount_ = 0;
  } else if (formFeed) {
    ++currentPage_;
    lineCount_ = 0;
    return;
  }
  ++lineCount_;
  if (lineCount_ >= linesOnPage_) {
    ++currentPage_;
    lineCount_ = 0;
  }
}

}  // namespace marvena
