#include <gtest/gtest.h>

#include "ExchangeFakes.h"
#include "office/ClipboardJob.h"
#include "platform/fake/Fakes.h"

namespace marvena {
namespace {

std::string Utf8(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

TEST(ClipboardTextTest, UnicodeFromTheTableThenWindows1257) {
  struct Case {
    std::string bytes;
    std::u32string text;
  };
  const Case cases[] = {
      {"\xDC\x44\x0D\x0A", U"\u0104D\r\n"},
      {"\xB3\xC4\xC5\xDA\xBF\xC0\xD9\xC3\xB4\xC2\xC1", U"│─┼┌┐└┘├┤┬┴"},
      {"\xDD\xDE\xDF\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD",
       U"ąČčĘęĖėĮįŠšŲųŪūŽž"},
      {"\x80\xE0\xE6", U"€ąę"},           // not in the table: Windows-1257
      {"\x81\xA1", U"\u0081\u00A1"},      // unassigned there: kept as their own value
      {std::string("ab\0cd", 5), U"ab"},  // the text ends at a zero byte
      {"", U""},
  };
  for (const Case& c : cases) EXPECT_EQ(clipboardUnicodeText(c.bytes), Utf8(c.text));
}

TEST(ClipboardTextTest, OemFoldsOnlyTheLetters) {
  EXPECT_EQ(clipboardOemText("\xDC\x44\x0D\x0A"), "AD\r\n");
  EXPECT_EQ(clipboardOemText("\xB3\xC4"), "\xB3\xC4");
  EXPECT_EQ(clipboardOemText("\xDD\xDF\xF1\xF3\xF5\xF7\xF9\xFB\xFD"), "aceeisuuz");
  EXPECT_EQ(clipboardOemText(std::string("A\0B", 3)), "A");
}

struct ClipboardJobTest : ::testing::Test {
  FakeFileSystem fs;
  FakeClipboard clipboard;
  JobFile put(const std::string& bytes) {
    fs.put("/spool/a.CLB", bytes);
    return {"/spool/a.CLB", "a.CLB", *fs.stat("/spool/a.CLB")};
  }
};

TEST_F(ClipboardJobTest, UnicodeUnlessOldWordAndAnOemFormat) {
  struct Case {
    int wordVersion;
    bool platformOem;
    bool expectOem;
  };
  const Case cases[] = {{0, false, false}, {8, false, false}, {11, false, false},
                        {0, true, true},   {8, true, true},   {9, true, false}};
  for (const Case& c : cases) {
    clipboard = FakeClipboard();
    clipboard.oem = c.platformOem;
    ClipboardJob job(fs, clipboard, c.wordVersion);
    EXPECT_EQ(job.run(put("\xDC\x44")).kind, JobResult::Kind::Done);
    if (c.expectOem) {
      EXPECT_EQ(clipboard.oemTexts, std::vector<std::string>{"AD"});
      EXPECT_TRUE(clipboard.texts.empty());
    } else {
      EXPECT_EQ(clipboard.texts, std::vector<std::string>{"\xC4\x84"
                                                          "D"});
      EXPECT_TRUE(clipboard.oemTexts.empty());
    }
  }
}

TEST_F(ClipboardJobTest, EmptyFilePutsEmptyText) {
  ClipboardJob job(fs, clipboard, 0);
  EXPECT_EQ(job.run(put("")).kind, JobResult::Kind::Done);
  EXPECT_EQ(clipboard.texts, std::vector<std::string>{""});
}

TEST_F(ClipboardJobTest, UnreachableClipboardKeepsTheFile) {
  clipboard.reachable = false;
  ClipboardJob job(fs, clipboard, 0);
  const JobResult r = job.run(put("x"));
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_NE(r.message.find("no display"), std::string::npos);
}

TEST_F(ClipboardJobTest, UnreadableFileIsNotReady) {
  ClipboardJob job(fs, clipboard, 0);
  const JobFile file = put("x");
  fs.unreadable.insert(file.path);
  EXPECT_EQ(job.run(file).kind, JobResult::Kind::NotReady);
  EXPECT_TRUE(clipboard.texts.empty());
}

}  // namespace
}  // namespace marvena
