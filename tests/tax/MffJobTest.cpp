#include "tax/MffJob.h"

#include <gtest/gtest.h>

#include "TaxTestSupport.h"
#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"

namespace marvena {
namespace {

using test::Count;
using test::fieldValue;
using test::JobBytes;

const DocumentStamp kStamp{"buhalteris", "2026-12-09"};
const std::string kSep = "\xB3";

std::string Row(int n, const std::string& amount = "100") {
  return "Vardas" + std::to_string(n) + kSep + "Pavarde" + kSep + "LT" + kSep + "380" + kSep +
         amount + kSep + "01";
}

std::vector<std::string> Header() {
  return {"UAB Test", "123456789", "Vilnius", "2009.03.31", "2009.03", "not read"};
}

std::vector<std::string> withRows(std::size_t rows) {
  std::vector<std::string> lines = Header();
  for (std::size_t i = 1; i <= rows; ++i) lines.push_back(Row(static_cast<int>(i)));
  return lines;
}

class MffDocument : public test::DocumentTest {
 protected:
  std::string build(const std::string& bytes, PsdSplit split = {}) {
    return check(buildMffDocument(JobLines(bytes), kStamp, split));
  }
};

TEST_F(MffDocument, GoldenWithOneAppendixPage) {
  const std::string job = JobBytes({
      "UAB \"\xDC\xFDuolas\" & Co",
      "123456789",
      "Vilniaus g. 1, Vilnius",
      "2009.03.31",
      "2009.03",
      "ignored <text>",
      "  \xF7"
      "ar\xFBnas \xB3 Petraitis \xB3 LT \xB3 38001010000 \xB3 1234,56 \xB3 01",
  });
  EXPECT_EQ(build(job), test::Golden("mff_7_lines.ffdata", "\r\n"));
}

TEST_F(MffDocument, GoldenWithMissingHeaderLines) {
  EXPECT_EQ(build(JobBytes({"\xF5mon\xF3", "300", "Kaunas"})),
            test::Golden("mff_3_lines.ffdata", "\r\n"));
}

TEST_F(MffDocument, PageArithmetic) {
  // job lines -> Pages Count
  const std::pair<std::size_t, int> cases[] = {{0, 1},  {1, 1},  {6, 1},  {7, 2},
                                               {10, 2}, {11, 3}, {14, 3}, {15, 4}};
  for (const auto& [lines, pages] : cases) {
    std::vector<std::string> job = withRows(lines > 6 ? lines - 6 : 0);
    job.resize(lines);
    const std::string doc = build(JobBytes(job));
    EXPECT_NE(doc.find("<Pages Count=\"" + std::to_string(pages) + "\">"), std::string::npos)
        << lines << " lines";
    EXPECT_EQ(Count(doc, "<Page PageDefName=\"FR0572A\""), static_cast<std::size_t>(pages - 1));
    EXPECT_EQ(Count(doc, "<ListPage>FR0572A</ListPage>"), 1u);  // the index names it anyway
  }
}

TEST_F(MffDocument, SlotsAndPageNumbers) {
  const std::string doc = build(JobBytes(withRows(5)));  // 11 lines
  EXPECT_EQ(fieldValue(doc, "A1-1", 0), "1");
  EXPECT_EQ(fieldValue(doc, "A1-4", 0), "4");
  EXPECT_EQ(fieldValue(doc, "A1-1", 1), "5");  // page 3, slot 1
  EXPECT_EQ(fieldValue(doc, "A3-1", 1), "VARDAS5");
  EXPECT_EQ(fieldValue(doc, "A1-2", 1), "");  // last page: empty slots
  EXPECT_EQ(fieldValue(doc, "A16-2", 1), "");
  EXPECT_EQ(fieldValue(doc, "A18-4", 1), "");
  EXPECT_EQ(fieldValue(doc, "LapoNr", 0), "1");
  EXPECT_EQ(fieldValue(doc, "LapoNr", 1), "2");
  EXPECT_NE(doc.find("<Page PageDefName=\"FR0572A\" PageNumber=\"3\">"), std::string::npos);
}

TEST_F(MffDocument, SplitSettingGoesToA7AndA18) {
  std::vector<std::string> job = Header();
  job.push_back(Row(1, "210"));
  const std::string doc = build(JobBytes(job), {15, 6});
  EXPECT_EQ(fieldValue(doc, "A7-1"), "150");
  EXPECT_EQ(fieldValue(doc, "A18-1"), "60");
  // A ratio adding up to 0 must not divide by zero: the default split.
  const std::string zero = build(JobBytes(job), {0, 0});
  EXPECT_EQ(fieldValue(zero, "A7-1"), "210");
  EXPECT_EQ(fieldValue(zero, "A18-1"), "0");
}

TEST_F(MffDocument, UnreadableAmountIsRefused) {
  for (const char* amount : {"1.234,56", "abc", "1e999999"}) {
    std::vector<std::string> job = Header();
    job.push_back(Row(1));
    job.push_back(Row(2, amount));
    try {
      buildMffDocument(JobLines(JobBytes(job)), kStamp, {});
      ADD_FAILURE() << amount << " was accepted";
    } catch (const BadJobValue& bad) {
      EXPECT_EQ(bad.line(), 7u);
    }
  }
}

TEST_F(MffDocument, HostileBytesStayWellFormed) {
  std::string all;
  for (int b = 0x80; b <= 0xFF; ++b) all.push_back(static_cast<char>(b));
  const std::string nasty = all + "<&>\"'\x01\x7F";
  std::vector<std::string> job(6, nasty);
  std::string field = nasty;
  field.erase(field.find('\xB3'), 1);
  job.push_back(field + kSep + "b<&" + kSep + "c" + kSep + "d" + kSep + "5" + kSep + "\x80\xFF<");
  const std::string doc = build(JobBytes(job));
  EXPECT_EQ(fieldValue(doc, "A7-1"), "5");
  EXPECT_EQ(Count(doc, "<Page "), 2u);
}

TEST_F(MffDocument, HundredThousandRows) {
  std::string bytes = JobBytes(Header());
  for (int i = 1; i <= 100000; ++i) bytes += Row(i, "123456,78") + "\r\n";
  const std::string doc = build(bytes);
  EXPECT_NE(doc.find("<Pages Count=\"25001\">"), std::string::npos);
  EXPECT_NE(doc.find("<Field Name=\"A1-4\">100000</Field>"), std::string::npos);
  EXPECT_EQ(Count(doc, ">123457</Field>"), 100000u);
}

struct MffHandler : test::DocumentTest {
  FakeFileSystem fs;
  FakeClock clock;
  FakeLocale locale;
  ProfileFile settings{fs, "/cfg/MARVENA.INI", ','};
  MffJob job{fs, clock, locale, settings};

  JobResult run(const std::string& name) {
    return job.run({"/spool/" + name, name, *fs.stat("/spool/" + name)});
  }
};

TEST_F(MffHandler, WritesTheDocumentBesideTheJobAndReadsPsdEveryRun) {
  std::vector<std::string> lines = Header();
  lines.push_back(Row(1, "210"));
  fs.put("/spool/x.MFF", JobBytes(lines));
  EXPECT_EQ(run("x.MFF").kind, JobResult::Kind::Done);
  EXPECT_EQ(fieldValue(check(fs.files["/spool/x.ffdata"]), "A7-1"), "210");

  fs.put("/cfg/MARVENA.INI", "[FR0572]\nPSD=15/6\n");
  EXPECT_EQ(run("x.MFF").kind, JobResult::Kind::Done);
  EXPECT_EQ(fieldValue(fs.files["/spool/x.ffdata"], "A18-1"), "60");

  locale.user = "";
  EXPECT_EQ(run("x.MFF").kind, JobResult::Kind::Done);
  EXPECT_NE(fs.files["/spool/x.ffdata"].find("CreatedByLogin=\"Marvena\""), std::string::npos);
}

TEST_F(MffHandler, FailuresLeaveTheJobAndNoDocument) {
  fs.put("/spool/a.MFF", JobBytes(Header()));
  fs.unreadable.insert("/spool/a.MFF");
  EXPECT_EQ(run("a.MFF").kind, JobResult::Kind::NotReady);

  std::vector<std::string> lines = Header();
  lines.push_back(Row(1, "abc"));
  fs.put("/spool/b.MFF", JobBytes(lines));
  const JobResult bad = run("b.MFF");
  EXPECT_EQ(bad.kind, JobResult::Kind::Kept);
  EXPECT_NE(bad.message.find("7 eilutėje"), std::string::npos) << bad.message;

  fs.put("/spool/c.MFF", JobBytes(Header()));
  fs.failWrites = true;
  EXPECT_EQ(run("c.MFF").kind, JobResult::Kind::Kept);
  EXPECT_EQ(fs.files.count("/spool/a.ffdata") + fs.files.count("/spool/b.ffdata") +
                fs.files.count("/spool/c.ffdata"),
            0u);
}

}  // namespace
}  // namespace marvena
