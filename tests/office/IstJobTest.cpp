#include "office/IstJob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fake/Fakes.h"
#include "platform/fake/RecordingSpreadsheet.h"

namespace marvena {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kSep = "\xB3";

TEST(istLines, CrLfOrCrLf) {
  EXPECT_THAT(istLines("a\r\nb\nc\rd"), ElementsAre("a", "b", "c", "d"));
  EXPECT_THAT(istLines("a\r\n"), ElementsAre("a"));
  EXPECT_THAT(istLines("a\n\nb"), ElementsAre("a", "", "b"));
  EXPECT_TRUE(istLines("").empty());
}

TEST(IstSize, TemplateAndPagesAtEachBoundary) {
  struct Case {
    int lines;
    const char* code;
    int pages;
  };
  const Case cases[] = {{0, "", 1},       {1, "009", 1},    {3, "009", 1},     {4, "009", 2},
                        {9, "009", 2},    {10, "117", 3},   {117, "117", 20},  {118, "297", 21},
                        {297, "297", 50}, {298, "597", 51}, {597, "597", 100}, {598, "", 101}};
  for (const Case& c : cases) {
    EXPECT_EQ(istSizeCode(c.lines), c.code) << c.lines;
    EXPECT_EQ(istPageCount(c.lines), c.pages) << c.lines;
  }
  // The pages counted are the sheets filled, and the template has them.
  for (int n = 1; n <= 597; ++n) {
    std::vector<std::string_view> lines(static_cast<std::size_t>(n), "x");
    EXPECT_EQ(static_cast<int>(istFill(lines).size()), istPageCount(n)) << n;
  }
}

TEST(IstSplit, FieldsTrimmedMissingEmptyExtraIgnored) {
  auto f = splitIstLine("no separator at all");
  EXPECT_EQ(f[0], "no separator at all");
  for (int i = 1; i < kIstFieldCount; ++i) EXPECT_EQ(f[i], "") << i;

  std::string thirty;
  for (int i = 1; i <= 30; ++i) thirty += (i > 1 ? kSep : "") + " f" + std::to_string(i) + "\t";
  f = splitIstLine(thirty);
  for (int i = 0; i < kIstFieldCount; ++i) EXPECT_EQ(f[i], "f" + std::to_string(i + 1));

  f = splitIstLine("1" + kSep + "\x01 two \x1F" + kSep + kSep + "four");
  EXPECT_EQ(f[1], "two");
  EXPECT_EQ(f[2], "");
  EXPECT_EQ(f[3], "four");
}

TEST(IstSplit, LongFieldIsCutButTheFieldsAfterItStay) {
  int cut = 0;
  const auto f =
      splitIstLine("1" + kSep + std::string(300, 'x') + kSep + "three" + kSep + "four", &cut);
  EXPECT_EQ(f[1], std::string(255, 'x'));
  EXPECT_EQ(f[2], "three");
  EXPECT_EQ(f[3], "four");
  EXPECT_EQ(cut, 1);
}

TEST(istCellText, CodePageAndControlBytes) {
  EXPECT_EQ(istCellText("\xDC\xDD\xF6\xFD"), "ĄąŠž");
  EXPECT_EQ(istCellText("a\x01\x1F\x7F"
                        "b"),
            "a   b");
  EXPECT_EQ(istCellText(std::string("a\0b", 3)), "a b");
  // Every byte reaches the cell as one character of valid UTF-8.
  std::string all;
  for (int b = 0x80; b <= 0xFF; ++b) all += static_cast<char>(b);
  const std::string text = istCellText(all);
  EXPECT_EQ(text.find('?'), std::string::npos);
  EXPECT_GE(text.size(), 256u);
}

// A line whose field i holds "L<line>F<i>".
std::string Line(int n) {
  std::string s;
  for (int i = 1; i <= kIstFieldCount; ++i)
    s += (i > 1 ? kSep : "") + "L" + std::to_string(n) + "F" + std::to_string(i);
  return s;
}

TEST(istFill, CellMappingAndOrder) {
  std::vector<std::string> owned;
  for (int n = 1; n <= 10; ++n) owned.push_back(Line(n));
  const std::vector<std::string_view> lines(owned.begin(), owned.end());
  const std::vector<IstSheet> sheets = istFill(lines);
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].name, "1-UPS-02-pagrindinis");
  EXPECT_EQ(sheets[1].name, "2-UPS-02-papildomas");
  EXPECT_EQ(sheets[2].name, "3-UPS-02-papildomas");
  ASSERT_EQ(sheets[0].cells.size(), 1u + 3 * 13);
  EXPECT_EQ(sheets[0].cells[0].address, "AB36");
  EXPECT_EQ(sheets[0].cells[0].text, "3");
  std::vector<std::string> first;
  for (int i = 1; i <= 13; ++i)
    first.push_back(sheets[0].cells[i].address + "=" + sheets[0].cells[i].text);
  EXPECT_THAT(first, ElementsAre("B41=1", "D41=L1F2", "B43=L1F13", "O43=L1F3", "S43=L1F4",
                                 "W43=L1F5", "Z43=L1F6", "AD43=L1F7", "L45=L1F8", "V45=L1F9",
                                 "Y45=L1F10", "L47=L1F11", "X47=L1F12"));
  EXPECT_EQ(sheets[0].cells[27].address, "B59");  // slot 3: nine rows further each
  EXPECT_EQ(sheets[0].cells[27].text, "3");
  // Line 4 opens sheet 2 at row 14; line 10 is the first of sheet 3.
  EXPECT_EQ(sheets[1].cells[0].address, "B14");
  EXPECT_EQ(sheets[1].cells[0].text, "4");
  EXPECT_EQ(sheets[1].cells.size(), 6u * 13);
  EXPECT_EQ(sheets[1].cells[13 * 5 + 12].address, "X65");
  EXPECT_EQ(sheets[1].cells[13 * 5 + 12].text, "L9F12");
  EXPECT_EQ(sheets[2].cells[0].text, "10");
  EXPECT_EQ(sheets[2].cells.size(), 13u);
  // Field 1 never reaches the workbook.
  for (const IstSheet& sheet : sheets)
    for (const IstCell& cell : sheet.cells)
      EXPECT_TRUE(cell.text.size() < 3 || cell.text.substr(cell.text.size() - 2) != "F1")
          << cell.text;
}

// --- The job over the fakes --------------------------------------------------

class IstJobTest : public ::testing::Test {
 protected:
  const std::string spool = "/spool";
  const std::string work = "/spool/.marvena/work/1";
  FakeFileSystem fs;
  RecordingSpreadsheet calc;
  IstJob job{fs, calc};

  void SetUp() override {
    fs.dirs = {"/", spool, spool + "/.marvena", spool + "/.marvena/work", work};
    for (const char* code : {"009", "117", "297", "597"})
      fs.put(spool + "/ups_02_" + code + "_template.xls", std::string("template ") + code);
  }
  JobResult run(int dataLines, const std::string& extra = {}) {
    std::string text = "h1\r\nh2\r\nh3\r\n";
    for (int n = 1; n <= dataLines; ++n) text += Line(n) + "\r\n";
    text += extra;
    fs.put(work + "/A.IST", text);
    return job.run(JobFile(work + "/A.IST", "A.IST", *fs.stat(work + "/A.IST"), spool));
  }
  std::string workbook() {
    return fs.files.count(spool + "/ups_02.xls") ? fs.files[spool + "/ups_02.xls"] : "<none>";
  }
};

TEST_F(IstJobTest, FillsAFreshCopyOfTheTemplateAndLeavesItOpen) {
  fs.put(spool + "/ups_02.xls", "last month's form");
  const JobResult r = run(4);
  EXPECT_EQ(r.kind, JobResult::Kind::Done) << r.detail;
  EXPECT_EQ(workbook(), "template 009");
  EXPECT_THAT(calc.calls, ElementsAre("connect", "state /spool/ups_02.xls",
                                      "open /spool/ups_02.xls", "sheet 1-UPS-02-pagrindinis",
                                      "sheet 2-UPS-02-papildomas", "show", "disconnect"));
  EXPECT_EQ(calc.cells["1-UPS-02-pagrindinis"]["AB36"], "2");
  EXPECT_EQ(calc.cells["2-UPS-02-papildomas"]["B14"], "4");
  EXPECT_EQ(calc.order.front(), "1-UPS-02-pagrindinis!AB36");
  EXPECT_EQ(calc.order.size(), 1u + 4 * 13);
  EXPECT_FALSE(fs.files.count(work + "/.ups_02.copy"));  // the copy took the workbook's name
}

TEST_F(IstJobTest, TemplateBySizeAndItsNameInAnyCase) {
  fs.files.erase(spool + "/ups_02_117_template.xls");
  fs.put(spool + "/UPS_02_117_TEMPLATE.XLS", "upper case template");
  EXPECT_EQ(run(10).kind, JobResult::Kind::Done);
  EXPECT_EQ(workbook(), "upper case template");
  EXPECT_EQ(calc.cells["1-UPS-02-pagrindinis"]["AB36"], "3");
}

TEST_F(IstJobTest, LineCountOutOfRangeOrNoTemplateFailsWithoutTheOffice) {
  for (int n : {0, 598}) {
    const JobResult r = run(n);
    EXPECT_EQ(r.kind, JobResult::Kind::Failed) << n;
    EXPECT_THAT(r.message, HasSubstr("nuo 1 iki 597"));
  }
  fs.files.erase(spool + "/ups_02_009_template.xls");
  const JobResult r = run(2);
  EXPECT_EQ(r.kind, JobResult::Kind::Failed);
  EXPECT_THAT(r.message, HasSubstr("ups_02_009_template.xls"));
  EXPECT_TRUE(calc.calls.empty());
  EXPECT_EQ(workbook(), "<none>");
}

TEST_F(IstJobTest, NoOfficeKeepsTheJobAndTheWorkbook) {
  fs.put(spool + "/ups_02.xls", "kept");
  calc.reachable = false;
  const JobResult r = run(2);
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_THAT(r.message, HasSubstr("LibreOffice"));
  EXPECT_EQ(workbook(), "kept");
}

TEST_F(IstJobTest, OpenWorkbookClosedWhenSavedKeptWhenChanged) {
  fs.put(spool + "/ups_02.xls", "the user's unsaved work");
  calc.state = WorkbookState::Modified;
  JobResult r = run(2);
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_THAT(r.message, HasSubstr("uždarykite ankstesnę UPS-02 darbo knygą"));
  EXPECT_EQ(workbook(), "the user's unsaved work");
  EXPECT_THAT(calc.calls, Not(Contains("close /spool/ups_02.xls")));

  calc.calls.clear();
  calc.state = WorkbookState::Unmodified;
  r = run(2);
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  EXPECT_THAT(calc.calls, ElementsAre("connect", "state /spool/ups_02.xls",
                                      "close /spool/ups_02.xls", "open /spool/ups_02.xls",
                                      "sheet 1-UPS-02-pagrindinis", "show", "disconnect"));
}

TEST_F(IstJobTest, MissingSheetStopsTheFillingAndNamesIt) {
  calc.sheets = {"1-UPS-02-pagrindinis"};
  for (int k = 2; k <= 100; ++k)
    if (k != 57) calc.sheets.insert(istSupplementarySheet(k));
  const JobResult r = run(597);
  EXPECT_EQ(r.kind, JobResult::Kind::Failed);
  EXPECT_THAT(r.message, HasSubstr("„57-UPS-02-papildomas“"));
  EXPECT_EQ(calc.cells.count("56-UPS-02-papildomas"), 1u);  // what was written stays
  EXPECT_EQ(calc.cells.count("58-UPS-02-papildomas"), 0u);
  EXPECT_THAT(calc.calls, Contains("show"));
}

TEST_F(IstJobTest, TemplateThatIsNoWorkbookFails) {
  calc.openFails = true;
  const JobResult r = run(2);
  EXPECT_EQ(r.kind, JobResult::Kind::Failed);
  EXPECT_THAT(r.message, HasSubstr("neatidarė"));
}

TEST_F(IstJobTest, OfficeLostWhileFillingKeepsTheJob) {
  calc.unreachableAfterCells = 100;
  const JobResult r = run(20);
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_EQ(calc.order.size(), 100u);
}

TEST_F(IstJobTest, WorkbookThatIsADirectoryFails) {
  fs.dirs.insert(spool + "/ups_02.xls");
  const JobResult r = run(2);
  EXPECT_EQ(r.kind, JobResult::Kind::Failed);
  EXPECT_THAT(r.detail, HasSubstr("is a directory"));
  EXPECT_THAT(calc.calls, Not(Contains("open /spool/ups_02.xls")));
  EXPECT_FALSE(fs.files.count(work + "/.ups_02.copy"));
}

TEST_F(IstJobTest, UnreadableJobWaits) {
  fs.put(work + "/A.IST", "x");
  fs.unreadable.insert(work + "/A.IST");
  EXPECT_EQ(job.run(JobFile(work + "/A.IST", "A.IST", *fs.stat(work + "/A.IST"), spool)).kind,
            JobResult::Kind::NotReady);
}

}  // namespace
}  // namespace marvena
