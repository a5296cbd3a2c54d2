#include "tax/SamJob.h"

#include <gtest/gtest.h>

#include "TaxTestSupport.h"
#include "platform/fake/Fakes.h"
#include "spool/Dispatcher.h"

namespace marvena {
namespace {

using test::Count;
using test::fieldValue;
using test::JobBytes;

const std::string kSep = "\xB3";

std::vector<std::string> Header() {
  return {"Draudejas", "1234567",    "302000000", "852123456",
          "Adresas",   "2009.04.15", "31",        "2009.03",
          "x",         "2",          "100",       "31",
          "x",         "x",          "x",         "Direktorius Jonas",
          "Ona"};
}

std::string person(int n, const std::string& income = "100", const std::string& payment = "31") {
  return "Asmuo " + std::to_string(n) + kSep + "380" + kSep + "AB 1234567" + kSep + income + kSep +
         payment;
}

std::string Job(std::size_t lines) {
  std::vector<std::string> l = Header();
  l.resize(std::min<std::size_t>(lines, 17));
  while (l.size() < lines) l.push_back(person(static_cast<int>(l.size() - 16)));
  return JobBytes(l);
}

class SamDocument : public test::DocumentTest {
 protected:
  std::string build(const std::string& bytes, char separator = ',') {
    return check(buildSamDocument(JobLines(bytes), separator, "2026-12-09"));
  }
};

TEST_F(SamDocument, GoldenWithOnePerson) {
  const std::string job = JobBytes({
      "Draud\xF3jas",
      "1234567",
      "  302000000  ",
      "8 5 2123456",
      "Gedimino pr. 1",
      "2009.04.15",
      "30.98+3",
      "2009.03",
      "not read",
      "1",
      "1 000,50",
      "<311,12>",
      "x",
      "x",
      "x",
      "Direktorius Jonas Jonaitis",
      "Vyr. buhalter\xF3 Ona Onait\xF3",
      "Petraitis Petras" + kSep + "38001010000" + kSep + "AB 1234567" + kSep + "1000,50" + kSep +
          "311,12",
  });
  EXPECT_EQ(build(job), test::Golden("sam_18_lines.ffdata", "\n"));
}

TEST_F(SamDocument, AppendixPagesAndTheirIndex) {
  // job lines -> A (appendix pages)
  const std::pair<std::size_t, int> cases[] = {{0, 1},  {1, 1},  {16, 1}, {17, 0}, {18, 1},
                                               {26, 1}, {27, 2}, {35, 2}, {36, 3}, {44, 3}};
  for (const auto& [lines, a] : cases) {
    const std::string doc = build(Job(lines));
    const std::string as = std::to_string(a);
    EXPECT_NE(doc.find("<Pages Count=\"" + std::to_string(a + 1) + "\">"), std::string::npos)
        << lines << " lines";
    EXPECT_EQ(fieldValue(doc, "Apdx2PageCount"), as);
    EXPECT_EQ(fieldValue(doc, "ApdxPageCountTotal"), as);
    EXPECT_EQ(Count(doc, "<Page PageDefName=\"SAM3SD\""), static_cast<std::size_t>(a));
    EXPECT_EQ(Count(doc, "<Group Name=\"Priedas SAM3SD\">"),
              static_cast<std::size_t>(std::max(a, 1)));
  }
  const std::string three = build(Job(36));
  for (int q = 1; q <= 3; ++q) {
    EXPECT_NE(
        three.find("<Page PageDefName=\"SAM3SD\" PageNumber=\"" + std::to_string(q + 1) + "\">"),
        std::string::npos);
    EXPECT_EQ(fieldValue(three, "PageNumber", q - 1), std::to_string(q));
    EXPECT_EQ(fieldValue(three, "PageTotal", q - 1), "3");
  }
  EXPECT_EQ(fieldValue(three, "RowNumber_1", 2), "19");
  EXPECT_EQ(fieldValue(three, "RowNumber_2", 2), "");
  const std::string full = build(Job(26));
  EXPECT_EQ(fieldValue(full, "RowNumber_9"), "9");
}

TEST_F(SamDocument, ShortJobKeepsPlaceholders) {
  const std::string doc = build(JobBytes({"Draudejas"}));
  EXPECT_EQ(fieldValue(doc, "InsurerName"), "DRAUDEJAS");
  EXPECT_EQ(fieldValue(doc, "InsurerCode"), "??");
  EXPECT_EQ(fieldValue(doc, "InsurerCode", 1), "??");  // on the appendix page too
  EXPECT_EQ(fieldValue(doc, "TaxRateRep"), "??");
  EXPECT_EQ(fieldValue(doc, "PreparatorDetails"), "??");
  EXPECT_EQ(fieldValue(doc, "InsIncomePage"), "0");
}

TEST_F(SamDocument, PageSumsStartAgainOnEveryPage) {
  std::vector<std::string> lines = Header();
  lines.push_back(person(1, "100,50", ""));
  lines.push_back(person(2, "200", "0,25"));
  for (int i = 3; i <= 9; ++i) lines.push_back(person(i, "", ""));
  lines.push_back(person(10, "7", "1e3"));
  const std::string comma = build(JobBytes(lines), ',');
  EXPECT_EQ(fieldValue(comma, "InsIncomePage"), "300,5");
  EXPECT_EQ(fieldValue(comma, "PaymentPage"), "0,25");
  EXPECT_EQ(fieldValue(comma, "InsIncomePage", 1), "7");
  EXPECT_EQ(fieldValue(comma, "PaymentPage", 1), "1000");
  EXPECT_EQ(fieldValue(comma, "PaymentSum_1"), "");  // empty stays empty
  EXPECT_EQ(fieldValue(comma, "InsIncomeSum_1"), "100,50");
  const std::string point = build(JobBytes(lines), '.');
  EXPECT_EQ(fieldValue(point, "InsIncomePage"), "300.5");
}

TEST_F(SamDocument, UnreadableAmountsAndRates) {
  for (const char* amount : {"1.234,56", "abc", "12 500,00"}) {
    std::vector<std::string> lines = Header();
    lines.push_back(person(1));
    lines.push_back(person(2, "100", amount));
    try {
      buildSamDocument(JobLines(JobBytes(lines)), ',', "2026-12-09");
      ADD_FAILURE() << amount << " was accepted";
    } catch (const BadJobValue& bad) {
      EXPECT_EQ(bad.line(), 18u);
    }
  }
  for (const char* rate : {"abc", "30,98+", "+3", "", "1.234,5"})
    EXPECT_THROW(contributionRate(rate, ','), BadJobValue) << rate;
}

TEST(SamValues, contributionRate) {
  EXPECT_EQ(formatGeneral(contributionRate("30.98+3", ','), ','), "33,98");
  EXPECT_EQ(formatGeneral(contributionRate("30.98+3", '.'), '.'), "33.98");
  EXPECT_EQ(formatGeneral(contributionRate("31", ','), ','), "31");
  EXPECT_EQ(formatGeneral(contributionRate(" 1,5 + 2 ", ','), ','), "3,5");
}

TEST(SamValues, CertificateSeriesAndNumber) {
  const struct {
    const char* field;
    const char* series;
    const char* number;
  } cases[] = {
      {"AB 1234567", "AB", "1234567"},
      {"ab1234567", "AB", "1234567"},
      {"ABC", "ABC", ""},
      {"1234567", "", "1234567"},
      {"AB12CD34", "AB12CD", "12CD34"},
      {"", "", ""},
      {"\xDE\xDD 12", "\xC4\x8C\xC4\x84", "12"},
  };
  for (const auto& c : cases) {
    const Certificate cert = splitCertificate(c.field);
    EXPECT_EQ(cert.series, c.series) << c.field;
    EXPECT_EQ(cert.number, c.number) << c.field;
  }
}

TEST(SamValues, PreparatorDetailsWithoutJobTitles) {
  const struct {
    const char* line;
    const char* details;
  } cases[] = {
      {"Vyr. buhalter\xF3 Ona Onait\xF3", "ONA ONAIT\xC4\x96"},
      {"Vyr. finansininkas Jonas", "JONAS"},
      {"Buhalteris Petras", "PETRAS"},
      {"Finansinink\xF3 Ona", "ONA"},
      {"Jonas", "JONAS"},
      {"VYVYR.R. X", "VYR. X"},
  };
  for (const auto& c : cases) EXPECT_EQ(preparatorDetails(c.line), c.details) << c.line;
}

TEST_F(SamDocument, ManagerWithoutSpace) {
  std::vector<std::string> lines = Header();
  lines[15] = "Direktorius";
  const std::string doc = build(JobBytes(lines));
  EXPECT_EQ(fieldValue(doc, "ManagerJobPosition"), "DIREKTORIUS");
  EXPECT_EQ(fieldValue(doc, "ManagerFullName"), "DIREKTORIUS");
}

TEST_F(SamDocument, HundredThousandPersons) {
  std::string bytes = Job(17);
  for (int i = 1; i <= 100000; ++i) bytes += person(i, "1000,50", "311,12") + "\r\n";
  const std::string doc = build(bytes);
  EXPECT_NE(doc.find("<Pages Count=\"11113\">"), std::string::npos);
  EXPECT_EQ(Count(doc, "<Field Name=\"InsIncomePage\">9004,5</Field>"), 11111u);
  EXPECT_EQ(fieldValue(doc, "InsIncomePage", 11111), "1000,5");
  EXPECT_EQ(Count(doc, "\r"), 0u);
}

// Through the dispatcher: a job with an unreadable amount stays in the spool
// directory and its error is shown once, not on every pass.
TEST_F(SamDocument, UnreadableAmountIsKeptAndReportedOnceByTheDispatcher) {
  FakeFileSystem fs;
  FakeClock clock;
  FakeLocale locale;
  RecordingMessages messages;
  JobStatus status;
  std::vector<std::string> lines = Header();
  lines.push_back(person(1, "abc"));
  fs.put("/spool/X.SAM", JobBytes(lines));
  Dispatcher dispatcher(fs, clock, messages, status, "/spool");
  dispatcher.addHandler(std::make_unique<SamJob>(fs, clock, locale));
  dispatcher.setEnabled(true);
  for (int pass = 0; pass < 3; ++pass) dispatcher.runPass();
  EXPECT_EQ(fs.files.count("/spool/X.SAM"), 1u);
  EXPECT_EQ(fs.files.count("/spool/X.ffdata"), 0u);
  ASSERT_EQ(messages.errors.size(), 1u);
  EXPECT_NE(messages.errors[0].find("„abc“"), std::string::npos) << messages.errors[0];

  // Corrected, it goes through and is removed.
  lines.back() = person(1, "100");
  fs.put("/spool/X.SAM", JobBytes(lines));
  dispatcher.runPass();
  EXPECT_EQ(fs.files.count("/spool/X.SAM"), 0u);
  EXPECT_EQ(fieldValue(check(fs.files["/spool/X.ffdata"]), "InsIncomePage"), "100");
}

}  // namespace
}  // namespace marvena
