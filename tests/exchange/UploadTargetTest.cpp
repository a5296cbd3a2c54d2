#include <gtest/gtest.h>

#include "exchange/UploadTarget.h"
#include "platform/fake/Fakes.h"

namespace marvena {
namespace {

TEST(SafeFileNameTest, FoldsUnsafeAndLoneLeadBytes) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"\xC5\xA0ilas-5", "Silas-5"},
      {"\xC4\x84\xC4\x85\xC4\x8C\xC4\x8D\xC4\x96\xC4\x98\xC4\x97\xC4\x99\xC4\xAE\xC4\xAF",
       "AaCcEEeeIi"},
      {"\xC5\xA0\xC5\xA1\xC5\xAA\xC5\xB2\xC5\xAB\xC5\xB3\xC5\xBD\xC5\xBE", "SsUUuuZz"},
      {"SF 12/3", "SF 12 3"},
      {"a<b>c:d\"e/f\\g|h.i", "a b c d e f g h i"},
      {std::string("A\0B\tC\x1F", 6), "A B C"},  // trailing blank removed
      {"x ", "x"},
      {" ", " "},                // a single blank stays
      {"x  ", "x "},             // only one trailing blank goes
      {"\xC4", ""},              // lone lead byte at the end
      {"A\xC5Z", "AZ"},          // lead byte before an unknown byte: only the lead goes
      {"\xC4\xC4\x84", "A"},     // the second lead byte still pairs
      {"\xC3\xA9", "\xC3\xA9"},  // other UTF-8 is kept
      {"*?%#", "*?%#"},
  };
  for (const Case& c : cases) EXPECT_EQ(safeFileName(c.in), c.out) << c.in;
}

TEST(ScanDocumentTest, NumberLineAndSecondLine) {
  struct Case {
    std::string doc;
    bool found;
    std::string number;
    bool multiLine, sales;
  };
  const std::string longNumber(300, '7');
  const Case cases[] = {
      {"", false, "", false, false},
      {"<no>", true, "", false, false},
      {"<no>5</no>\r\n", true, "5", false, false},
      {"<no>5</no>\r\nsales\r\n", true, "5", true, true},
      {"<?xml?>\n<doc kind=\"sales\">\n<no>SF 12/3</no>\n", true, "SF 12/3", true, true},
      {"<?xml?>\r<doc>\r<no>7</no>", true, "7", true, false},  // CR alone ends a line
      {"a\r\n\r\n", false, "", true, false},
      {"x\n  <no>9</no>\n", false, "", true, false},  // indented: not a number line
      {"x\n<no>1</no>\n<no>2</no>\n", true, "1", true, false},
      {"<no>A</no>B</no>", true, "A", false, false},
      {"<no>" + longNumber + "</no>", true, std::string(255, '7'), false, false},
      {"<NO>1</NO>\nsales", false, "", true, true},
      {"x\nSales", false, "", true, false},
  };
  for (const Case& c : cases) {
    const DocumentScan s = scanDocument(c.doc);
    EXPECT_EQ(s.found, c.found) << c.doc;
    EXPECT_EQ(s.number, c.number) << c.doc;
    EXPECT_EQ(s.multiLine, c.multiLine) << c.doc;
    EXPECT_EQ(s.sales, c.sales) << c.doc;
  }
}

TEST(DecideUploadTargetTest, KindsAndNames) {
  struct Case {
    std::string base, doc, directory, fileName;
  };
  const Case cases[] = {
      {"CUSTOMER", "<no>1</no>\nsales", "customer", "CUSTOMER.XML"},
      {"STOCK", "", "stock", "STOCK.XML"},
      {"PURCHASE", "x", "purchase", "PURCHASE.XML"},
      {"SALE", "x", "sale", "SALE.XML"},
      {"customer", "x\n<no>C-1</no>\n", "purchase", "C-1.XML"},  // case counts
      {"customer", "x", "", "customer.XML"},
      {"INV", "<?xml?>\n<d>sales</d>\n<no>SF 12/3</no>\n", "sale", "SF123.XML"},
      {"INV", "<?xml?>\n<d/>\n<no>\xC5\xA0ilas-5</no>\n", "purchase", "Silas-5.XML"},
      {"INV", "<?xml?>\n  <no>9</no>\n", "", "INV.XML"},
      {"INV", "<no>9</no>", "", "INV.XML"},  // one line
      {"INV", "", "", "INV.XML"},            // empty file
      {"IN V", "", "", "INV.XML"},           // blanks removed from the base name too
      {"INV", "x\n<no>../../etc/passwd</no>\n", "purchase", "etcpasswd.XML"},
      {"INV", "x\n<no>/</no>\n", "purchase", "INV.XML"},  // nothing left: base name
      {"INV", "x\n<no>  </no>\n", "purchase", "INV.XML"},
      {"INV", std::string("x\n<no>A\0B</no>\n", 15), "purchase", "AB.XML"},
      {"a\\b", "", "", "ab.XML"},
      {"a/b", "", "", "ab.XML"},
      {"a\r\nDELE", "", "", "aDELE.XML"},
  };
  for (const Case& c : cases) {
    const UploadTarget t = decideUploadTarget(c.base, c.doc);
    EXPECT_EQ(t.directory, c.directory) << c.base << " / " << c.doc;
    EXPECT_EQ(t.fileName(), c.fileName) << c.base << " / " << c.doc;
  }
}

TEST(DecideUploadTargetTest, LongNumbersAreCutToAServerFileName) {
  const UploadTarget t = decideUploadTarget("INV", "x\n<no>" + std::string(300, '7') + "</no>\n");
  EXPECT_EQ(t.stem, std::string(kMaxUploadStem, '7'));
  EXPECT_EQ(t.fileName().size(), 255u);

  // Not inside a UTF-8 character.
  std::string number(kMaxUploadStem - 1, 'x');
  number += "\xC3\xA9\xC3\xA9";
  const UploadTarget u = decideUploadTarget("INV", "x\n<no>" + number + "</no>\n");
  EXPECT_EQ(u.stem, std::string(kMaxUploadStem - 1, 'x'));
}

TEST(BaseNameTest, UpToFirstDot) {
  EXPECT_EQ(uploadBaseName("CUSTOMER.FTP"), "CUSTOMER");
  EXPECT_EQ(uploadBaseName("CUSTOMER.2.FTP"), "CUSTOMER");
  EXPECT_EQ(uploadBaseName("x"), "x");
}

TEST(TemporaryUploadNameTest, ShortHiddenAndDistinct) {
  EXPECT_EQ(temporaryUploadName("SALE.XML", 0), ".SALE.XML.aaaaaaaa.part");
  EXPECT_EQ(temporaryUploadName("SALE.XML", 36 + 35), ".SALE.XML.9baaaaaa.part");
  EXPECT_NE(temporaryUploadName("SALE.XML", 1), temporaryUploadName("SALE.XML", 2));

  // The longest upload name stays well inside what servers accept, and is
  // not cut inside a UTF-8 character.
  const std::string longest(255, '7');
  EXPECT_EQ(temporaryUploadName(longest, 0), "." + std::string(40, '7') + ".aaaaaaaa.part");
  const std::string wide = std::string(39, 'x') + "\xC3\xA9.XML";
  EXPECT_EQ(temporaryUploadName(wide, 0), "." + std::string(39, 'x') + ".aaaaaaaa.part");
}

TEST(UploadLogLineTest, TimeLeftOutAtMidnight) {
  FakeLocale locale;
  EXPECT_EQ(uploadLogLine("CUSTOMER", {2026, 3, 4, 10, 30, 5}, locale),
            "CUSTOMER sent on 2026.03.04 10:30:05");
  EXPECT_EQ(uploadLogLine("SF123", {2026, 3, 4, 0, 0, 0}, locale), "SF123 sent on 2026.03.04");
  EXPECT_EQ(uploadLogLine("X", {2026, 3, 4, 0, 0, 1}, locale), "X sent on 2026.03.04 00:00:01");
}

}  // namespace
}  // namespace marvena
