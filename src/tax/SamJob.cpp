#include "tax/SamJob.h"

#include <array>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "tax/FFDataTemplates.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

constexpr std::size_t kHeaderLines = 17;  // rows start at job line 17
constexpr std::size_t kSlotsPerPage = 9;
constexpr std::size_t kFieldsPerSlot = 7;

std::string trimmedText(std::string_view s) {
  return std::string(trimBlanks(toXmlText(s)));
}

long double ratePart(std::string_view text, char decimalSeparator) {
  std::string part(text);
  for (char& c : part)
    if (c == '.') c = ',';
  const std::optional<long double> v = parseAmount(part, decimalSeparator);
  if (!v)
    throw BadJobValue(6, "neteisingas įmokų tarifas", "contribution rate is not a number", text);
  return *v;
}

std::string removeAll(std::string text, std::string_view what) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = text.find(what, at)) != std::string::npos; at = hit + what.size())
    out.append(text, at, hit - at);
  out.append(text, at);
  return out;
}

}  // namespace

std::optional<long double> parseAmount(std::string_view text, char decimalSeparator) {
  if (auto v = parseReal(text, decimalSeparator, true)) return v;
  return parseReal(text, ',', true);
}

long double contributionRate(std::string_view line, char decimalSeparator) {
  const std::size_t plus = line.find('+');
  if (plus == std::string_view::npos) return ratePart(line, decimalSeparator);
  return ratePart(line.substr(0, plus), decimalSeparator) +
         ratePart(line.substr(plus + 1, 255), decimalSeparator);
}

std::string preparatorDetails(std::string_view line) {
  std::string text = toXmlText(line);
  // In this order: "BUHALTERIS" before its feminine form.
  for (std::string_view title :
       {"VYR.", "BUHALTERIS", "FINANSININKAS", "BUHALTER\xC4\x96", "FINANSININK\xC4\x96"})
    text = removeAll(std::move(text), title);
  return std::string(trimBlanks(text));
}

Certificate splitCertificate(std::string_view field) {
  const std::string text = toXmlText(field);
  std::string_view series(text);
  while (!series.empty() && isAsciiDigit(series.back())) series.remove_suffix(1);
  std::string_view number(text);
  std::size_t firstDigit = 0;
  while (firstDigit < number.size() && !isAsciiDigit(number[firstDigit])) ++firstDigit;
  number.remove_prefix(firstDigit);
  return {std::string(trimBlanks(series)), std::string(trimBlanks(number))};
}

std::string buildSamDocument(const JobLines& job, char decimalSeparator,
                             const std::string& createdOn) {
  const std::size_t rows = job.size() > kHeaderLines ? job.size() - kHeaderLines : 0;
  FFDataWriter out(FFDataWriter::LineEnd::Lf, false, 8192 + (rows / kSlotsPerPage + 2) * 3600);
  writeSamDocument(job, decimalSeparator, createdOn, out);
  return out.take();
}

void writeSamDocument(const JobLines& job, char decimalSeparator, const std::string& createdOn,
                      FFDataWriter& out) {
  const std::size_t lines = job.size();
  const std::size_t rows = lines > kHeaderLines ? lines - kHeaderLines : 0;
  // No appendix page only for exactly the header lines; a shorter job still
  // gets one page of empty slots.
  const std::size_t pages = lines == kHeaderLines ? 0
                            : rows == 0           ? 1
                                                  : (rows + kSlotsPerPage - 1) / kSlotsPerPage;
  const std::string pageCount = std::to_string(pages);

  const auto insurerCode = headerValue(job, 1, toXmlText);
  const auto docDate = headerValue(job, 5, jobDate);
  std::optional<std::string> rate, position, fullName;
  if (job.has(6))
    rate = formatGeneral(contributionRate(job[6], decimalSeparator), decimalSeparator);
  if (job.has(15)) {
    const std::string_view manager = job[15];
    const std::size_t space = manager.find(' ');
    position = toXmlText(space == std::string_view::npos ? manager : manager.substr(0, space));
    fullName =
        toXmlText(space == std::string_view::npos ? manager : manager.substr(space + 1, 255));
  }

  for (std::size_t n = 1; n <= 12; ++n) {
    if (n == 2)
      out.fill(templateLineAt(kSamHead, n), "Marvena", createdOn);
    else
      out.line(templateLineAt(kSamHead, n));
  }
  // One appendix group per appendix page, side by side.
  for (std::size_t extra = 1; extra < pages; ++extra) {
    out.line("</Group>");
    for (std::size_t n = 9; n <= 12; ++n) out.line(templateLineAt(kSamHead, n));
  }
  for (std::size_t n = 13; n <= kSamHead.size(); ++n) {
    const std::string_view t = templateLineAt(kSamHead, n);
    switch (n) {
      case 16:
        out.fill(t, std::to_string(pages + 1));
        break;
      case 21:
        out.fillIfPresent(t, headerValue(job, 0, toXmlText));
        break;
      case 22:
        out.fillIfPresent(t, insurerCode);
        break;
      case 23:
        out.fillIfPresent(t, headerValue(job, 2, trimmedText));
        break;
      case 24:
        out.fillIfPresent(t, headerValue(job, 3, toXmlText));
        break;
      case 25:
        out.fillIfPresent(t, headerValue(job, 4, toXmlText));
        break;
      case 27:
        out.fillIfPresent(t, docDate);
        break;
      case 29:
        out.fillIfPresent(t, rate);
        break;
      case 30:
        out.fillIfPresent(t, headerValue(job, 7, periodYear));
        break;
      case 31:
        out.fillIfPresent(t, headerValue(job, 7, periodMonth));
        break;
      case 33:
      case 42:
        out.fill(t, pageCount);
        break;
      case 34:
        out.fillIfPresent(t, headerValue(job, 9, rawValue));
        break;
      case 35:
        out.fillIfPresent(t, headerValue(job, 10, rawValue));
        break;
      case 36:
        out.fillIfPresent(t, headerValue(job, 11, rawValue));
        break;
      case 43:
        out.fillIfPresent(t, position);
        break;
      case 44:
        out.fillIfPresent(t, fullName);
        break;
      case 45:
        out.fillIfPresent(t, headerValue(job, 16, preparatorDetails));
        break;
      default:
        out.line(t);
    }
  }

  std::array<std::string, kFieldsPerSlot> values;
  for (std::size_t q = 1; q <= pages; ++q) {
    out.fill(templateLineAt(kSamAppendix, 1), std::to_string(q + 1));
    for (std::size_t n = 2; n <= 4; ++n) out.line(templateLineAt(kSamAppendix, n));
    out.fill(templateLineAt(kSamAppendix, 5), std::to_string(q));
    out.fill(templateLineAt(kSamAppendix, 6), pageCount);
    out.fillIfPresent(templateLineAt(kSamAppendix, 7), insurerCode);
    out.fillIfPresent(templateLineAt(kSamAppendix, 8), docDate);
    out.line(templateLineAt(kSamAppendix, 9));

    long double incomeSum = 0, paymentSum = 0;
    for (std::size_t r = 1; r <= kSlotsPerPage; ++r) {
      const std::size_t i = kSlotsPerPage * (q - 1) + r;
      for (std::string& v : values) v.clear();
      if (i <= rows) {
        const std::size_t line = kHeaderLines - 1 + i;
        const std::vector<std::string> f = splitJobRow(std::string(job[line]) + kFieldSeparator, 5);
        auto addTo = [&](long double& sum, const std::string& amount) {
          if (amount.empty()) return;
          const std::optional<long double> v = parseAmount(amount, decimalSeparator);
          if (!v) throw BadJobValue(line, "neteisinga suma", "amount is not a number", amount);
          sum += *v;
        };
        addTo(incomeSum, f[3]);
        addTo(paymentSum, f[4]);
        Certificate certificate = splitCertificate(f[2]);
        values = {std::to_string(i),
                  toXmlText(f[1]),
                  std::move(certificate.series),
                  std::move(certificate.number),
                  rawValue(f[3]),
                  rawValue(f[4]),
                  toXmlText(f[0])};
      }
      for (std::size_t k = 1; k <= kFieldsPerSlot; ++k)
        out.fill(templateLineAt(kSamAppendix, 9 + kFieldsPerSlot * (r - 1) + k), values[k - 1]);
    }
    out.fill(templateLineAt(kSamAppendix, 73), formatGeneral(incomeSum, decimalSeparator));
    out.fill(templateLineAt(kSamAppendix, 74), formatGeneral(paymentSum, decimalSeparator));
    for (std::size_t n = 75; n <= kSamAppendix.size(); ++n)
      out.line(templateLineAt(kSamAppendix, n));
  }
  for (std::string_view t : kClosingLines) out.line(t);
}

JobResult SamJob::run(const JobFile& job) {
  std::string error;
  std::optional<std::string> bytes = fs_.readFile(job.path, &error);
  if (!bytes) return JobResult::notReady(error);
  const JobLines lines(std::move(*bytes));
  const char separator = locale_.decimalSeparator();
  const std::string createdOn = createdOnDate(clock_.localNow());
  return streamDocument(fs_, job, "SAM", FFDataWriter::LineEnd::Lf, [&](FFDataWriter& out) {
    writeSamDocument(lines, separator, createdOn, out);
  });
}

}  // namespace marvena
