// Which file a declaration is written to when its name is already taken,
// and that a document streamed to its file is the one built in memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TaxTestSupport.h"
#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"
#include "tax/DffJob.h"
#include "tax/MffJob.h"
#include "tax/SamJob.h"

namespace marvena {
namespace {

using test::JobBytes;
using ::testing::HasSubstr;

std::string mffJobFile(int rows) {
  std::vector<std::string> lines = {"UAB Imone",  "123456789", "Vilniaus g. 1",
                                    "2009.03.31", "2009.03",   ""};
  for (int i = 1; i <= rows; ++i)
    lines.push_back("Vardas\xB3Pavarde\xB3LT\xB3" + std::to_string(i) + "\xB3" +
                    "12,50\xB3"
                    "01");
  return JobBytes(lines);
}

std::string samJobFile(int rows) {
  std::vector<std::string> lines(17, "");
  lines[1] = "1234567";
  lines[6] = "31";
  lines[7] = "2009.03";
  for (int i = 1; i <= rows; ++i)
    lines.push_back(
        "Jonas Jonaitis\xB3"
        "38001011234\xB3"
        "AB 1234567\xB3"
        "100,50\xB3"
        "31");
  return JobBytes(lines);
}

struct DocumentNames : test::DocumentTest {
  FakeFileSystem fs;
  FakeClock clock;
  FakeLocale locale;
  ProfileFile settings{fs, "/cfg/MARVENA.INI", ','};
  MffJob mff{fs, clock, locale, settings};
  SamJob sam{fs, clock, locale};
  DffJob dff{fs, clock, locale};

  DocumentNames() { locale.separator = ','; }

  JobResult run(JobHandler& handler, const std::string& name, const std::string& bytes) {
    fs.put("/spool/" + name, bytes);
    JobResult r = handler.run({"/spool/" + name, name, *fs.stat("/spool/" + name)});
    fs.files.erase("/spool/" + name);  // done: the dispatcher deletes it
    return r;
  }
  std::string kindOf(const std::string& path) { return documentKind(fs.files[path]); }
};

TEST(DocumentKindOf, TheMainPageNamesTheKind) {
  EXPECT_EQ(documentKind(buildMffDocument(JobLines(mffJobFile(1)), {"u", "d"}, {})), "FR0572");
  EXPECT_EQ(documentKind(buildSamDocument(JobLines(samJobFile(1)), ',', "d")), "SAM");
  // The earlier FR0671 layout has no page index: its first page names it.
  EXPECT_EQ(documentKind("<?xml version=\"1.0\"?>\r\n<FFData Version=\"1\">\r\n<Form>\r\n"
                         "<Pages Count=\"1\">\r\n<Page PageDefName=\"FR0671\" PageNumber=\"1\">"),
            "FR0671");
  EXPECT_EQ(documentKind("<ListPage>SAM</ListPage> but no document"), "");
  EXPECT_EQ(documentKind("old"), "");
  EXPECT_EQ(documentKind(""), "");
}

TEST_F(DocumentNames, DeclarationsOfTwoKindsKeepEachOther) {
  JobResult r = run(mff, "A.MFF", mffJobFile(1));
  ASSERT_EQ(r.kind, JobResult::Kind::Done) << r.detail;
  r = run(sam, "A.SAM", samJobFile(1));
  ASSERT_EQ(r.kind, JobResult::Kind::Done) << r.detail;
  EXPECT_THAT(r.detail, HasSubstr("A.ffdata holds FR0572"));
  EXPECT_THAT(r.detail, HasSubstr("wrote /spool/A-SAM.ffdata"));
  EXPECT_EQ(kindOf("/spool/A.ffdata"), "FR0572");
  EXPECT_EQ(kindOf("/spool/A-SAM.ffdata"), "SAM");
  check(fs.files["/spool/A.ffdata"]);
  check(fs.files["/spool/A-SAM.ffdata"]);

  // Re-submitted jobs replace their own documents and nothing else.
  run(sam, "A.SAM", samJobFile(2));
  run(mff, "A.MFF", mffJobFile(5));
  EXPECT_EQ(test::Count(fs.files["/spool/A-SAM.ffdata"], "<Field Name=\"RowNumber_2\">2<"), 1u);
  EXPECT_EQ(test::Count(fs.files["/spool/A.ffdata"], "<Page "), 3u);
  EXPECT_EQ(fs.files.count("/spool/A-MFF.ffdata") + fs.files.count("/spool/A-SAM-2.ffdata"), 0u);

  // The other way round and with a third kind.
  run(sam, "B.SAM", samJobFile(1));
  run(mff, "B.MFF", mffJobFile(1));
  EXPECT_EQ(kindOf("/spool/B.ffdata"), "SAM");
  EXPECT_EQ(kindOf("/spool/B-MFF.ffdata"), "FR0572");
  run(mff, "FR0671.MFF", mffJobFile(1));
  r = run(dff, "FR0671.DFF", JobBytes({"UAB", "1", "2009.01.01", "2009.01.01", "2009.03.31"}));
  ASSERT_EQ(r.kind, JobResult::Kind::Done) << r.detail;
  EXPECT_EQ(kindOf("/spool/FR0671.ffdata"), "FR0572");
  EXPECT_EQ(kindOf("/spool/FR0671-DFF.ffdata"), "FR0671");
}

TEST_F(DocumentNames, AFileThatIsNoDeclarationIsKept) {
  fs.put("/spool/C.ffdata", "notes of the user");
  fs.put("/spool/C-MFF.ffdata", buildSamDocument(JobLines(samJobFile(1)), ',', "d"));
  const JobResult r = run(mff, "C.MFF", mffJobFile(1));
  ASSERT_EQ(r.kind, JobResult::Kind::Done) << r.detail;
  EXPECT_THAT(r.detail, HasSubstr("C.ffdata holds no declaration of ours"));
  EXPECT_EQ(fs.files["/spool/C.ffdata"], "notes of the user");
  EXPECT_EQ(kindOf("/spool/C-MFF.ffdata"), "SAM");
  EXPECT_EQ(kindOf("/spool/C-MFF-2.ffdata"), "FR0572");
}

TEST_F(DocumentNames, StreamedDocumentsAreTheOnesBuiltInMemory) {
  // Large enough to go to the file in many pieces.
  const std::string mffBytes = mffJobFile(3001), samBytes = samJobFile(3001);
  ASSERT_EQ(run(mff, "D.MFF", mffBytes).kind, JobResult::Kind::Done);
  ASSERT_EQ(run(sam, "E.SAM", samBytes).kind, JobResult::Kind::Done);
  const DocumentStamp stamp{creatorLogin(locale.userName()), createdOnDate(clock.localNow())};
  const std::string mffDoc = buildMffDocument(JobLines(mffBytes), stamp, {});
  EXPECT_GT(mffDoc.size(), 1u << 20);
  EXPECT_TRUE(fs.files["/spool/D.ffdata"] == mffDoc);
  EXPECT_TRUE(fs.files["/spool/E.ffdata"] ==
              buildSamDocument(JobLines(samBytes), ',', createdOnDate(clock.localNow())));

  // A value that is no number part way through: nothing is put in place.
  std::string bad = mffJobFile(3000) + "x\xB3y\xB3z\xB3w\xB3" + "abc\xB3" + "01\r\n";
  const JobResult r = run(mff, "F.MFF", bad);
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_EQ(fs.files.count("/spool/F.ffdata"), 0u);
}

}  // namespace
}  // namespace marvena
