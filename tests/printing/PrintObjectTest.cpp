#include "printing/PrintObject.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/fake/RecordingPrintDevice.h"

namespace marvena {
namespace {

// A 3 x 3 inch sheet at 600 dpi; lines of 75 dots (1/8 inch) at 9 points.
struct PrintObjectTest : ::testing::Test {
  RecordingPrintDevice device;
  PrintObject po{device};

  void SetUp() override {
    device.geometry = {600, 600, 1800, 1800, 0, 0, 1800, 1800};
    device.heightPer10Points = 80;
    device.leadingDots = 3;
  }
  void startPrinting() {
    po.setFont("MARVENA", 9, 0);
    po.beginPrinting();
  }
};

TEST_F(PrintObjectTest, OneInchMarginsWithBordersOfAFewHundredths) {
  device.geometry = {600, 600, 5100, 6600, 102, 102, 4896, 6396};  // 0.17 inch all round
  startPrinting();
  po.setMargins(1, 1, 1, 1);
  EXPECT_EQ(po.topMarginDots(), 600);
  EXPECT_EQ(po.bottomMarginDots(), 600);
  EXPECT_EQ(po.leftMarginDots(), 600);
  EXPECT_EQ(po.rightMarginDots(), 600);
  const InchMargins m = po.margins();
  EXPECT_FLOAT_EQ(m.left, 1.0f);
}

TEST_F(PrintObjectTest, MarginFallbacks) {
  device.geometry = {600, 600, 5100, 6600, 102, 90, 4896, 6420};
  startPrinting();
  const struct {
    float top, bottom, left, right;
    int topDots, bottomDots, leftDots, rightDots;
  } cases[] = {
      {1, 1, 0, 1, 600, 600, 102, 600},              // left 0: the left border
      {1, 1, -2, 1, 600, 600, 102, 600},             // negative likewise
      {1, 1, 4.25f, 4.25f, 600, 600, 102, 102},      // as wide as the sheet: both borders
      {6, 5, 1, 1, 90, 90, 600, 600},                // as high as the sheet
      {0.1f, 0.1f, 0.1f, 0.1f, 90, 90, 102, 102},    // inside the border: raised to it
      {3e38f, 1, 1, 1, 90, 90, 600, 600},            // absurd: the borders
      {3e38f, -3e38f, 1, -3e38f, 90, 90, 600, 102},  // absurd beside negative: still the borders
  };
  for (const auto& c : cases) {
    po.setMargins(c.top, c.bottom, c.left, c.right);
    EXPECT_EQ(po.topMarginDots(), c.topDots) << c.top;
    EXPECT_EQ(po.bottomMarginDots(), c.bottomDots) << c.bottom;
    EXPECT_EQ(po.leftMarginDots(), c.leftDots) << c.left;
    EXPECT_EQ(po.rightMarginDots(), c.rightDots) << c.right;
  }
}

TEST_F(PrintObjectTest, BeginPrintingResetsMarginsToBordersAndCurrentY) {
  device.geometry = {600, 600, 5100, 6600, 102, 90, 4896, 6420};
  startPrinting();
  po.setMargins(1, 1, 1, 1);
  po.setCurrentY(2);
  po.beginPrinting();  // a document already runs: not begun twice
  EXPECT_EQ(po.leftMarginDots(), 102);
  EXPECT_EQ(po.bottomMarginDots(), 90);
  EXPECT_EQ(po.currentY(), 0.0f);
  int begins = 0;
  for (const RecordedCall& c : device.calls) begins += c.kind == RecordedCall::Begin;
  EXPECT_EQ(begins, 1);
}

TEST_F(PrintObjectTest, NextLinesBreakThePageAndTheNewPageStartsAtPageTop) {
  startPrinting();
  po.setMargins(0.5f, 0.5f, 0.5f, 0.5f);
  po.setPageBounds(0.5f, 2.5f);
  for (int i = 0; i < 18; ++i) po.writeText(-1, kNextLine, "L" + std::to_string(i));
  const auto texts = device.texts();
  ASSERT_EQ(texts.size(), 18u);
  EXPECT_EQ(texts[0].y, 300);
  EXPECT_EQ(texts[0].x, 300);
  EXPECT_EQ(texts[16].y, 300 + 16 * 75);  // top at 2.5 inches: still on the page
  EXPECT_EQ(texts[16].page, 1);
  EXPECT_EQ(texts[17].page, 2);
  EXPECT_EQ(texts[17].y, 300);
}

// A line may start in the bottom margin as before, but a line that would
// run past what the printer can print goes to the next page.
TEST_F(PrintObjectTest, TheLastLineOfAPageEndsWithinThePrintableArea) {
  const struct {
    const char* what;
    PrinterMetrics geometry;
    float bottomMargin;
    int linesOnPage1;
  } cases[] = {
      // Sheet of 1800 dots, no border: line tops at 300 + 75 n, cells of 72
      // dots. The 20th (top 1725) ends at 1797 and fits; the 21st starts on
      // the bottom limit, 1800, and would lie wholly below the sheet.
      {"no margin, no border", {600, 600, 1800, 1800, 0, 0, 1800, 1800}, 0, 20},
      // A border of 60 dots: the 20th would end at 1797, past 1740.
      {"no margin, printer border", {600, 600, 1800, 1800, 0, 0, 1800, 1740}, 0, 19},
      // A margin of 0.2 inch (limit 1680): the 19th starts at 1650 and
      // ends in the margin, as it always did.
      {"user margin", {600, 600, 1800, 1800, 0, 0, 1800, 1800}, 0.2f, 19},
  };
  for (const auto& c : cases) {
    device.calls.clear();
    device.geometry = c.geometry;
    startPrinting();
    const InchMargins m = po.setMargins(0.5f, c.bottomMargin, 0.5f, 0.5f);
    po.setPageBounds(0.5f, po.physHeightIn() - m.bottom);
    EXPECT_EQ(po.linesOnPage(), c.linesOnPage1) << c.what;
    for (int i = 0; i < 60; ++i) po.writeText(-1, kNextLine, "L");
    EXPECT_EQ(static_cast<int>(device.textsOnPage(1).size()), c.linesOnPage1) << c.what;
    EXPECT_EQ(static_cast<int>(device.textsOnPage(2).size()), c.linesOnPage1) << c.what;
    for (const RecordedCall& t : device.texts())
      EXPECT_LE(t.y + c.geometry.offsetY + 72, c.geometry.offsetY + c.geometry.printableHeight)
          << c.what;
    po.endPrinting();
  }
}

TEST_F(PrintObjectTest, ALineTallerThanThePageStillPrintsOnePerPage) {
  startPrinting();
  po.setFont("MARVENA", 200, 0);  // 1600 dots high on a sheet of 1800
  po.setMargins(0.5f, 0.5f, 0.5f, 0.5f);
  po.setPageBounds(0.5f, 2.5f);
  EXPECT_EQ(po.linesOnPage(), 1);
  for (int i = 0; i < 3; ++i) po.writeText(-1, kNextLine, "L");
  EXPECT_EQ(device.pages(), 3);
  for (int page = 1; page <= 3; ++page) EXPECT_EQ(device.textsOnPage(page).size(), 1u);
}

TEST_F(PrintObjectTest, AbsoluteAndCurrentLinePositions) {
  device.geometry = {600, 600, 1800, 1800, 60, 30, 1680, 1740};
  startPrinting();
  po.writeText(1, 1, "abs");
  po.writeText(0.5f, kCurrentLine, "same");
  po.writeText(-1, 10, "below");         // beyond the sheet: the bottom of the printable area
  po.writeText(0.01f, 0.01f, "corner");  // inside the border: raised to the border
  const auto t = device.texts();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].x, 600 - 60);
  EXPECT_EQ(t[0].y, 600 - 30);
  EXPECT_EQ(t[1].y, 600 - 30);
  EXPECT_EQ(t[2].y, (1800 - 30) - 30);
  EXPECT_EQ(t[2].x, 60 - 60);  // left margin = left border
  EXPECT_EQ(t[3].x, 0);
  EXPECT_EQ(t[3].y, 0);
  EXPECT_EQ(po.currentY(), 0.01f);
}

TEST_F(PrintObjectTest, PictureOnTheNextLineAdvancesByItsPixelsAndNeverBreaksThePage) {
  startPrinting();
  po.setMargins(0.5f, 0.5f, 0.5f, 0.5f);
  po.setPageBounds(0.5f, 2.5f);
  po.setCurrentY(2.45f);
  Bitmap b;
  b.width = 10;
  b.height = 60;
  b.pixels.assign(600, 0xFFFFFFFF);
  po.drawBitmap(-1, kNextLine, 0.5f, 0.25f, b);
  ASSERT_EQ(device.calls.back().kind, RecordedCall::Picture);
  EXPECT_EQ(device.calls.back().page, 1);
  EXPECT_EQ(device.calls.back().y, 1545);  // (2.45 + 0.125) * 600, truncated
  EXPECT_EQ(device.calls.back().width, 300);
  EXPECT_EQ(device.calls.back().height, 150);
  EXPECT_FLOAT_EQ(po.currentY(), 2.45f + 0.1f);
}

TEST_F(PrintObjectTest, PageMeasures) {
  startPrinting();
  po.setMargins(0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(po.linesPerPage(), 16);  // 1200 dots / 75
  EXPECT_EQ(po.charsPerLine(), 26);  // 1200 dots / 45
  EXPECT_FLOAT_EQ(po.lineHeight(), 0.125f);
}

TEST_F(PrintObjectTest, FontSizesAreKeptSane) {
  const struct {
    int asked, used;
  } cases[] = {{9, 9}, {0, 9}, {-5, 5}, {4000, 1000}, {-4000, 1000}, {1, 1}, {INT32_MIN, 1000}};
  for (const auto& c : cases) EXPECT_EQ(sanePointSize(c.asked), c.used) << c.asked;
}

TEST_F(PrintObjectTest, PrinterErrorsAreRaised) {
  device.failBegin = true;
  EXPECT_THROW(startPrinting(), PrintError);
  device.failBegin = false;
  startPrinting();
  device.failNewPage = true;
  EXPECT_THROW(po.newPage(), PrintError);
  device.failEnd = true;
  EXPECT_THROW(po.endPrinting(), PrintError);
  device.failMetrics = true;
  EXPECT_THROW(po.refreshMetrics(), PrintError);
}

}  // namespace
}  // namespace marvena
