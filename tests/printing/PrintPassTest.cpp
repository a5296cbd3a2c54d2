#include "printing/PrintPass.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/fake/Fakes.h"
#include "platform/fake/RecordingPrintDevice.h"
#include "spool/JobStatus.h"

namespace marvena {
namespace {

// A 3 x 3 inch sheet without borders at 600 dpi, half-inch margins, lines of
// 75 dots (1/8 inch) and characters 45 dots wide at 9 points: 17 lines go on
// a page (the last one's top sits on the bottom limit, inside the margin).
struct PrintPassTest : ::testing::Test {
  FakeFileSystem fs;
  JobStatus status;
  RecordingPrintDevice device;
  PrintObject po{device};
  PrintSettings ps;
  std::map<std::string, Bitmap> pictures;

  void SetUp() override {
    device.geometry = {600, 600, 1800, 1800, 0, 0, 1800, 1800};
    device.heightPer10Points = 80;
    device.leadingDots = 3;
    ps.topMargin = ps.bottomMargin = ps.leftMargin = ps.rightMargin = 12.7f;
    ps.pageFrom = 1;
    ps.pageTo = 65535;
  }

  void printText(const std::string& job) {
    fs.put("/spool/JOB.txt", job);
    PrintPass pass(po, fs, status, [this](const std::string& name, std::string* error) {
      auto it = pictures.find(name);
      if (it == pictures.end()) {
        *error = "file not found";
        return std::optional<Bitmap>();
      }
      return std::optional<Bitmap>(it->second);
    });
    po.beginPrinting();
    pass.run("/spool/JOB.txt", ps);
    po.endPrinting();
  }

  std::vector<std::string> textsOn(int page) const {
    std::vector<std::string> out;
    for (const RecordedCall& c : device.textsOnPage(page)) out.push_back(c.text);
    return out;
  }
};

std::string Lines(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) s += "L" + std::to_string(i) + "\n";
  return s;
}

using Texts = std::vector<std::string>;

TEST_F(PrintPassTest, FormFeedPagesTwoToThree) {
  ps.pageFrom = 2;
  ps.pageTo = 3;
  printText("P1a\nP1b\n\f\nP2a\n\f\nP3a\n\f\nP4a\n");
  EXPECT_EQ(device.pages(), 2);
  EXPECT_EQ(textsOn(1), Texts({"P2a"}));
  EXPECT_EQ(textsOn(2), Texts({"P3a"}));
  EXPECT_EQ(device.textsOnPage(1)[0].y, 300);
}

TEST_F(PrintPassTest, TrailingFormFeedGivesAnEmptyPageUnlessTheRangeEnds) {
  printText("A\n\f\n");
  EXPECT_EQ(device.pages(), 2);
  device.calls.clear();
  ps.pageTo = 1;
  printText("A\n\f\n");
  EXPECT_EQ(device.pages(), 1);
}

TEST_F(PrintPassTest, PagesNotPrintedCountTheLinesAPrintedPageHolds) {
  ps.pageFrom = 2;
  printText(Lines(0, 39));
  const auto first = device.textsOnPage(1);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0].text, "L17");
  EXPECT_EQ(first[0].y, 300);
  EXPECT_EQ(first.size(), 17u);
  EXPECT_EQ(textsOn(2).front(), "L34");

  // Without margins the sheet's edge decides: 24 whole lines of 75 dots fit
  // on 1800 dots, and so many pages are skipped.
  for (int size : {5, 9, 14}) {
    device.calls.clear();
    ps.topMargin = ps.bottomMargin = 0;
    ps.fontSize = size;
    ps.pageFrom = 1;
    printText(Lines(0, 199));
    const std::vector<std::string> secondPage = textsOn(2);
    device.calls.clear();
    ps.pageFrom = 2;
    ps.pageTo = 2;
    printText(Lines(0, 199));
    EXPECT_EQ(textsOn(1), secondPage) << size;
    EXPECT_EQ(device.pages(), 1) << size;
    ps.pageTo = 65535;
  }
}

TEST_F(PrintPassTest, NoPageBeyondTheRangeForTheLineThatWouldStartIt) {
  ps.pageTo = 1;
  printText(Lines(0, 39));
  EXPECT_EQ(device.pages(), 1);
  EXPECT_EQ(textsOn(1).size(), 17u);
  EXPECT_EQ(textsOn(1).back(), "L16");
}

TEST_F(PrintPassTest, UnrangedLinesBreakPagesAutomatically) {
  printText(Lines(0, 39));
  EXPECT_EQ(device.pages(), 3);
  EXPECT_EQ(textsOn(2).front(), "L17");
  EXPECT_EQ(device.textsOnPage(2)[0].y, 300);
}

TEST_F(PrintPassTest, CopiesOnOneRunOfPaperWithTheSplitterGap) {
  ps.copies1 = 2;
  ps.splitterMargin = 12.7f;
  printText("R1\nR2\n");
  const auto t = device.texts();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].y, 300);
  EXPECT_EQ(t[1].y, 375);
  EXPECT_EQ(t[2].y, 750);  // R2 ends at 450; half an inch of gap
  EXPECT_EQ(t[3].y, 825);
  EXPECT_EQ(device.pages(), 1);
}

TEST_F(PrintPassTest, CopySetsStartOnNewPagesAndShowTheirNumber) {
  ps.copies2 = 3;
  printText("Kopija @COPY\nText\n");
  EXPECT_EQ(device.pages(), 3);
  for (int page = 1; page <= 3; ++page)
    EXPECT_EQ(textsOn(page), Texts({"Kopija " + std::to_string(page), "Text"}));
}

TEST_F(PrintPassTest, PositionedLinesAndThoseAfterThem) {
  printText("@YPOS=50.8\n@XPOS=25.4\nA\nB\n@YPOS=x\nC\n");
  const auto t = device.texts();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].x, 600);
  EXPECT_EQ(t[0].y, 1200);
  EXPECT_EQ(t[1].x, 300);  // positions apply to one line only
  EXPECT_EQ(t[1].y, 1275);
  EXPECT_EQ(t[2].y, 0);  // an argument that does not parse is 0
}

TEST_F(PrintPassTest, DirectiveLinesAreNeverPrinted) {
  printText("@UNKNOWN\n@FONT=Arial\n@PRINTER_INDEX=3\nText\n");
  EXPECT_EQ(textsOn(1), Texts({"Text"}));
}

TEST_F(PrintPassTest, ToolFontPrintsB4AsB5) {
  printText("\xB4x\xB4\n");
  EXPECT_EQ(textsOn(1), Texts({"\xB4x\xB4"}));
  device.calls.clear();
  ps.fontName = "COURIER MARVENA";
  printText("\xB4x\xB4\n");
  EXPECT_EQ(textsOn(1), Texts({"\xB5x\xB5"}));
}

TEST_F(PrintPassTest, BinaryBytesReachTheDeviceUnchanged) {
  const std::string line("a\0b\x01\xFF", 5);
  printText(line + "\n");
  EXPECT_EQ(textsOn(1), Texts({line}));
}

TEST_F(PrintPassTest, PicturesAtTheirPositionAndSize) {
  Bitmap b;
  b.width = 4;
  b.height = 30;
  b.pixels.assign(120, 0xFF000000u);
  pictures["LOGO.BMP"] = b;
  printText(
      "@PICTURE.WIDTH=25.4\n@PICTURE.HEIGHT=12.7\n@XPOS=25.4\n@YPOS=25.4\n@PICTURE=LOGO.BMP\n"
      "A\n@PICTURE=LOGO.BMP\nB\n");
  std::vector<RecordedCall> pics;
  for (const RecordedCall& c : device.calls)
    if (c.kind == RecordedCall::Picture) pics.push_back(c);
  ASSERT_EQ(pics.size(), 2u);
  EXPECT_EQ(pics[0].x, 600);
  EXPECT_EQ(pics[0].y, 600);
  EXPECT_EQ(pics[0].width, 600);
  EXPECT_EQ(pics[0].height, 300);
  const auto t = device.texts();
  EXPECT_EQ(t[0].y, 675);  // the line after a positioned picture
  EXPECT_EQ(t[0].x, 300);  // the position applied to the picture only
  EXPECT_EQ(pics[1].x, 300);
  EXPECT_EQ(pics[1].y, 750);
  // A picture on the next line moves the position by its own pixels (30 at
  // 600 dpi), not by the height it is drawn at.
  EXPECT_NEAR(t[1].y, 780, 1);
}

TEST_F(PrintPassTest, MissingPictureIsAPrintError) {
  EXPECT_THROW(printText("A\n@PICTURE=NONE.BMP\n"), PrintError);
}

TEST_F(PrintPassTest, OneMegabyteLine) {
  printText(std::string(1 << 20, 'x') + "\nB\n");
  const auto t = device.texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].text.size(), 1u << 20);
  EXPECT_EQ(t[1].y, 375);
}

struct TagTest : PrintPassTest {
  std::vector<RecordedCall> taggedCalls(const std::string& text, float x = -1) {
    po.setFont("MARVENA", 9, 0);
    po.beginPrinting();
    po.setMargins(0.5f, 0.5f, 0.5f, 0.5f);
    po.setPageBounds(0.5f, 2.5f);
    po.writeText(x, kNextLine, {});
    printTagged(po, x, text, 0, 0);
    return device.texts();
  }
};

TEST_F(TagTest, BoldWordBetweenPlainWords) {
  const auto t = taggedCalls("plain <b>bold</b> more");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].text, "plain ");
  EXPECT_EQ(t[0].x, 300);
  EXPECT_EQ(t[1].text, "bold");
  EXPECT_NEAR(t[1].x, 300 + 6 * 45, 1);
  EXPECT_EQ(t[1].font.style, static_cast<unsigned>(fsBold));
  EXPECT_EQ(t[2].text, " more");
  EXPECT_NEAR(t[2].x, 300 + 10 * 45, 1);
  EXPECT_EQ(t[2].font.style, 0u);
  for (const auto& c : t) EXPECT_EQ(c.y, 300);
  EXPECT_EQ(po.font().points, 9);  // the job font is back
}

TEST_F(TagTest, FontSizeTagsAddTheirPoints) {
  const struct {
    const char* text;
    int points;
  } cases[] = {{"a<font size=\"4\">BIG</font>b", 13},
               {"a<font size=\"-2\">sm</font>b", 7},
               {"a<font size=\"+3pt\">x</font>b", 12}};
  for (const auto& c : cases) {
    device.calls.clear();
    const auto t = taggedCalls(c.text);
    ASSERT_EQ(t.size(), 3u) << c.text;
    EXPECT_EQ(t[1].font.points, c.points) << c.text;
    EXPECT_NEAR(t[2].x, 300 + 45 + static_cast<int>(t[1].text.size()) * c.points * 5, 1);
    EXPECT_EQ(t[2].font.points, 9);
  }
}

TEST_F(TagTest, UnbalancedTagsPrintAsText) {
  const char* cases[] = {"<b>open only",       "close only</b>", "<b></b>",
                         "<font size=\"2\">x", "</b>x<b>",       "<font size=2>x</font>"};
  for (const char* c : cases) {
    device.calls.clear();
    const auto t = taggedCalls(c);
    ASSERT_EQ(t.size(), 1u) << c;
    EXPECT_EQ(t[0].text, c);
    EXPECT_EQ(t[0].font.style, 0u);
  }
}

TEST_F(TagTest, NestedTags) {
  auto t = taggedCalls("<b>x<font size=\"2\">y</font>z</b>");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1].text, "y");
  EXPECT_EQ(t[1].font.points, 11);
  EXPECT_EQ(t[1].font.style, static_cast<unsigned>(fsBold));
  EXPECT_EQ(t[2].font.style, static_cast<unsigned>(fsBold));
  device.calls.clear();
  t = taggedCalls("<font size=\"2\">a<b>b</b></font>");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].font.points, 11);
  EXPECT_EQ(t[1].font.style, static_cast<unsigned>(fsBold));
  device.calls.clear();
  t = taggedCalls("<b>a<b>b</b>");  // a second <b> before </b> prints as it stands
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].text, "a<b>b");
}

TEST_F(TagTest, DeepNestingAndLongTaggedLinesNeitherCrashNorHang) {
  std::string deep;
  for (int i = 0; i < 50000; ++i) deep += "<font size=\"1\">";
  deep += "x";
  for (int i = 0; i < 50000; ++i) deep += "</font>";
  auto t = taggedCalls(deep);
  ASSERT_FALSE(t.empty());
  EXPECT_LE(t.back().font.points, 9 + kMaxTagDepth);
  device.calls.clear();
  std::string many;
  for (int i = 0; i < 20000; ++i) many += "<b>w</b> ";
  t = taggedCalls(many);
  EXPECT_EQ(t.size(), 40000u);
  EXPECT_EQ(t.back().text, " ");  // the tail after the last tag is kept, not cut at 255
}

}  // namespace
}  // namespace marvena
