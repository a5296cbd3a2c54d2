#include "tax/MffJob.h"

#include <array>
#include <cmath>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "settings/SettingsStore.h"
#include "tax/FFDataTemplates.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

constexpr std::size_t kHeaderLines = 6;  // rows start at job line 6
constexpr std::size_t kSlotsPerPage = 4;
constexpr std::size_t kFieldsPerSlot = 15;

// The row group's fields in template order (A1, A3, A4, A5, A6, A22, A23,
// A7, A9, A8, A16, A17, A18, A19, A20): positions of the filled ones.
enum SlotField : std::size_t {
  kA1 = 0,
  kA3 = 1,
  kA4 = 2,
  kA5 = 3,
  kA6 = 4,
  kA7 = 7,
  kA8 = 9,
  kA16 = 10,
  kA18 = 12
};

std::string shareOf(long double amount, long double part, long double total, std::size_t line,
                    std::string_view amountText) {
  const std::optional<long long> units = wholeUnits(amount * part / total);
  if (!units) throw BadJobValue(line, "per didelė suma", "amount too large", amountText);
  return std::to_string(*units);
}

}  // namespace

PsdSplit makePsdSplit(std::pair<double, double> psd) {
  PsdSplit split{psd.first, psd.second};
  if (split.x + split.y == 0) return PsdSplit{};
  return split;
}

std::optional<long double> readMffAmount(std::string_view text) {
  if (text.empty()) return 0.0L;
  if (auto v = parseReal(text, '.', false)) return v;
  // A decimal comma. (A text that failed with its "." as the decimal point
  // cannot be read with a comma there either.)
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string changed(text);
  changed[comma] = '.';
  return parseReal(changed, '.', false);
}

std::optional<long long> wholeUnits(long double share) {
  const long double hundredths = share * 100;
  if (!(std::fabs(hundredths) < 1e17L)) return std::nullopt;
  // To the nearest hundredth, halves to even; long double holds these
  // integers exactly.
  long long c = static_cast<long long>(hundredths);
  if (hundredths < c) --c;
  const long double rest = hundredths - c;
  if (rest > 0.5L || (rest == 0.5L && c % 2 != 0)) ++c;
  c += 50;
  // Floor division: a negative share rounds like a positive one (-2.50 to
  // -2, -2.51 to -3) instead of being cut toward zero.
  return c >= 0 ? c / 100 : -((-c + 99) / 100);
}

std::string buildMffDocument(const JobLines& job, const DocumentStamp& stamp, PsdSplit split) {
  const std::size_t rows = job.size() > kHeaderLines ? job.size() - kHeaderLines : 0;
  FFDataWriter out(FFDataWriter::LineEnd::CrLf, false, 4096 + (rows / kSlotsPerPage + 2) * 2600);
  writeMffDocument(job, stamp, split, out);
  return out.take();
}

void writeMffDocument(const JobLines& job, const DocumentStamp& stamp, PsdSplit split,
                      FFDataWriter& out) {
  if (split.x + split.y == 0) split = PsdSplit{};
  const std::size_t lines = job.size();
  const std::size_t rows = lines > kHeaderLines ? lines - kHeaderLines : 0;
  const std::size_t pages = 1 + (rows + kSlotsPerPage - 1) / kSlotsPerPage;

  const auto companyId = headerValue(job, 1, toXmlText);
  const auto companyName = headerValue(job, 0, toXmlText);
  const auto address = headerValue(job, 2, toXmlText);
  const auto fillDate = headerValue(job, 3, jobDate);
  const auto year = headerValue(job, 4, periodYear);
  const auto month = headerValue(job, 4, periodMonth);

  for (std::size_t n = 1; n <= kMffHead.size(); ++n) {
    const std::string_view t = templateLineAt(kMffHead, n);
    switch (n) {
      case 2:
        out.fill(t, stamp.login, stamp.createdOn);
        break;
      case 16:
        out.fill(t, std::to_string(pages));
        break;
      case 19:
        out.fillIfPresent(t, companyId);
        break;
      case 21:
        out.fillIfPresent(t, companyName);
        break;
      case 22:
        out.fillIfPresent(t, address);
        break;
      case 26:
        out.fillIfPresent(t, fillDate);
        break;
      case 27:
        out.fillIfPresent(t, year);
        break;
      case 28:
        out.fillIfPresent(t, month);
        break;
      default:
        out.line(t);
    }
  }

  std::array<std::string, kFieldsPerSlot> values;
  for (std::size_t p = 2; p <= pages; ++p) {
    const std::string page = std::to_string(p), sheet = std::to_string(p - 1);
    out.fill(templateLineAt(kMffAppendix, 1), page);
    out.line(templateLineAt(kMffAppendix, 2));
    for (std::size_t r = 1; r <= kSlotsPerPage; ++r) {
      const std::size_t i = kSlotsPerPage * (p - 2) + r;
      for (std::string& v : values) v.clear();
      if (i <= rows) {
        const std::size_t line = kHeaderLines - 1 + i;
        const std::vector<std::string> f = splitJobRow(std::string(job[line]) + kFieldSeparator, 6);
        const std::optional<long double> amount = readMffAmount(f[4]);
        if (!amount) throw BadJobValue(line, "neteisinga suma", "amount is not a number", f[4]);
        const long double total = split.x + split.y;
        values[kA1] = std::to_string(i);
        values[kA3] = toXmlText(f[0]);
        values[kA4] = toXmlText(f[1]);
        values[kA5] = toXmlText(f[2]);
        values[kA6] = toXmlText(f[3]);
        values[kA7] = shareOf(*amount, split.x, total, line, f[4]);
        values[kA8] = rawValue(f[5]);
        values[kA16] = "15";
        values[kA18] = shareOf(*amount, split.y, total, line, f[4]);
      }
      for (std::size_t k = 1; k <= kFieldsPerSlot; ++k)
        out.fill(templateLineAt(kMffAppendix, 2 + kFieldsPerSlot * (r - 1) + k), values[k - 1]);
    }
    for (std::size_t n = 63; n <= kMffAppendix.size(); ++n) {
      const std::string_view t = templateLineAt(kMffAppendix, n);
      switch (n) {
        case 66:
          out.fillIfPresent(t, companyId);
          break;
        case 68:
          out.fill(t, sheet);
          break;
        case 69:
          out.fillIfPresent(t, fillDate);
          break;
        case 70:
          out.fillIfPresent(t, year);
          break;
        case 71:
          out.fillIfPresent(t, month);
          break;
        default:
          out.line(t);
      }
    }
  }
  for (std::string_view t : kClosingLines) out.line(t);
}

JobResult MffJob::run(const JobFile& job) {
  const PsdSplit split = makePsdSplit(readPsd(&settings_));
  std::string error;
  std::optional<std::string> bytes = fs_.readFile(job.path, &error);
  if (!bytes) return JobResult::notReady(error);
  const JobLines lines(std::move(*bytes));
  const DocumentStamp stamp{creatorLogin(locale_.userName()), createdOnDate(clock_.localNow())};
  return streamDocument(fs_, job, "FR0572", FFDataWriter::LineEnd::CrLf,
                        [&](FFDataWriter& out) { writeMffDocument(lines, stamp, split, out); });
}

}  // namespace marvena
