#include "tax/DffJob.h"

#include <gtest/gtest.h>

#include "TaxTestSupport.h"
#include "platform/fake/Fakes.h"

namespace marvena {
namespace {

using test::Count;
using test::fieldValue;
using test::JobBytes;

const DocumentStamp kStamp{"buhalteris", "2026-12-09"};
const std::string kSep = "\xB3";

std::string Row(const std::string& date, const std::string& amount = "10,00") {
  return date + kSep + "SF1" + kSep + "Pirkejas" + kSep + "Adresas" + kSep + amount + kSep +
         amount + kSep;
}

// A job of `lines` lines for a period starting on `start`, rows dated 09.03.15.
std::string Job(std::size_t lines, const std::string& start = "2009.03.01") {
  std::vector<std::string> l = {"UAB", "LT100001234567", "2009.04.20", start, "2009.03.31"};
  l.resize(std::min<std::size_t>(lines, 5));
  while (l.size() < lines) l.push_back(Row("09.03.15"));
  return JobBytes(l);
}

class DffDocument : public test::DocumentTest {
 protected:
  std::string build(const std::string& bytes, const std::string& code = "FR0672",
                    const std::optional<std::string>& identifierFile = std::nullopt) {
    return check(buildDffDocument(code, JobLines(bytes), identifierFile, kStamp));
  }
};

TEST_F(DffDocument, GoldenCurrentLayoutFr0672) {
  const std::string job = JobBytes({
      "\xF5mon\xF3 & Co",
      "LT100001234567",
      "2009.04.20",
      "2009.03.01",
      "2009.03.31",
      "09.03.15" + kSep + "SF<1>" + kSep + "Pirk\xF3jas" + kSep + "Adresas" + kSep + "1234.50" +
          kSep + "100,-" + kSep,
  });
  EXPECT_EQ(build(job, "FR0672", "junk {ABC} more }"),
            test::Golden("dff_fr0672_current_6_lines.ffdata", "\r\n", "\xEF\xBB\xBF"));
}

TEST_F(DffDocument, GoldenEarlierLayoutFr0671WithContinuationPage) {
  std::vector<std::string> lines = {
      "Bendrov\xF3",
      " LT100001234567 ",
      "2008.08.15",
      "2008.07.01",
      "2008.07.31",
      "08.07.03" + kSep + "SF12345678901234567890" + kSep + "UAB Pirk\xF3jas" + kSep +
          "Laisv\xF3s al. 1, Kaunas" + kSep + "1234,50" + kSep + "100,-" + kSep,
      "",
      "",
      "",
      "",
      "",
      "98.12.31" + kSep + "X" + kSep + "Y" + kSep + "Z" + kSep + "-12,34" + kSep + "1234.49" + kSep,
  };
  EXPECT_EQ(build(JobBytes(lines), "FR0671"),
            test::Golden("dff_fr0671_earlier_12_lines.ffdata", "\r\n", "\xEF\xBB\xBF"));
}

TEST_F(DffDocument, LayoutChoice) {
  const struct {
    std::string start;
    DffLayout layout;
  } cases[] = {{"2008.09.01", DffLayout::Current},
               {"2008.08.31", DffLayout::Earlier},
               {"2024.01.01", DffLayout::Current},
               {" 2009.01.01 ", DffLayout::Current},
               {"2008.9.1", DffLayout::Earlier}};  // 200891: read as it stands
  for (const auto& c : cases)
    EXPECT_EQ(chooseDffLayout(JobLines(Job(4, c.start))), c.layout) << c.start;
  EXPECT_EQ(chooseDffLayout(JobLines(Job(3))), DffLayout::Earlier);
  for (const char* bad : {"abc", "2009-03-01", "", "2009.03.01x", "99999999999999999999"}) {
    try {
      chooseDffLayout(JobLines(Job(5, bad)));
      ADD_FAILURE() << bad << " was taken for a date";
    } catch (const BadJobValue& e) {
      EXPECT_EQ(e.line(), 3u);
    }
  }
}

TEST_F(DffDocument, PageArithmeticOfBothLayouts) {
  // job lines, layout start, Pages Count, Page elements
  const struct {
    std::size_t lines;
    const char* start;
    int count, pageElements;
  } cases[] = {
      {4, "2009.03.01", 1, 1},
      {5, "2009.03.01", 1, 1},
      {6, "2009.03.01", 2, 2},
      {9, "2009.03.01", 2, 2},
      {10, "2009.03.01", 3, 3},
      {0, "", 0, 1},
      {1, "", 0, 1},
      {5, "2008.01.01", 0, 1},
      {6, "2008.01.01", 1, 1},
      {11, "2008.01.01", 1, 1},
      {12, "2008.01.01", 2, 2},
      {19, "2008.01.01", 2, 2},
      {20, "2008.01.01", 3, 3},
  };
  for (const auto& c : cases) {
    const std::string doc = build(Job(c.lines, c.start));
    EXPECT_NE(doc.find("<Pages Count=\"" + std::to_string(c.count) + "\">"), std::string::npos)
        << c.lines << " lines from " << c.start;
    EXPECT_EQ(Count(doc, "<Page "), static_cast<std::size_t>(c.pageElements)) << c.lines;
  }
  // Earlier layout: slot 1 of the first continuation page holds row 7.
  const std::string doc = build(Job(12, "2008.01.01"));
  EXPECT_EQ(fieldValue(doc, "E7-1", 1), "7");
  EXPECT_EQ(fieldValue(doc, "E7-2", 1), "");
  // Current layout: the index names the appendix page even without rows.
  EXPECT_EQ(Count(build(Job(5)), "<ListPage>FR0672P</ListPage>"), 1u);
}

TEST_F(DffDocument, Fr0671CurrentLayoutHasItsOwnFields) {
  const std::string doc = build(Job(6), "FR0671");
  EXPECT_NE(doc.find("<Fields Count=\"12\">"), std::string::npos);
  EXPECT_NE(doc.find("<Fields Count=\"43\">"), std::string::npos);
  EXPECT_EQ(Count(doc, "\"E23\""), 0u);
  EXPECT_EQ(fieldValue(doc, "E19"), "");
  EXPECT_EQ(fieldValue(doc, "E20"), "");
  EXPECT_EQ(Count(doc, "\"P17-"), 0u);
  EXPECT_EQ(Count(doc, "\"P20\""), 0u);
  EXPECT_EQ(fieldValue(doc, "P16-1"), "1");
  EXPECT_EQ(fieldValue(doc, "P16-2"), "0");
  EXPECT_EQ(fieldValue(doc, "P17"), "");
  EXPECT_EQ(fieldValue(doc, "P18"), "");
  EXPECT_NE(doc.find("FormDefId=\"{92F661B8-2B7B-44D3-BCAE-F6E34514BE99}\""), std::string::npos);
}

TEST_F(DffDocument, OtherFormCodes) {
  const std::string doc = build(Job(6), "XX1", "{ABC}");
  EXPECT_NE(doc.find("<Form FormDefId=\"\">"), std::string::npos);
  EXPECT_EQ(Count(doc, "\"P16-"), 0u);
  EXPECT_EQ(Count(doc, "\"P17-"), 0u);
  EXPECT_NE(doc.find("<ListPage>XX1P</ListPage>"), std::string::npos);
  const std::string earlier = build(Job(12, "2008.01.01"), "A&B");
  EXPECT_NE(earlier.find("PageDefName=\"A&amp;BP\""), std::string::npos);
  EXPECT_NE(earlier.find("<Field Name=\"\"></Field>"), std::string::npos);
}

TEST_F(DffDocument, RowValues) {
  std::vector<std::string> lines = {"UAB", "LT1", "2009.04.20", "2009.03.01", "2009.03.31"};
  lines.push_back(Row("09.03.15", "1234.50"));
  lines.push_back(Row("98.12.31", "100,-"));
  lines.push_back(kSep + "x" + kSep);  // no date: no row number
  const std::string doc = build(JobBytes(lines));
  EXPECT_EQ(fieldValue(doc, "P8-1"), "2009-03-15");
  EXPECT_EQ(fieldValue(doc, "P8-2"), "1998-12-31");
  EXPECT_EQ(fieldValue(doc, "P10-1"), "1234,50");
  EXPECT_EQ(fieldValue(doc, "P10-2"), "100,00");
  EXPECT_EQ(fieldValue(doc, "P7-3"), "");
  EXPECT_EQ(fieldValue(doc, "P9-3"), "X");
  EXPECT_EQ(fieldValue(doc, "P16-3"), "");
  EXPECT_EQ(fieldValue(doc, "P17-3"), "0");
}

TEST_F(DffDocument, CountryPrefix) {
  // job line 1 -> E1, B_MM_PVM (current layout), B_MM_PVM (earlier layout, first page)
  const struct {
    std::string line, e1, pvm, earlier;
  } cases[] = {
      {"LT100001234567", "LT", "100001234567", "100001234567"},
      {"  LT100001234567  ", "LT", "100001234567", "100001234567"},
      {"100001234567", "100001234567", "100001234567", "100001234567"},
      {"lt123", "lt123", "lt123", "lt123"},
      {"LT", "LT", "LT", ""},
      {"DE1<2", "DE", "1&lt;2", "DE1&lt;2"},
  };
  for (const auto& c : cases) {
    const std::string bytes = JobBytes({"UAB", c.line, "2009.04.20", "2009.03.01", "2009.03.31"});
    const std::string current = build(bytes);
    EXPECT_EQ(fieldValue(current, "E1"), c.e1) << c.line;
    EXPECT_EQ(fieldValue(current, "B_MM_PVM"), c.pvm) << c.line;
    const std::string earlier =
        build(JobBytes({"UAB", c.line, "2008.04.20", "2008.03.01", "2008.03.31"}));
    EXPECT_EQ(fieldValue(earlier, "B_MM_PVM"), c.earlier) << c.line;
  }
}

TEST_F(DffDocument, MissingHeaderLinesKeepTheirPlaceholders) {
  const std::string doc = build(JobBytes({"UAB"}));
  EXPECT_EQ(fieldValue(doc, "B_MM_Pavad"), "UAB");
  EXPECT_EQ(fieldValue(doc, "B_MM_PVM"), "??");
  EXPECT_EQ(fieldValue(doc, "B_ML_Iki"), "??");
  EXPECT_NE(doc.find("FormDefId=\"{AE191E03-940C-42B9-8484-86E519971110}\""), std::string::npos);
}

TEST(DffIdentifier, FromTheIdentifierFile) {
  std::string late(40000, 'x');
  late[100] = '{';
  late.back() = '}';
  std::string megabyte(1 << 20, 'z');
  megabyte.replace(5, 7, "{G-U-I}");
  const struct {
    std::string bytes, id;
  } cases[] = {
      {"x{ABC}y{DEF}", "{ABC}"},
      {"no brace", ""},
      {"", ""},
      {"{ABC", ""},  // cut short: not an identifier
      {"}{A}", "{A}"},
      {"{" + std::string(253, 'a') + "}", "{" + std::string(253, 'a') + "}"},
      {"{" + std::string(254, 'a') + "}", ""},
      {late, ""},
      {megabyte, "{G-U-I}"},
      {std::string(40000, ' ') + "{X}", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(identifierFromFile(c.bytes), c.id) << c.bytes.size();
}

TEST(DffAmounts, BothLayouts) {
  EXPECT_EQ(currentDffAmount("1234.50"), "1234,50");
  EXPECT_EQ(currentDffAmount("100,-"), "100,00");
  EXPECT_EQ(currentDffAmount(""), "");
  const struct {
    const char* text;
    std::optional<long long> units;
  } cases[] = {
      {"1234,50", 1235},        {"1234,49", 1234},
      {"100,-", 100},           {"1234.50", 1235},
      {"-12,34", -12},          {"-12,50", -12},
      {"-12,51", -13},          {"0,49", 0},
      {"abc", std::nullopt},    {"1 234,50", std::nullopt},
      {"12,34-", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(earlierDffAmount(c.text), c.units) << c.text;
}

TEST(dffFormCode, FromTheJobName) {
  EXPECT_EQ(dffFormCode("fr0671.dff"), "FR0671");
  EXPECT_EQ(dffFormCode("Fr0672.x.DFF"), "FR0672");
  EXPECT_EQ(dffFormCode("noext"), "NOEXT");
}

struct DffHandler : test::DocumentTest {
  FakeFileSystem fs;
  FakeClock clock;
  FakeLocale locale;
  DffJob job{fs, clock, locale};

  JobResult run(const std::string& name) {
    return job.run({"/spool/" + name, name, *fs.stat("/spool/" + name)});
  }
};

TEST_F(DffHandler, IdentifierFileFoundWithoutRegardToCase) {
  fs.put("/spool/fr0671.dff", Job(6));
  fs.put("/spool/Fr0671.MXFD", "FormDefId {1234}\r\n");
  EXPECT_EQ(run("fr0671.dff").kind, JobResult::Kind::Done);
  const std::string doc = check(fs.files["/spool/fr0671.ffdata"]);
  EXPECT_EQ(doc.rfind("\xEF\xBB\xBF<?xml", 0), 0u);
  EXPECT_NE(doc.find("<Form FormDefId=\"{1234}\">"), std::string::npos);
  EXPECT_NE(doc.find("<ListPage>FR0671</ListPage>"), std::string::npos);
  EXPECT_EQ(Count(doc, "\r\n"), Count(doc, "\n"));
  EXPECT_EQ(doc.substr(doc.size() - 11), "</FFData>\r\n");

  fs.unreadable.insert("/spool/Fr0671.MXFD");
  EXPECT_EQ(run("fr0671.dff").kind, JobResult::Kind::Done);
  EXPECT_NE(fs.files["/spool/fr0671.ffdata"].find("{92F661B8-2B7B-44D3-BCAE-F6E34514BE99}"),
            std::string::npos);
}

TEST_F(DffHandler, BadPeriodStartKeepsTheJob) {
  fs.put("/spool/FR0672.DFF", Job(6, "kovo 1"));
  const JobResult r = run("FR0672.DFF");
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_NE(r.message.find("4 eilutėje"), std::string::npos) << r.message;
  EXPECT_EQ(fs.files.count("/spool/FR0672.ffdata"), 0u);
  fs.unreadable.insert("/spool/FR0672.DFF");
  EXPECT_EQ(run("FR0672.DFF").kind, JobResult::Kind::NotReady);
}

}  // namespace
}  // namespace marvena
