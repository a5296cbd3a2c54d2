#include "tax/FFData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "settings/SettingsStore.h"
#include "tax/MffJob.h"
#include "tax/SamJob.h"

namespace marvena {
namespace {

std::vector<std::string> Lines(std::string bytes) {
  const JobLines job(std::move(bytes));
  std::vector<std::string> out;
  for (std::size_t i = 0; i < job.size(); ++i) out.emplace_back(job[i]);
  return out;
}

TEST(JobLines, LineEndsAndNul) {
  using V = std::vector<std::string>;
  const struct {
    std::string bytes;
    V lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a\r\nb", {"a", "b"}},
      {"a\n\nb\r", {"a", "", "b"}},
      {"a\rb\r\nc\n", {"a", "b", "c"}},
      {std::string("a\nb\0c\nd", 7), {"a", "b"}},
      {std::string("\0a\n", 3), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.bytes), c.lines) << c.bytes;
  const JobLines job("x\n");
  EXPECT_FALSE(job.has(1));
  EXPECT_EQ(job[7], "");
}

TEST(splitJobRow, FieldsNeedAFollowingSeparator) {
  using V = std::vector<std::string>;
  const std::string sep = "\xB3";
  const std::string abc = "A" + sep + "B" + sep + "C";
  EXPECT_EQ(splitJobRow(abc + sep, 6), (V{"A", "B", "C", "", "", ""}));  // *.MFF appends one
  EXPECT_EQ(splitJobRow(abc, 6), (V{"A", "B", "", "", "", ""}));         // *.DFF does not
  EXPECT_EQ(splitJobRow("  12,50 " + sep, 5)[0], "12,50");
  EXPECT_EQ(splitJobRow("\x01\tx\x1f" + sep, 1)[0], "x");  // control bytes trimmed too
  EXPECT_EQ(splitJobRow("\xDD " + sep, 1)[0], "\xDD");     // high bytes are not blanks
  EXPECT_EQ(splitJobRow("no separator at all", 6), V(6));
  EXPECT_EQ(splitJobRow("", 5), V(5));

  std::string many;
  for (int i = 1; i <= 40; ++i) many += std::to_string(i) + sep;
  EXPECT_EQ(splitJobRow(many, 6), (V{"1", "2", "3", "4", "5", "6"}));

  // The first field may be long; after a separator only 255 bytes are looked at.
  const std::string longField(300, 'x');
  EXPECT_EQ(splitJobRow(longField + sep + "b" + sep, 2), (V{longField, "b"}));
  EXPECT_EQ(splitJobRow("a" + sep + longField + sep + "c" + sep, 3), (V{"a", "", ""}));
  const std::string fits(254, 'y');
  EXPECT_EQ(splitJobRow("a" + sep + fits + sep, 2), (V{"a", fits}));
}

TEST(Values, RawValuesAreConvertedAndEscapedButNotUpperCased) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"1234,56", "1234,56"},
      {"-12.5", "-12.5"},
      {"a<b&c>\"'", "a&lt;b&amp;c&gt;&quot;&apos;"},
      {"\xDD\xF7", "\xC4\x85\xC5\xA1"},  // ą š stay lower case
      {"\xB3\xE1", "\xE2\x94\x82\xC3\x9F"},
      {"a\x01\tb\x1F", "a\tb"},
  };
  for (const auto& c : cases) EXPECT_EQ(rawValue(c.in), c.out) << c.in;
  EXPECT_EQ(jobDate("2009.03.31"), "2009-03-31");
  EXPECT_EQ(periodYear("2009.03"), "2009");
  EXPECT_EQ(periodMonth("2009.03"), "03");
  EXPECT_EQ(periodMonth("2009"), "");
  EXPECT_EQ(periodYear("<&"), "&lt;&amp;");
}

TEST(Values, creatorLogin) {
  EXPECT_EQ(creatorLogin(""), "Marvena");
  EXPECT_EQ(creatorLogin("\x01\x02"), "Marvena");
  EXPECT_EQ(creatorLogin("jonas"), "jonas");
  EXPECT_EQ(creatorLogin("o'neil<&>"), "o&apos;neil&lt;&amp;&gt;");
  EXPECT_EQ(creatorLogin("\xC5\xA0"
                         "ar\xC5\xABnas"),
            "\xC5\xA0"
            "ar\xC5\xABnas");  // UTF-8 kept
  EXPECT_EQ(creatorLogin("\xF6"
                         "ar"),
            "\xC5\xA0"
            "ar");  // not UTF-8: read as job bytes
  EXPECT_EQ(creatorLogin(std::string(300, 'u')), std::string(254, 'u'));
  std::string longUtf8;
  for (int i = 0; i < 300; ++i) longUtf8 += "\xC5\xA0";
  EXPECT_EQ(creatorLogin(longUtf8).size(), 254u * 2);
}

TEST(Values, DatesAndPaths) {
  EXPECT_EQ(createdOnDate({2009, 3, 5, 23, 59, 59}), "2009-03-05");
  EXPECT_EQ(documentPath("/spool/x.MFF"), "/spool/x.ffdata");
  EXPECT_EQ(documentPath("/spool/a.b.SAM"), "/spool/a.b.ffdata");
  EXPECT_EQ(documentPath("/sp.ool/x"), "/sp.ool/x.ffdata");
}

TEST(Numbers, ParseAmountWithEitherDecimalSeparator) {
  const struct {
    const char* text;
    char separator;
    std::optional<long double> value;
  } cases[] = {
      {"1.234,56", ',', std::nullopt},
      {"1.234,56", '.', std::nullopt},
      {"-0,5", ',', -0.5L},
      {"-0,5", '.', -0.5L},
      {"12.5", '.', 12.5L},
      {"12.5", ',', std::nullopt},
      {"1e9", ',', 1e9L},
      {"", ',', std::nullopt},
      {"abc", '.', std::nullopt},
      {"  100,50  ", ',', 100.5L},
      {"+3", ',', 3.0L},
      {",5", ',', 0.5L},
      {"5,", ',', 5.0L},
      {"1,5E2", ',', 150.0L},
      {"e5", ',', std::nullopt},
      {"1e", ',', std::nullopt},
      {"--1", ',', std::nullopt},
      {"1 000", ',', std::nullopt},
      {"1e99999", ',', std::nullopt},
      {"0x10", ',', std::nullopt},
      {"inf", ',', std::nullopt},
      {"nan", '.', std::nullopt},
  };
  for (const auto& c : cases) {
    const auto v = parseAmount(c.text, c.separator);
    ASSERT_EQ(v.has_value(), c.value.has_value()) << c.text << " with " << c.separator;
    if (v) {
      EXPECT_NEAR(static_cast<double>(*v), static_cast<double>(*c.value), 1e-12) << c.text;
    }
  }
}

TEST(Numbers, ShortAmountsReadExactlyAsTheFullConversion) {
  for (const char* text : {"0.1", "1234.56", "0.005", "-0.29", "999999999999999.999",
                           "123456789012345678", "1234567890123456789.5", "3.14159265358979323"})
    EXPECT_EQ(parseReal(text, '.', false), std::strtold(text, nullptr)) << text;
}

TEST(Numbers, formatGeneral) {
  EXPECT_EQ(formatGeneral(300.5L, ','), "300,5");
  EXPECT_EQ(formatGeneral(30.98L + 3, ','), "33,98");
  EXPECT_EQ(formatGeneral(30.98L + 3, '.'), "33.98");
  EXPECT_EQ(formatGeneral(0, ','), "0");
  EXPECT_EQ(formatGeneral(-1234567.125L, ','), "-1234567,125");
}

TEST(MffAmounts, RowAmountsAndTheirSplit) {
  // amount text, PSD, expected A7 and A18
  const struct {
    const char* amount;
    const char* psd;
    long long a7, a18;
  } cases[] = {
      {"1234,56", "", 1235, 0}, {"1234.56", "15", 1235, 0},
      {"210", "15/6", 150, 60}, {"12,5", "", 13, 0},
      {"100.49", "", 100, 0},   {"100.50", "", 101, 0},
      {"-2.50", "", -2, 0},     {"-2,51", "", -3, 0},
      {"-0,5", "", 0, 0},       {"1e9", "", 1000000000, 0},
      {"", "", 0, 0},           {"100", "abc", 100, 0},
      {"100", "15/x", 100, 0},  {"100", "0/0", 100, 0},
      {"100", "-5/5", 100, 0},  {"100", "12.5/3", 81, 19},
      {"0.005", "", 0, 0},
  };
  for (const auto& c : cases) {
    const PsdSplit split = makePsdSplit(parsePsd(c.psd));
    const auto v = readMffAmount(c.amount);
    ASSERT_TRUE(v) << c.amount;
    const long double total = split.x + split.y;
    EXPECT_EQ(wholeUnits(*v * split.x / total), c.a7) << c.amount << " PSD " << c.psd;
    EXPECT_EQ(wholeUnits(*v * split.y / total), c.a18) << c.amount << " PSD " << c.psd;
  }
  for (const char* bad : {"1.234,56", "abc", "12,5,0", "1 000", "12.5.0"})
    EXPECT_FALSE(readMffAmount(bad)) << bad;
  EXPECT_FALSE(wholeUnits(1e30L));
}

}  // namespace
}  // namespace marvena
