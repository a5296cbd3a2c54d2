#include "office/SlxJob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstring>

#include "BiffRecords.h"
#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"
#include "spool/Dispatcher.h"
#include "spool/JobStatus.h"

namespace marvena {
namespace {

using test::Bytes;
using test::Ids;
using test::le16;
using test::leDouble;
using test::splitRecords;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint16_t kBof = 0x0809, kDim = 0x0200, kCodePage = 0x0042, kFont = 0x0031,
                        kFormat = 0x0043, kHeader = 0x0014, kFooter = 0x0015, kColWidth = 0x0024,
                        kNumber = 0x0003, kLabel = 0x0004, kEof = 0x000A;

struct LineCase {
  std::string line;
  SlxLineKind kind;
  std::int64_t row = 0, column = 0;
  std::string value = {};
};

TEST(SlxLine, CellLinesAndWhatIsNoCell) {
  const LineCase cases[] = {
      {"{0,0}Name", SlxLineKind::Cell, 0, 0, "Name"},
      {"junk{12,3}  text with  blanks \t", SlxLineKind::Cell, 12, 3, "text with  blanks"},
      {"{1,2}", SlxLineKind::Cell, 1, 2, ""},
      {"{ 1,2}x", SlxLineKind::Cell, 1, 2, "x"},
      {"{+1,2}x", SlxLineKind::Cell, 1, 2, "x"},
      {"{0,0}\x01\x02 a}b{ \x1F", SlxLineKind::Cell, 0, 0, "a}b{"},
      {"{65534,255}last", SlxLineKind::Cell, 65534, 255, "last"},
      {"{3,x}abc", SlxLineKind::NotCell},
      {"no braces at all", SlxLineKind::NotCell},
      {"{1,2", SlxLineKind::NotCell},
      {"1,2}", SlxLineKind::NotCell},
      {"{,}", SlxLineKind::NotCell},
      {"{1,}", SlxLineKind::NotCell},
      {"{12}", SlxLineKind::NotCell},
      {"{1,2,3}x", SlxLineKind::NotCell},
      {"}{1,1}", SlxLineKind::NotCell},
      {"{1 ,2}", SlxLineKind::NotCell},
      {"{1,2 }", SlxLineKind::NotCell},
      {"{1.0,2}", SlxLineKind::NotCell},
      {"{-,2}", SlxLineKind::NotCell},
      {"", SlxLineKind::NotCell},
      {"{-1,0}a", SlxLineKind::OutsideSheet},
      {"{0,-1}a", SlxLineKind::OutsideSheet},
      {"{0,256}a", SlxLineKind::OutsideSheet},
      {"{65535,0}a", SlxLineKind::OutsideSheet},
      {"{99999999999999999999999,0}a", SlxLineKind::OutsideSheet},
  };
  for (const LineCase& c : cases) {
    SlxCell cell;
    const SlxLineKind kind = parseSlxLine(c.line, &cell);
    EXPECT_EQ(kind, c.kind) << c.line;
    if (kind != SlxLineKind::Cell) continue;
    EXPECT_EQ(cell.row, c.row) << c.line;
    EXPECT_EQ(cell.column, c.column) << c.line;
    EXPECT_EQ(cell.value, c.value) << c.line;
  }
}

TEST(slxNumber, CommaDecimalsOnly) {
  const std::pair<std::string, std::optional<double>> cases[] = {
      {"12,50", 12.5},
      {"-0,5", -0.5},
      {"+7,0", 7.0},
      {"1234,56", 1234.56},
      {",5", 0.5},
      {"5,", 5.0},
      {"-,25", -0.25},
      {"0,1", 0.1},
      {"1234", std::nullopt},
      {"1.5", std::nullopt},
      {"1 234,56", std::nullopt},
      {",", std::nullopt},
      {"-,", std::nullopt},
      {"1,2,3", std::nullopt},
      {"--1,0", std::nullopt},
      {"1-,0", std::nullopt},
      {"1,0-", std::nullopt},
      {"1e5,0", std::nullopt},
      {"12,5 ", std::nullopt},
      {"abc,1", std::nullopt},
      {"", std::nullopt},
      {std::string(400, '9') + ",0", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(slxNumber(text), expected) << text;
}

TEST(slxOutputName, DigitLedReplacesOthersCount) {
  FakeFileSystem fs;
  fs.dirs.insert("/s");
  EXPECT_EQ(slxOutputName(fs, "/s", "SAL05.slx"), "/s/SAL.XLS");
  fs.put("/s/123.XLS", "old");
  EXPECT_EQ(slxOutputName(fs, "/s", "123.slx"), "/s/123.XLS");
  fs.put("/s/SAL.XLS", "");
  EXPECT_EQ(slxOutputName(fs, "/s", "SAL05.slx"), "/s/SAL001.XLS");
  fs.put("/s/SAL001.XLS", "");
  EXPECT_EQ(slxOutputName(fs, "/s", "SAL.slx"), "/s/SAL002.XLS");
  fs.dirs.insert("/s/SAL002.XLS");  // a directory takes the name too
  EXPECT_EQ(slxOutputName(fs, "/s", "SAL.slx"), "/s/SAL003.XLS");
  EXPECT_EQ(slxOutputName(fs, "/s", "a1b22.slx"), "/s/a1b.XLS");

  for (int n = 3; n <= 999; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/s/SAL%03d.XLS", n);
    fs.put(name, "");
  }
  EXPECT_EQ(slxOutputName(fs, "/s", "SAL.slx"), "/s/SAL000.XLS");  // after 999 comes 000
  fs.put("/s/SAL000.XLS", "");
  EXPECT_EQ(slxOutputName(fs, "/s", "SAL.slx"), std::nullopt);
}

class SlxJobTest : public ::testing::Test {
 protected:
  FakeFileSystem fs;
  FakeClock clock;
  FakeLocale locale;
  JobStatus status;
  SlxJob job{fs, clock, locale, status};

  SlxJobTest() { fs.dirs.insert("/spool"); }

  JobResult runSlx(const std::string& name, std::string content) {
    fs.put("/spool/" + name, std::move(content));
    return job.run({"/spool/" + name, name, *fs.stat("/spool/" + name)});
  }
  std::vector<test::BiffRecord> slxOutput(const std::string& name) {
    EXPECT_TRUE(fs.files.count("/spool/" + name)) << name;
    return splitRecords(fs.files["/spool/" + name]);
  }
  static std::vector<test::BiffRecord> slxCells(const std::vector<test::BiffRecord>& all) {
    std::vector<test::BiffRecord> out;
    for (const auto& r : all)
      if (r.id >= 0x0001 && r.id <= 0x0005) out.push_back(r);
    return out;
  }
};

TEST_F(SlxJobTest, TextAndNumberInTwoColumns) {
  const JobResult r = runSlx("REP.slx", "{0,0}Name\r\n{0,5}12,50\r\n");
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  const auto records = slxOutput("REP.XLS");
  EXPECT_THAT(Ids(records), ElementsAre(kBof, kDim, kCodePage, kFont, kFont, kFormat, kHeader,
                                        kFooter, kColWidth, kColWidth, kLabel, kNumber, kEof));
  EXPECT_EQ(records[2].body, Bytes({0xE9, 0x04}));  // 1257, Windows Baltic
  EXPECT_EQ(records[3].body, Bytes({160, 0, 0x02, 0, 5, 'A', 'r', 'i', 'a', 'l'}));  // italic
  EXPECT_EQ(records[4].body, Bytes({160, 0, 0x01, 0, 5, 'A', 'r', 'i', 'a', 'l'}));  // bold
  // Format 0, which every cell names: font 0, locked, general alignment.
  EXPECT_EQ(records[5].body, Bytes({0, 0, 0x40, 0}));
  EXPECT_EQ(records[6].body, Bytes({7, 'M', 'a', 'r', 'v', 'e', 'n', 'a'}));
  EXPECT_EQ(records[7].body, Bytes({5, '&', 'N', ' ', '&', 'P'}));
  EXPECT_EQ(records[8].body, Bytes({0, 0, 0x00, 0x04}));  // A: 4 characters
  EXPECT_EQ(records[9].body, Bytes({1, 1, 0x00, 0x05}));  // B: 5 characters
  // A1: text in font 0, general alignment.
  EXPECT_EQ(records[10].body, Bytes({0, 0, 0, 0, 0x40, 0x00, 0x00, 4, 'N', 'a', 'm', 'e'}));
  // B1: the number in font 1, right-aligned.
  EXPECT_EQ(records[11].body.substr(0, 7), Bytes({0, 0, 1, 0, 0x40, 0x40, 0x03}));
  EXPECT_EQ(leDouble(records[11].body, 7), 12.5);
  EXPECT_EQ(status.jobBytesDone.load(), status.jobBytesTotal.load());
}

TEST_F(SlxJobTest, WidthsAreCappedAtThirteenAndColumnsLeaveNoGaps) {
  runSlx("W.slx", "{4,7}" + std::string(20, 'w') + "\n{0,2}\n{9,2}ab\n");
  const auto records = slxOutput("W.XLS");
  EXPECT_EQ(records[8].body, Bytes({0, 0, 0, 2}));   // job column 2 -> A, width 2
  EXPECT_EQ(records[9].body, Bytes({1, 1, 0, 13}));  // job column 7 -> B, 20 capped
  const auto cells = slxCells(records);
  ASSERT_EQ(cells.size(), 3u);
  const std::pair<int, int> at[] = {{4, 1}, {0, 0}, {9, 0}};  // sheet row-1, column-1
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(le16(cells[i].body, 0), at[i].first);
    EXPECT_EQ(le16(cells[i].body, 2), at[i].second);
  }
  EXPECT_EQ(cells[1].body.size(), 8u);  // an empty value is an empty LABEL
}

TEST_F(SlxJobTest, AJobWithoutCellsGivesAnEmptySheet) {
  for (const char* content : {"", "no cells here\r\n{x,1}y\r\n"}) {
    fs.files.erase("/spool/E.XLS");
    EXPECT_EQ(runSlx("E.slx", content).kind, JobResult::Kind::Done);
    EXPECT_THAT(Ids(slxOutput("E.XLS")),
                ElementsAre(kBof, kDim, kCodePage, kFont, kFont, kFormat, kHeader, kFooter, kEof));
  }
}

TEST_F(SlxJobTest, ValuesKeepTheirBytesAndLinesStopAtCr) {
  const std::string content = std::string("{0,0}a\0b\x80\xE0\xFF\r\n", 13) +
                              "{1,0}before\rafter\n" + "{2,0}1 234,56\n{3,0}1234\n{4,0}+7,0\n";
  runSlx("B.slx", content);
  const auto cells = slxCells(slxOutput("B.XLS"));
  ASSERT_EQ(cells.size(), 5u);
  EXPECT_EQ(cells[0].body.substr(7), Bytes({6, 'a', 0, 'b', 0x80, 0xE0, 0xFF}));
  EXPECT_EQ(cells[1].body.substr(8), "before");
  EXPECT_EQ(cells[2].body.substr(8), "1 234,56");
  EXPECT_EQ(cells[3].id, kLabel);
  EXPECT_EQ(cells[4].id, kNumber);
  EXPECT_EQ(leDouble(cells[4].body, 7), 7.0);
}

TEST_F(SlxJobTest, CtrlZEndsTheFile) {
  runSlx("Z.slx", "{0,0}a\n{1,0}b\x1A\n{2,0}c\n");
  const auto cells = slxCells(slxOutput("Z.XLS"));
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[1].body.substr(8), "b");
}

TEST_F(SlxJobTest, OddBracesAndOutsideLinesMakeNoCells) {
  const JobResult r = runSlx("O.slx",
                             "{1,2\n{,}\n{1,2,3}x\n}{1,1}\n{-1,3}neg\n{0,256}wide\n{65535,0}low\n"
                             "{0,1}ok\n");
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  EXPECT_THAT(r.detail, HasSubstr("3 lines outside the sheet skipped"));
  const auto records = slxOutput("O.XLS");
  EXPECT_THAT(Ids(records), ElementsAre(kBof, kDim, kCodePage, kFont, kFont, kFormat, kHeader,
                                        kFooter, kColWidth, kLabel, kEof));
  EXPECT_EQ(records[8].body, Bytes({0, 0, 0, 2}));  // only job column 1 is used
}

TEST_F(SlxJobTest, TheSameCellTwiceGivesTwoRecordsInLineOrder) {
  runSlx("T.slx", "{0,0}first\n{0,0}1,5\n{0,0}last\n");
  const auto cells = slxCells(slxOutput("T.XLS"));
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[0].body.substr(8), "first");
  EXPECT_EQ(cells[1].id, kNumber);
  EXPECT_EQ(cells[2].body.substr(8), "last");
  for (const auto& c : cells) EXPECT_EQ(c.body.substr(0, 4), Bytes({0, 0, 0, 0}));
}

TEST_F(SlxJobTest, TenMegabyteValue) {
  runSlx("H.slx",
         "{0,0}" + std::string(10 << 20, 'x') + "\n{0,1}" + std::string(10 << 20, '9') + ",5\n");
  const auto records = slxOutput("H.XLS");
  EXPECT_EQ(records[8].body, Bytes({0, 0, 0, 13}));
  EXPECT_EQ(records[9].body, Bytes({1, 1, 0, 13}));
  const auto cells = slxCells(records);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].body.size(), 8u + 255u);
  EXPECT_EQ(cells[0].body.substr(8), std::string(255, 'x'));
  // Too large for a number: kept as text.
  EXPECT_EQ(cells[1].id, kLabel);
  EXPECT_LT(fs.files["/spool/H.XLS"].size(), 1024u);
}

TEST_F(SlxJobTest, AMillionCellLines) {
  std::string content;
  content.reserve(20 << 20);
  for (int i = 0; i < 1000000; ++i) {
    const int row = i / 16, column = i % 16;
    content += "{" + std::to_string(row) + "," + std::to_string(column) + "}" +
               (column % 2 ? std::to_string(i) + ",25" : "t" + std::to_string(i)) + "\r\n";
  }
  const JobResult r = runSlx("BIG.slx", content);
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  EXPECT_THAT(r.detail, HasSubstr("1000000 cells"));
  const auto cells = slxCells(slxOutput("BIG.XLS"));
  ASSERT_EQ(cells.size(), 1000000u);
  EXPECT_EQ(cells[999999].id, kNumber);
  EXPECT_EQ(leDouble(cells[999999].body, 7), 999999.25);
  EXPECT_EQ(le16(cells[999999].body, 0), 62499);
  EXPECT_EQ(cells[999998].body.substr(8), "t999998");
}

// The job's own line reader takes shortcuts for the usual shapes; every
// shape must still give what the rules say.
TEST_F(SlxJobTest, CellsFollowTheLineAndNumberRulesForEveryShape) {
  const std::string lines[] = {"{0,0}0,1",
                               "{0,1}0,3",
                               "{1,0}1234567,89",
                               "{1,1}123456789012345,6",
                               "{2,0}-0,0",
                               "{2,1},5",
                               "{3,0}5,",
                               "{3,1}+7,0",
                               "{4,0}-,",
                               "{4,1},",
                               "{5,0}1,2,3",
                               "{5,1}9007199254740993,0",
                               "{6,0}0000000000000000001,5",
                               "{6,1}99999999999999999999999999,25",
                               "{7,0}1 234,56",
                               "{7,1}--1,0",
                               "x{ 8,0}a",
                               "{+8,1}b",
                               "{08,02}c",
                               "{9,0}}x",
                               "}{9,1}d",
                               "{123456789012,0}e",
                               "{9,000000000001}f",
                               "{65534,0}g",
                               "{10,0} \t pad \x01",
                               "{10,1}1,0000000000000000000001",
                               "{11,0}x1,5",
                               "{11,1}1,5x",
                               "{12,0}1,5 "};
  std::string content;
  for (const std::string& l : lines) content += l + "\r\n";
  runSlx("S.slx", content);
  const auto cells = slxCells(slxOutput("S.XLS"));
  std::size_t at = 0;
  for (const std::string& l : lines) {
    SlxCell cell;
    if (parseSlxLine(l, &cell) != SlxLineKind::Cell) continue;
    ASSERT_LT(at, cells.size()) << l;
    const test::BiffRecord& r = cells[at++];
    EXPECT_EQ(le16(r.body, 0), cell.row) << l;
    if (const std::optional<double> n = slxNumber(cell.value)) {
      ASSERT_EQ(r.id, kNumber) << l;
      const double got = leDouble(r.body, 7);
      EXPECT_EQ(std::memcmp(&got, &*n, 8), 0) << l << ": " << got << " vs " << *n;
    } else {
      ASSERT_EQ(r.id, kLabel) << l;
      EXPECT_EQ(r.body.substr(8), cell.value) << l;
    }
  }
  EXPECT_EQ(at, cells.size());
}

TEST_F(SlxJobTest, CodePageComesFromTheSettings) {
  ProfileFile settings(fs, "/cfg/MARVENA.INI", '.');
  SlxJob withSettings{fs, clock, locale, status, &settings};
  const std::pair<const char*, std::string> cases[] = {
      {"", Bytes({0xE9, 0x04})},                     // no key: 1257
      {"SlxCodePage=775\n", Bytes({0x07, 0x03})},    // DOS Baltic
      {"slxcodepage=0x4E4\n", Bytes({0xE4, 0x04})},  // 1252
      {"SlxCodePage=abc\n", Bytes({0xE9, 0x04})},
      {"SlxCodePage=0\n", Bytes({0xE9, 0x04})},
      {"SlxCodePage=70000\n", Bytes({0xE9, 0x04})},
  };
  for (const auto& [line, body] : cases) {
    fs.put("/cfg/MARVENA.INI", std::string("[Spool]\n") + line);
    fs.put("/spool/7.slx", "{0,0}a\n");
    ASSERT_EQ(withSettings.run({"/spool/7.slx", "7.slx", *fs.stat("/spool/7.slx")}).kind,
              JobResult::Kind::Done);
    EXPECT_EQ(slxOutput("7.XLS")[2].body, body) << line;
  }
}

TEST_F(SlxJobTest, SheetsTallerThanOldReadersGetAWarning) {
  JobResult r = runSlx("16.slx", "{16383,0}last row old readers show\n");
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  EXPECT_THAT(r.detail, Not(HasSubstr("warning")));
  r = runSlx("17.slx", "{0,0}a\n{16384,0}one row more\n");
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  EXPECT_THAT(r.detail, HasSubstr("warning: 16385 rows"));
  EXPECT_THAT(r.detail, HasSubstr("xlrd"));
  EXPECT_THAT(r.detail, HasSubstr("Gnumeric"));
  EXPECT_THAT(slxCells(slxOutput("17.XLS")), ::testing::SizeIs(2));  // still written whole
}

TEST_F(SlxJobTest, UnreadableJobWaits) {
  fs.put("/spool/U.slx", "{0,0}a");
  fs.unreadable.insert("/spool/U.slx");
  EXPECT_EQ(job.run({"/spool/U.slx", "U.slx", *fs.stat("/spool/U.slx")}).kind,
            JobResult::Kind::NotReady);
  EXPECT_FALSE(fs.files.count("/spool/U.XLS"));
}

TEST_F(SlxJobTest, AllNamesTakenFails) {
  fs.put("/spool/N.XLS", "");
  for (int n = 0; n <= 999; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/spool/N%03d.XLS", n);
    fs.put(name, "");
  }
  const JobResult r = runSlx("N7.slx", "{0,0}a");
  EXPECT_EQ(r.kind, JobResult::Kind::Failed);
  EXPECT_THAT(r.message, HasSubstr("užimti"));
}

// Through the dispatcher: a spool directory where nothing can be written.
TEST(SlxJobDispatch, UnwritableSpoolKeepsTheJobFile) {
  FakeFileSystem fs;
  FakeClock clock;
  FakeLocale locale;
  RecordingMessages messages;
  JobStatus status;
  fs.dirs.insert("/spool");
  fs.dirs.insert("/home/state");
  fs.put("/spool/R.slx", "{0,0}a\n");
  fs.readOnlyDirs.insert("/spool");
  // The tool keeps its own state elsewhere when it may not write the spool.
  DispatcherOptions options;
  options.privateStateDir = [](const std::string&) { return std::string("/home/state"); };
  Dispatcher dispatcher(fs, clock, messages, status, "/spool", options);
  dispatcher.addHandler(std::make_unique<SlxJob>(fs, clock, locale, status));
  dispatcher.setEnabled(true);
  dispatcher.runPass();
  dispatcher.runPass();
  EXPECT_TRUE(fs.files.count("/spool/R.slx"));
  EXPECT_FALSE(fs.files.count("/spool/R.XLS"));
  ASSERT_EQ(messages.errors.size(), 1u);  // shown once, not every pass
  EXPECT_THAT(messages.errors[0], HasSubstr("Nepavyko įrašyti skaičiuoklės failo R.XLS"));

  // Once the directory is writable again the job goes through and is deleted.
  fs.readOnlyDirs.clear();
  fs.put("/spool/R.slx", "{0,0}b\n");
  dispatcher.runPass();
  EXPECT_FALSE(fs.files.count("/spool/R.slx"));
  EXPECT_TRUE(fs.files.count("/spool/R.XLS"));
}

}  // namespace
}  // namespace marvena
