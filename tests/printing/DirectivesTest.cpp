#include "printing/Directives.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "platform/fake/Fakes.h"

namespace marvena {
namespace {

TEST(DirectiveArguments, Integers) {
  const struct {
    const char* arg;
    int value;
  } cases[] = {
      {"12", 12},  {"  12", 12}, {"12pt", 12},
      {"-5", -5},  {"-5pt", 5},  {"+7", 7},
      {"$1F", 31}, {"0x1f", 31}, {"0X10", 16},
      {"$", 0},    {"", 0},      {"abc", 0},
      {"-", 0},    {"0", 0},     {"4000", 4000},
      {"12 ", 12}, {"-12 ", 12}, {"99999999999", 999999999},
      {"0x", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(parseDirectiveInteger(c.arg), c.value) << c.arg;
}

TEST(DirectiveArguments, Decimals) {
  const struct {
    const char* arg;
    double value;
  } cases[] = {
      {"12.5", 12.5},     {" 10", 10},
      {"-3.25mm", -3.25}, {"1e2", 100},
      {"1.5E-1", 0.15},   {"7e", 7},
      {"7e+", 7},         {".5", 0.5},
      {"5.", 5},          {"", 0},
      {"abc", 0},         {"12,5", 12},
      {"1e308", 1e308},   {"1e999", DBL_MAX},
      {"1e-999", 0},      {"-1e999", -DBL_MAX},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(parseDirectiveDecimal(c.arg), c.value) << c.arg;
  EXPECT_EQ(toSingle(1e308), FLT_MAX);
  EXPECT_EQ(toSingle(-1e308), -FLT_MAX);
}

TEST(DirectiveArguments, KeywordAnywhereAndArgumentCutAt255) {
  EXPECT_EQ(directiveArgument("@ x @SIZE=12", "@SIZE=").value(), "12");
  EXPECT_FALSE(directiveArgument("@SIZE 12", "@SIZE=").has_value());
  const std::string longLine = "@FONT=" + std::string(300, 'A');
  EXPECT_EQ(directiveArgument(longLine, "@FONT=")->size(), 255u);
}

PrintSettings Apply(std::initializer_list<const char*> lines) {
  PrintSettings ps;
  ps.pageFrom = 1;
  ps.pageTo = 65535;
  for (const char* l : lines) applyJobDirectives(l, ps);
  return ps;
}

TEST(JobDirectives, EveryKeywordOfTheTable) {
  const PrintSettings ps = Apply({"@PRINTER_INDEX=2", "@ORIENTATION=LANDSCAPE", "@FONT=Arial",
                                  "@SIZE=12pt", "@MARGIN.LEFT=12.5", "@MARGIN.TOP=1e1",
                                  "@MARGIN.RIGHT=3", "@MARGIN.BOTTOM=4", "@MARGIN.SPLITTER=10",
                                  "@PAGE.FROM=2", "@PAGE.TO=$10", "@NCOPIES1=3", "@NCOPIES2=0x2"});
  EXPECT_EQ(ps.printerIndex, 2);
  EXPECT_EQ(ps.orientation, Orientation::Landscape);
  EXPECT_EQ(ps.fontName, "Arial");
  EXPECT_EQ(ps.fontSize, 12);
  EXPECT_FLOAT_EQ(ps.leftMargin, 12.5f);
  EXPECT_FLOAT_EQ(ps.topMargin, 10.0f);
  EXPECT_FLOAT_EQ(ps.rightMargin, 3.0f);
  EXPECT_FLOAT_EQ(ps.bottomMargin, 4.0f);
  EXPECT_FLOAT_EQ(ps.splitterMargin, 10.0f);
  EXPECT_EQ(ps.pageFrom, 2);
  EXPECT_EQ(ps.pageTo, 16);
  EXPECT_EQ(ps.copies1, 3);
  EXPECT_EQ(ps.copies2, 2);
}

TEST(JobDirectives, LimitsAndOddArguments) {
  EXPECT_EQ(Apply({"@ORIENTATION=landscape"}).orientation, Orientation::Portrait);
  EXPECT_EQ(Apply({"@ORIENTATION=LANDSCAPE ", "@ORIENTATION=PORTRAITX"}).orientation,
            Orientation::Portrait);
  EXPECT_EQ(Apply({"@PAGE.FROM=0"}).pageFrom, 1);
  EXPECT_EQ(Apply({"@PAGE.FROM=70000"}).pageFrom, 65535);
  EXPECT_EQ(Apply({"@PAGE.TO=-1"}).pageTo, 65535);
  EXPECT_EQ(Apply({"@NCOPIES1=0"}).copies1, 1);
  EXPECT_EQ(Apply({"@NCOPIES2=-3"}).copies2, 1);
  EXPECT_EQ(Apply({"@NCOPIES1=2000000000"}).copies1, kMaxCopies);
  EXPECT_EQ(Apply({"@SIZE="}).fontSize, 0);
  EXPECT_EQ(Apply({"@SIZE=-5"}).fontSize, -5);
  EXPECT_EQ(Apply({"@MARGIN.LEFT=1e308"}).leftMargin, FLT_MAX);
  // The last occurrence wins.
  EXPECT_EQ(Apply({"@SIZE=8", "@SIZE=11"}).fontSize, 11);
  // Two keywords on one line: each takes the rest of the line from its own keyword.
  const PrintSettings both = Apply({"@SIZE=12 @FONT=Courier New"});
  EXPECT_EQ(both.fontSize, 12);
  EXPECT_EQ(both.fontName, "Courier New");
}

TEST(JobDirectives, WhichLinesThePrintPassSkips) {
  for (const char* l :
       {"@ORIENTATION=X", "@FONT=A", "@SIZE=1", "@MARGIN.LEFT=1", "@PAGE.TO=2", "@NCOPIES2=1"})
    EXPECT_TRUE(isJobDirectiveLine(l)) << l;
  for (const char* l : {"@XPOS=1", "@PICTURE=a.bmp", "@PRINTER_INDEX=1", "@UNKNOWN"})
    EXPECT_FALSE(isJobDirectiveLine(l)) << l;
}

TEST(LineDirectivesTest, PositionsAndPictures) {
  EXPECT_DOUBLE_EQ(*parseLineDirectives("@XPOS=12.5").xpos, 12.5);
  EXPECT_DOUBLE_EQ(*parseLineDirectives("@YPOS=x").ypos, 0.0);
  EXPECT_DOUBLE_EQ(*parseLineDirectives("@PICTURE.WIDTH=30").pictureWidth, 30.0);
  EXPECT_DOUBLE_EQ(*parseLineDirectives("@PICTURE.HEIGHT=40").pictureHeight, 40.0);
  EXPECT_EQ(*parseLineDirectives("@PICTURE=LOGO.BMP").picture, "LOGO.BMP");
  // A picture is drawn only from a line that carries none of the other four.
  EXPECT_FALSE(parseLineDirectives("@XPOS=1 @PICTURE=LOGO.BMP").picture.has_value());
}

TEST(CopyNumber, FirstMarkerOnlyAndTailKept) {
  std::string line = "Kopija @COPY / @COPY " + std::string(300, 'x');
  insertCopyNumber(line, 3);
  EXPECT_EQ(line, "Kopija 3 / @COPY " + std::string(300, 'x'));
}

std::vector<std::string> readLines(const std::string& bytes, std::size_t chunk,
                                   std::uint64_t* total = nullptr) {
  FakeFileSystem fs;
  fs.put("/s/J.txt", bytes);
  JobLineReader reader(fs, "/s/J.txt", chunk);
  std::vector<std::string> out;
  std::string_view line;
  std::uint64_t consumed = 0, sum = 0;
  while (reader.next(&line, &consumed)) {
    out.emplace_back(line);
    sum += consumed;
  }
  if (total) *total = sum;
  return out;
}

TEST(JobLineReaderTest, LineRulesAtEveryChunkSize) {
  using V = std::vector<std::string>;
  const struct {
    std::string bytes;
    V lines;
  } cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A\n", {"A"}},
      {"A\r\nB\r\n", {"A", "B"}},
      {"A\n\nB", {"A", "", "B"}},
      {"AB\rCD\nE\n", {"AB", "E"}},  // the text of a line stops at its first CR
      {"A\nB\x1A"
       "C\nD\n",
       {"A", "B"}},
      {"A\n\x1A"
       "B\n",
       {"A"}},
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
      {"\f\nA\n", {"\f", "A"}},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 65536u}) {
      std::uint64_t total = 0;
      EXPECT_EQ(readLines(c.bytes, chunk, &total), c.lines) << "chunk " << chunk;
      if (c.bytes.find('\x1A') == std::string::npos) {
        EXPECT_EQ(total, c.bytes.size());
      }
    }
  }
}

TEST(JobLineReaderTest, OverlongLineKeepsItsStartAndCountsAllBytes) {
  const std::string huge(JobLineReader::kMaxLineBytes + 100000, 'z');
  std::uint64_t total = 0;
  const auto lines = readLines(huge + "\nnext\n", 65536, &total);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_GE(lines[0].size(), JobLineReader::kMaxLineBytes);
  EXPECT_LT(lines[0].size(), JobLineReader::kMaxLineBytes + 65536);
  EXPECT_EQ(lines[1], "next");
  EXPECT_EQ(total, huge.size() + 6);
}

TEST(JobLineReaderTest, MissingFileFails) {
  FakeFileSystem fs;
  JobLineReader reader(fs, "/s/none.txt");
  std::string_view line;
  std::uint64_t consumed;
  EXPECT_FALSE(reader.next(&line, &consumed));
  EXPECT_TRUE(reader.failed());
}

}  // namespace
}  // namespace marvena
