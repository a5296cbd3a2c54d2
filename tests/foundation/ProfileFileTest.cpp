#include <gtest/gtest.h>

#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"

namespace marvena {
namespace {

constexpr const char* kPath = "/cfg/MARVENA.INI";

struct ProfileFileTest : ::testing::Test {
  FakeFileSystem fs;
  ProfileFile make(std::string text, char sep = ',') {
    fs.put(kPath, std::move(text));
    return ProfileFile(fs, kPath, sep);
  }
};

TEST(ProfileParsing, Integers) {
  struct Case {
    const char* text;
    std::optional<int> value;
  } cases[] = {
      {"12", 12},
      {" -1 ", -1},
      {"0x1F", 31},
      {"0XfF", 255},
      {"$10", 16},
      {"0xFFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"2147483648", {}},
      {"12abc", {}},
      {"", {}},
      {"0x", {}},
      {"1.5", {}},
      {"--1", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(parseProfileInteger(c.text), c.value) << c.text;
}

TEST(ProfileParsing, DecimalsReadEitherSeparatorAndWriteTheLocalOne) {
  EXPECT_EQ(parseProfileDecimal("4,2"), 4.2);
  EXPECT_EQ(parseProfileDecimal("4.2"), 4.2);
  EXPECT_EQ(parseProfileDecimal("-0,5"), -0.5);
  EXPECT_EQ(parseProfileDecimal("1e3"), 1000.0);
  EXPECT_FALSE(parseProfileDecimal("1.234,56"));
  EXPECT_FALSE(parseProfileDecimal("abc"));
  EXPECT_FALSE(parseProfileDecimal("1e999"));
  EXPECT_EQ(formatProfileDecimal(4.2, ','), "4,2");
  EXPECT_EQ(formatProfileDecimal(4.2, '.'), "4.2");
  EXPECT_EQ(formatProfileDecimal(12.5f, ','), "12,5");
  EXPECT_EQ(formatProfileDecimal(0.1f, '.'), "0.100000001490116");  // 15 significant digits
  EXPECT_EQ(formatProfileDecimal(1e20, '.'), "1E20");
  EXPECT_EQ(formatProfileDecimal(-3, ','), "-3");
}

TEST_F(ProfileFileTest, NamesMatchWithoutCaseAndFirstDuplicateWins) {
  ProfileFile f = make(
      "[spool]\r\npath = C:\\X \r\nPATH=second\r\n[Spool]\r\nPaperSize=5\r\n"
      "[Other]\r\nkey\r\n=orphan\r\nk=\"quoted\"\r\n");
  EXPECT_EQ(f.readString("SPOOL", "Path", "d"), "C:\\X");
  EXPECT_FALSE(f.keyExists("Spool", "PaperSize"));    // in the second [Spool]: not seen
  EXPECT_EQ(f.readString("other", "key", "d"), "d");  // a line without "=" is no key
  EXPECT_EQ(f.readString("Other", "k", ""), "quoted");
  EXPECT_TRUE(f.sectionExists("OTHER"));
}

TEST_F(ProfileFileTest, UnparsableValuesReadAsDefault) {
  ProfileFile f = make("[Spool]\nPaperSize=A4\nmmTopMargin=x\nmmLeftMargin=2,5\n", ',');
  EXPECT_EQ(f.readInteger("Spool", "PaperSize", 9), 9);
  EXPECT_EQ(f.readDecimal("Spool", "mmTopMargin", 1.5), 1.5);
  EXPECT_EQ(f.readDecimal("Spool", "mmLeftMargin", 0), 2.5);
  EXPECT_EQ(f.readInteger("Spool", "Missing", -1), -1);
}

TEST_F(ProfileFileTest, HostileFilesGiveDefaultsAndSurviveRewrites) {
  std::string binary =
      std::string("\0\xFF\x01[\x80]\n", 7) + std::string(100 * 1024, 'x') + "\n[Spool\nPath=/trunc";
  ProfileFile f = make(binary);
  EXPECT_EQ(f.readString("Spool", "Path", "def"), "def");  // "[Spool" never closes
  ASSERT_TRUE(f.writeString("Spool", "Path", "/x"));
  EXPECT_EQ(f.readString("Spool", "Path", ""), "/x");
  // The other content is kept as it was.
  EXPECT_NE(fs.files[kPath].find(std::string(100 * 1024, 'x')), std::string::npos);
}

TEST_F(ProfileFileTest, WritesKeepLayoutAndLineEnds) {
  ProfileFile f = make("; note\r\n[Spool]\r\nPath=/s\r\n\r\n[ESSVE]\r\nPath=/e\r\n");
  ASSERT_TRUE(f.writeInteger("spool", "PrinterIndex", 2));
  ASSERT_TRUE(f.writeDecimal("Spool", "mmTopMargin", 4.25));
  ASSERT_TRUE(f.writeString("FR0572", "PSD", "12.5/3"));
  ASSERT_TRUE(f.deleteKey("ESSVE", "path"));
  EXPECT_EQ(fs.files[kPath],
            "; note\r\n[Spool]\r\nPath=/s\r\nPrinterIndex=2\r\nmmTopMargin=4,25\r\n\r\n"
            "[ESSVE]\r\n\r\n[FR0572]\r\nPSD=12.5/3\r\n");
}

TEST_F(ProfileFileTest, SeesChangesMadeByOthersAndMissingFiles) {
  ProfileFile f(fs, "/cfg/none.ini", '.');
  EXPECT_EQ(f.readString("A", "b", "d"), "d");
  fs.dirs.insert("/cfg");
  ASSERT_TRUE(f.writeString("A", "b", "1"));
  fs.put("/cfg/none.ini", "[A]\nb=2\n");
  EXPECT_EQ(f.readString("A", "b", "d"), "2");
}

TEST_F(ProfileFileTest, FailedWriteReportsAndKeepsTheFile) {
  ProfileFile f = make("[Spool]\nPath=/s\n");
  fs.failWrites = true;
  std::string error;
  EXPECT_FALSE(f.writeString("Spool", "Path", "/t", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(fs.files[kPath], "[Spool]\nPath=/s\n");
  EXPECT_EQ(f.readString("Spool", "Path", ""), "/s");
}

TEST_F(ProfileFileTest, AByteOrderMarkBeforeTheFirstSectionIsNoPartOfIt) {
  ProfileFile p = make("\xEF\xBB\xBF[Spool]\r\nPath=/home/b/SPOOL\r\n");
  EXPECT_TRUE(p.sectionExists("Spool"));
  EXPECT_EQ(p.readString("Spool", "Path", "default"), "/home/b/SPOOL");
  // A write keeps the mark and the line ends the editor chose.
  ASSERT_TRUE(p.writeInteger("Spool", "PrinterIndex", 2));
  EXPECT_EQ(fs.files[kPath], "\xEF\xBB\xBF[Spool]\r\nPath=/home/b/SPOOL\r\nPrinterIndex=2\r\n");
  // Only at the very start: elsewhere the bytes are data.
  ProfileFile q = make("[A]\nK=\xEF\xBB\xBFv\n");
  EXPECT_EQ(q.readString("A", "K", ""), "\xEF\xBB\xBFv");
}

std::string Utf16(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

TEST_F(ProfileFileTest, UnicodeFilesOfNotepadAreReadAndWrittenBackTheSameWay) {
  // "Šilutė" in UTF-16: Š U+0160, ė U+0117.
  std::string text = Utf16("[Spool]\r\nPath=/home/b/SPOOL\r\nPrinterInUse=");
  text += std::string("\x60\x01", 2) + Utf16("ilut").substr(2) + std::string("\x17\x01", 2);
  text += Utf16("\r\n").substr(2);
  ProfileFile p = make(text);
  EXPECT_EQ(p.readString("Spool", "Path", "default"), "/home/b/SPOOL");
  EXPECT_EQ(p.readString("Spool", "PrinterInUse", ""), "\u0160ilut\u0117");
  ASSERT_TRUE(p.writeString("Spool", "Font", "Courier \u017Dalias"));
  const std::string written = fs.files[kPath];
  ASSERT_EQ(written.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(utf16LeToUtf8(written.substr(2)),
            "[Spool]\r\nPath=/home/b/SPOOL\r\nPrinterInUse=\u0160ilut\u0117\r\n"
            "Font=Courier \u017Dalias\r\n");
}

TEST(ProfileText, Utf16Conversions) {
  struct Case {
    std::string utf16, utf8;
  } cases[] = {
      {std::string("A\0", 2), "A"},
      {std::string("\x3D\xD8\x00\xDE", 4), "\U0001F600"},  // a surrogate pair
      {std::string("\x3D\xD8"
                   "A\0",
                   4),
       "\uFFFDA"},                             // a lone high half
      {std::string("\x00\xDE", 2), "\uFFFD"},  // a lone low half
      {std::string("A\0B", 3), "A"},           // an odd last byte is dropped
  };
  for (const Case& c : cases) EXPECT_EQ(utf16LeToUtf8(c.utf16), c.utf8);
  EXPECT_EQ(utf8ToUtf16Le("\u0160\U0001F600"), std::string("\x60\x01\x3D\xD8\x00\xDE", 6));
  // Bytes that are not UTF-8 become U+FFFD each, the rest stays.
  EXPECT_EQ(utf8ToUtf16Le("a\xC5"), std::string("a\0\xFD\xFF", 4));
  EXPECT_EQ(utf8ToUtf16Le("\xFFz"), std::string("\xFD\xFFz\0", 4));
}

TEST_F(ProfileFileTest, ALoneCarriageReturnEndsALine) {
  ProfileFile p = make("[Spool]\rPath=/a\r\nSettleMs=5\n\r[B]\rK=v");
  EXPECT_EQ(p.readString("Spool", "Path", ""), "/a");
  EXPECT_EQ(p.readInteger("Spool", "SettleMs", 0), 5);
  EXPECT_EQ(p.readString("B", "K", ""), "v");
}

}  // namespace
}  // namespace marvena
