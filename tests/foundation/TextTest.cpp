#include <gtest/gtest.h>

#include "platform/fake/Fakes.h"
#include "text/CodePage.h"
#include "text/PlatformHelpers.h"

namespace marvena {
namespace {

TEST(fillPlaceholder, ReplacesOnlyTheFirstAndCutsTheTail) {
  struct Case {
    std::string value, line, expected;
  } cases[] = {
      {"x",
       "A?"
       "?B??C",
       "AxB??C"},
      {"x", "no placeholder", "no placeholder"},
      {"", "??", ""},
      {"long value",
       "<a>?"
       "?</a>",
       "<a>long value</a>"},
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    fillPlaceholder(c.value, line);
    EXPECT_EQ(line, c.expected) << c.line;
  }
  std::string line = "X??" + std::string(300, 't');
  fillPlaceholder("v", line);
  EXPECT_EQ(line, "Xv" + std::string(255, 't'));
}

TEST(balticUpperCase, MapsLithuanianPairsAndAsciiOnly) {
  EXPECT_EQ(balticUpperCase("\xF7"
                            "az"),
            "\xF6"
            "AZ");
  const std::string lower = "\xDD\xDF\xF1\xF3\xF5\xF7\xF9\xFB\xFD";
  EXPECT_EQ(balticUpperCase(lower), "\xDC\xDE\xF0\xF2\xF4\xF6\xF8\xFA\xFC");
  // Bytes outside the pairs stay, including the already upper-case ones.
  EXPECT_EQ(balticUpperCase("\xB3\xE0{}\x80\xDC"), "\xB3\xE0{}\x80\xDC");
}

TEST(toXmlText, UpperCasesConvertsAndEscapes) {
  // "ąžuolas & co" in the job code page.
  EXPECT_EQ(toXmlText("\xDD\xFDuolas & co"), "\xC4\x84\xC5\xBDUOLAS &amp; CO");
  EXPECT_EQ(toXmlText("a\xB3"
                      "b"),
            "AB");                         // box drawing disappears
  EXPECT_EQ(toXmlText("$amp;"), "$AMP;");  // no longer turned into "&amp;"
  EXPECT_EQ(toXmlText("<\"'>"), "&lt;&quot;&apos;&gt;");
  EXPECT_EQ(toXmlText("a\x01\tb\rc"), "A\tBC");  // control bytes go, TAB stays
  EXPECT_EQ(toXmlText("\xE1\xFE\xFF"), "\xC3\x9F\xE2\x96\xA0\xC2\xA0");  // code page 437
}

TEST(JobCodePage, TableAndDecoding) {
  const auto& rows = jobCodePageRows();
  ASSERT_EQ(rows.size(), 29u);
  EXPECT_EQ(rows[0].byte, 0xDC);
  EXPECT_EQ(rows[28].byte, 0xC5);
  EXPECT_EQ(jobTextToUtf8("\xDA\xC4\xBF\xF6"), "\u250C\u2500\u2510\u0160");
  EXPECT_EQ(jobTextToUtf8("\xE0"), "\u03B1");  // not in the table: code page 437
  EXPECT_EQ(cp1257ToUnicode(0xD0), U'\u0160');
}

TEST(PrinterMargins, RoundToWholeMillimetresAndClampOnlyRaises) {
  FakePrinters printers;
  printers.printerNames = {"P"};
  printers.select(0);
  // 600 dpi: top border 99 dots = 4.19 mm, left 100 dots = 4.23 mm.
  printers.metricsValue = {600, 600, 4960, 7016, 100, 99, 4760, 6818};
  const auto m = printerMinMargins(printers);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->top, 4);
  EXPECT_EQ(m->left, 4);
  EXPECT_EQ(m->right, 4);   // 209.97 - 201.51 - 4 = 4.46
  EXPECT_EQ(m->bottom, 4);  // 297.01 - 288.63 - 4 = 4.38

  // At 254 dpi a dot is a tenth of a millimetre: halves go to the even neighbour.
  const Margins ties = marginsFromMetrics({254, 254, 2100, 2970, 25, 35, 2035, 2900});
  EXPECT_EQ(ties.left, 2);   // 2.5
  EXPECT_EQ(ties.right, 4);  // 210 - 203.5 - 2 = 4.5

  float top = 2, bottom = 10, left = 4.5f, right = 0;
  clampMarginsToPrinter(printers, top, bottom, left, right);
  EXPECT_EQ(top, 4);
  EXPECT_EQ(bottom, 10);
  EXPECT_EQ(left, 4.5f);
  EXPECT_EQ(right, 4);
}

TEST(enumFontCharsets, NamesNumbersAndMissingFaces) {
  FakeFonts fonts;
  fonts.faces["Courier Marvena"] = {0, 186, 99};
  EXPECT_EQ(enumFontCharsets(fonts, "Courier Marvena"),
            (std::vector<std::string>{"ANSI_CHARSET", "BALTIC_CHARSET", "Unknown charset 99"}));
  EXPECT_TRUE(enumFontCharsets(fonts, "Nothing").empty());
}

}  // namespace
}  // namespace marvena
