#include <gtest/gtest.h>

#include "ExchangeFakes.h"
#include "office/WebPageJob.h"
#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"

namespace marvena {
namespace {

struct WebPageJobTest : ::testing::Test {
  FakeFileSystem fs;
  FakeUrlOpener opener;
  JobFile put() {
    fs.put("/spool/a.www", "");
    return {"/spool/a.www", "a.www", *fs.stat("/spool/a.www")};
  }
};

TEST_F(WebPageJobTest, OpensTheHomePage) {
  WebPageJob job(fs, opener, "http://example.lt/index.html");
  EXPECT_EQ(job.run(put()).kind, JobResult::Kind::Done);
  EXPECT_EQ(opener.opened, std::vector<std::string>{"http://example.lt/index.html"});
}

TEST_F(WebPageJobTest, UnreadableTriggerIsDroppedWithoutThePage) {
  WebPageJob job(fs, opener, "http://example.lt/");
  const JobFile file = put();
  fs.unreadable.insert(file.path);
  EXPECT_EQ(job.run(file).kind, JobResult::Kind::Done);
  EXPECT_TRUE(opener.opened.empty());
}

TEST_F(WebPageJobTest, BrowserFailurePassesSilently) {
  opener.works = false;
  WebPageJob job(fs, opener, "http://example.lt/");
  const JobResult r = job.run(put());
  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  EXPECT_TRUE(r.message.empty());
}

TEST(ReadHomePageTest, SettingOrDefault) {
  FakeFileSystem fs;
  fs.put("/c/a.ini", "[Spool]\nHomePage=https://x.lt/index.html\n");
  fs.put("/c/b.ini", "[Spool]\nHomePage=\n");
  ProfileFile a(fs, "/c/a.ini", ','), b(fs, "/c/b.ini", ',');
  EXPECT_EQ(readHomePage(&a), "https://x.lt/index.html");
  EXPECT_EQ(readHomePage(&b), kDefaultHomePage);
  EXPECT_EQ(readHomePage(nullptr), kDefaultHomePage);
}

}  // namespace
}  // namespace marvena
