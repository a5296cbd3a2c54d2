#include "tax/SamJob.h"

#include <array>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "tax/FFDataTemplates.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

constexpr std::size_t kHeaderLines = 17;  // rows start at job line 17
constexpr std::size_t kSlotsPerPage = 9;
constexpr std::size_t kFieldsPerSlot = 7;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string TrimmedText(std::string_view s) {
  return std::string(TrimBlanks(ToXmlText(s)));
}

long double RatePart(std::string_view text, char decimalSeparator) {
  std::string part(text);
  for (char& c : part)
    if (c == '.') c = ',';
  const std::optional<long double> v = ParseAmount(part, decimalSeparator);
  if (!v)
    throw BadJobValue(6, "neteisingas įmokų tarifas", "contribution rate is not a number", text);
  return *v;
}

std::string RemoveAll(std::string text, std::string_view what) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = text.find(what, at)) != std::string::npos; at = hit + what.size())
    out.append(text, at, hit - at);
  out.append(text, at);
  return out;
}

}  // namespace

std::optional<long double> ParseAmount(std::string_view text, char decimalSeparator) {
  if (auto v = ParseReal(text, decimalSeparator, true)) return v;
  return ParseReal(text, ',', true);
}

long double ContributionRate(std::string_view line, char decimalSeparator) {
  const std::size_t plus = line.find('+');
  if (plus == std::string_view::npos) return RatePart(line, decimalSeparator);
  return RatePart(line.substr(0, plus), decimalSeparator) +
         RatePart(line.substr(plus + 1, 255), decimalSeparator);
}

std::string PreparatorDetails(std::string_view line) {
  std::string text = ToXmlText(line);
  // In this order: "BUHALTERIS" before its feminine form.
  for (std::string_view title :
       {"VYR.", "BUHALTERIS", "FINANSININKAS", "BUHALTER\xC4\x96", "FINANSININK\xC4\x96"})
    text = RemoveAll(std::move(text), title);
  return std::string(TrimBlanks(text));
}

Certificate SplitCertificate(std::string_view field) {
  const std::string text = ToXmlText(field);
  std::string_view series(text);
  while (!series.empty() && IsDigit(series.back())) series.remove_suffix(1);
  std::string_view number(text);
  std::size_t firstDigit = 0;
  while (firstDigit < number.size() && !IsDigit(number[firstDigit])) ++firstDigit;
  number.remove_prefix(firstDigit);
  return {std::string(TrimBlanks(series)), std::string(TrimBlanks(number))};
}

std::string BuildSamDocument(const JobLines& job, char decimalSeparator,
                             const std::string& createdOn) {
  const std::size_t rows = job.size() > kHeaderLines ? job.size() - kHeaderLines : 0;
  FFDataWriter out(FFDataWriter::LineEnd::Lf, false, 8192 + (rows / kSlotsPerPage + 2) * 3600);
  WriteSamDocument(job, decimalSeparator, createdOn, out);
  return out.take();
}

void WriteSamDocument(const JobLines& job, char decimalSeparator, const std::string& createdOn,
                      FFDataWriter& out) {
  const std::size_t lines = job.size();
  const std::size_t rows = lines > kHeaderLines ? lines - kHeaderLines : 0;
  // No appendix page only for exactly the header lines; a shorter job still
  // gets one page of empty slots.
  const std::size_t pages = lines == kHeaderLines ? 0
                            : rows == 0           ? 1
                                                  : (rows + kSlotsPerPage - 1) / kSlotsPerPage;
  const std::string pageCount = std::to_string(pages);

  const auto insurerCode = HeaderValue(job, 1, ToXmlText);
  const auto docDate = HeaderValue(job, 5, JobDate);
  std::optional<std::string> rate, position, fullName;
  if (job.has(6))
    rate = FormatGeneral(ContributionRate(job[6], decimalSeparator), decimalSeparator);
  if (job.has(15)) {
    const std::string_view manager = job[15];
    const std::size_t space = manager.find(' ');
    position = ToXmlText(space == std::string_view::npos ? manager : manager.substr(0, space));
    fullName =
        ToXmlText(space == std::string_view::npos ? manager : manager.substr(space + 1, 255));
  }

  for (std::size_t n = 1; n <= 12; ++n) {
    if (n == 2)
      out.fill(TemplateLine(kSamHead, n), "Marvena", createdOn);
    else
      out.line(TemplateLine(kSamHead, n));
  }
  // One appendix group per appendix page, side by side.
  for (std::size_t extra = 1; extra < pages; ++extra) {
    out.line("</Group>");
    for (std::size_t n = 9; n <= 12; ++n) out.line(TemplateLine(kSamHead, n));
  }
  for (std::size_t n = 13; n <= kSamHead.size(); ++n) {
    const std::string_view t = TemplateLine(kSamHead, n);
    switch (n) {
      case 16:
        out.fill(t, std::to_string(pages + 1));
        break;
      case 21:
        out.fillIfPresent(t, HeaderValue(job, 0, ToXmlText));
        break;
      case 22:
        out.fillIfPresent(t, insurerCode);
        break;
      case 23:
        out.fillIfPresent(t, HeaderValue(job, 2, TrimmedText));
        break;
      case 24:
        out.fillIfPresent(t, HeaderValue(job, 3, ToXmlText));
        break;
      case 25:
        out.fillIfPresent(t, HeaderValue(job, 4, ToXmlText));
        break;
      case 27:
        out.fillIfPresent(t, docDate);
        break;
      case 29:
        out.fillIfPresent(t, rate);
        break;
      case 30:
        out.fillIfPresent(t, HeaderValue(job, 7, PeriodYear));
        break;
      case 31:
        out.fillIfPresent(t, HeaderValue(job, 7, PeriodMonth));
        break;
      case 33:
      case 42:
        out.fill(t, pageCount);
        break;
      case 34:
        out.fillIfPresent(t, HeaderValue(job, 9, RawValue));
        break;
      case 35:
        out.fillIfPresent(t, HeaderValue(job, 10, RawValue));
        break;
      case 36:
        out.fillIfPresent(t, HeaderValue(job, 11, RawValue));
        break;
      case 43:
        out.fillIfPresent(t, position);
        break;
      case 44:
        out.fillIfPresent(t, fullName);
        break;
      case 45:
        out.fillIfPresent(t, HeaderValue(job, 16, PreparatorDetails));
        break;
      default:
        out.line(t);
    }
  }

  std::array<std::string, kFieldsPerSlot> values;
  for (std::size_t q = 1; q <= pages; ++q) {
    out.fill(TemplateLine(kSamAppendix, 1), std::to_string(q + 1));
    for (std::size_t n = 2; n <= 4; ++n) out.line(TemplateLine(kSamAppendix, n));
    out.fill(TemplateLine(kSamAppendix, 5), std::to_string(q));
    out.fill(TemplateLine(kSamAppendix, 6), pageCount);
    out.fillIfPresent(TemplateLine(kSamAppendix, 7), insurerCode);
    out.fillIfPresent(TemplateLine(kSamAppendix, 8), docDate);
    out.line(TemplateLine(kSamAppendix, 9));

    long double incomeSum = 0, paymentSum = 0;
    for (std::size_t r = 1; r <= kSlotsPerPage; ++r) {
      const std::size_t i = kSlotsPerPage * (q - 1) + r;
      for (std::string& v : values) v.clear();
      if (i <= rows) {
        const std::size_t line = kHeaderLines - 1 + i;
        const std::vector<std::string> f = SplitJobRow(std::string(job[line]) + kFieldSeparator, 5);
        auto addTo = [&](long double& sum, const std::string& amount) {
          if (amount.empty()) return;
          const std::optional<long double> v = ParseAmount(amount, decimalSeparator);
          if (!v) throw BadJobValue(line, "neteisinga suma", "amount is not a number", amount);
          sum += *v;
        };
        addTo(incomeSum, f[3]);
        addTo(paymentSum, f[4]);
        Certificate certificate = SplitCertificate(f[2]);
        values = {std::to_string(i),
                  ToXmlText(f[1]),
                  std::move(certificate.series),
                  std::move(certificate.number),
                  RawValue(f[3]),
                  RawValue(f[4]),
                  ToXmlText(f[0])};
      }
      for (std::size_t k = 1; k <= kFieldsPerSlot; ++k)
        out.fill(TemplateLine(kSamAppendix, 9 + kFieldsPerSlot * (r - 1) + k), values[k - 1]);
    }
    out.fill(TemplateLine(kSamAppendix, 73), FormatGeneral(incomeSum, decimalSeparator));
    out.fill(TemplateLine(kSamAppendix, 74), FormatGeneral(paymentSum, decimalSeparator));
    for (std::size_t n = 75; n <= kSamAppendix.size(); ++n) out.line(TemplateLine(kSamAppendix, n));
  }
  for (std::string_view t : kClosingLines) out.line(t);
}

JobResult SamJob::run(const JobFile& job) {
  std::string error;
  std::optional<std::string> bytes = fs_.readFile(job.path, &error);
  if (!bytes) return JobResult::notReady(error);
  const JobLines lines(std::move(*bytes));
  const char separator = locale_.decimalSeparator();
  const std::string createdOn = CreatedOnDate(clock_.localNow());
  return StreamDocument(fs_, job, "SAM", FFDataWriter::LineEnd::Lf, [&](FFDataWriter& out) {
    WriteSamDocument(lines, separator, createdOn, out);
  });
}

}  // namespace marvena
