#include "office/SlxJob.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "office/BiffWriter.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "settings/PrintSettings.h"
#include "settings/ProfileFile.h"
#include "spool/JobStatus.h"
#include "text/Ascii.h"

namespace marvena {

namespace {

constexpr std::int64_t kLastJobRow = 65534;  // sheet row 65535
constexpr std::int64_t kLastJobColumn = 255;
constexpr int kMaxColumnWidth = 13;
constexpr std::int64_t kProgressEveryMs = 100;
constexpr unsigned kLinesPerClockCheck = 4096;

// Blanks and control characters, as the job's trimming sees them.
std::string_view trim(std::string_view s) {
  return trimBlanks(s);
}

// A decimal whole number: leading blanks, an optional sign, digits. Values
// beyond any sheet saturate; they only need to be recognised as outside.
bool parseWhole(std::string_view s, std::int64_t* out) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  std::int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!isAsciiDigit(s[i])) return false;
    if (v < (std::int64_t{1} << 40)) v = v * 10 + (s[i] - '0');
  }
  *out = negative ? -v : v;
  return true;
}

// Calls `line` for each line of `data` with its text (which stops at the
// line's first CR) and the offset just past it. Lines end at LF.
template <typename F>
void forEachLine(std::string_view data, F&& line) {
  const char* p = data.data();
  const char* const end = p + data.size();
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
    const char* stop = nl ? nl : end;
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', stop - p));
    line(std::string_view(p, (cr ? cr : stop) - p), static_cast<std::size_t>(stop - data.data()));
    p = nl ? nl + 1 : end;
  }
}

struct ColumnEntry {
  std::uint32_t count = 0;
  std::uint32_t sheetColumn = 0;  // from 1
  std::uint32_t width = 0;        // characters of the longest value
};

// Publishes progress now and then; looking at the clock for every line
// would cost more than the line itself.
class Progress {
 public:
  Progress(Clock& clock, JobStatus& status, std::int64_t total) : clock_(clock), status_(status) {
    status_.jobBytesTotal = total;
    status_.jobBytesDone = 0;
    last_ = clock_.monotonicMs();
  }
  void at(std::int64_t done) {
    if (++lines_ % kLinesPerClockCheck != 0) return;
    const std::int64_t now = clock_.monotonicMs();
    if (now - last_ < kProgressEveryMs) return;
    last_ = now;
    status_.jobBytesDone = done;
  }
  void set(std::int64_t done) { status_.jobBytesDone = done; }

 private:
  Clock& clock_;
  JobStatus& status_;
  std::int64_t last_ = 0;
  unsigned lines_ = 0;
};

// A whole number in a cell address the way the programs write it: digits
// alone. Anything else (blanks, signs, long numbers) is left to parseWhole.
inline const char* scanDigits(const char* p, const char* end, std::int64_t* out) {
  const char* start = p;
  std::int64_t v = 0;
  while (p < end && isAsciiDigit(*p) && p - start < 9) v = v * 10 + (*p++ - '0');
  *out = v;
  return p == start ? nullptr : p;
}

// parseSlxLine with a shortcut for "{row,column}value" written plainly;
// every other shape goes the general way and gets the same answer.
SlxLineKind parseLineFast(std::string_view line, SlxCell* cell) {
  const char* const begin = line.data();
  const char* const end = begin + line.size();
  const char* open = static_cast<const char*>(std::memchr(begin, '{', line.size()));
  if (!open || std::memchr(begin, '}', static_cast<std::size_t>(open - begin)))
    return parseSlxLine(line, cell);
  std::int64_t row, column;
  const char* p = scanDigits(open + 1, end, &row);
  if (!p || p == end || *p != ',') return parseSlxLine(line, cell);
  p = scanDigits(p + 1, end, &column);
  if (!p || p == end || *p != '}') return parseSlxLine(line, cell);
  if (row > kLastJobRow || column > kLastJobColumn) return SlxLineKind::OutsideSheet;
  cell->row = row;
  cell->column = column;
  cell->value = trim(std::string_view(p + 1, static_cast<std::size_t>(end - p - 1)));
  return SlxLineKind::Cell;
}

// slxNumber with a shortcut for the usual "[sign]digits,digits": when the
// digits fit 53 bits and the fraction has at most 22 of them, one division
// of two exact doubles is the correctly rounded value, as from_chars gives.
std::optional<double> numberFast(std::string_view value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = value.data();
  const char* const end = p + value.size();
  if (p == end) return std::nullopt;
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  std::uint64_t mantissa = 0;
  int digits = 0, fraction = -1;
  for (; p < end; ++p) {
    const char c = *p;
    if (isAsciiDigit(c)) {
      if (++digits > 15) return slxNumber(value);
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      if (fraction >= 0) ++fraction;
    } else if (c == ',' && fraction < 0) {
      fraction = 0;
    } else if (c == ' ' || c == '+' || c == '-' || c == ',') {
      return slxNumber(value);  // an odd shape of the number characters
    } else {
      return std::nullopt;  // text: no other character is ever part of a number
    }
  }
  if (fraction < 0 || digits == 0) return slxNumber(value);
  const double v = static_cast<double>(mantissa) / kPowers[fraction];
  return negative ? -v : v;
}

// The job's name without its extension and, unless it begins with a digit,
// without its trailing digits.
std::string uploadBaseName(const std::string& jobName) {
  const std::size_t dot = jobName.rfind('.');
  std::string base = dot == std::string::npos ? jobName : jobName.substr(0, dot);
  if (!base.empty() && isAsciiDigit(base[0])) return base;
  while (!base.empty() && isAsciiDigit(base.back())) base.pop_back();
  return base;
}

}  // namespace

SlxLineKind parseSlxLine(std::string_view line, SlxCell* cell) {
  const std::size_t open = line.find('{');
  const std::size_t close = line.find('}');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return SlxLineKind::NotCell;
  const std::string_view inside = line.substr(open + 1, close - open - 1);
  const std::size_t comma = inside.find(',');
  if (comma == std::string_view::npos) return SlxLineKind::NotCell;
  std::int64_t row = 0, column = 0;
  if (!parseWhole(inside.substr(0, comma), &row) || !parseWhole(inside.substr(comma + 1), &column))
    return SlxLineKind::NotCell;
  if (row < 0 || row > kLastJobRow || column < 0 || column > kLastJobColumn)
    return SlxLineKind::OutsideSheet;
  cell->row = row;
  cell->column = column;
  cell->value = trim(line.substr(close + 1));
  return SlxLineKind::Cell;
}

std::optional<double> slxNumber(std::string_view value) {
  bool comma = false;
  for (char c : value) {
    if (c == ',') {
      comma = true;
    } else if (!isAsciiDigit(c) && c != ' ' && c != '+' && c != '-') {
      return std::nullopt;
    }
  }
  if (!comma) return std::nullopt;
  // Conversion: optional sign, digits, the decimal point, digits; at least
  // one digit. A blank, a second sign or a second comma fails it.
  std::size_t i = 0;
  bool negative = false;
  if (value[0] == '+' || value[0] == '-') negative = value[i++] == '-';
  std::array<char, 64> small;
  std::string large;
  char* out = small.data();
  if (value.size() > small.size()) {
    large.resize(value.size());
    out = large.data();
  }
  std::size_t n = 0;
  bool point = false, digit = false;
  for (; i < value.size(); ++i) {
    const char c = value[i];
    if (isAsciiDigit(c)) {
      digit = true;
      out[n++] = c;
    } else if (c == ',' && !point) {
      point = true;
      out[n++] = '.';
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  double v = 0;
  const auto r = std::from_chars(out, out + n, v);
  if (r.ec != std::errc() || r.ptr != out + n) return std::nullopt;
  return negative ? -v : v;
}

std::optional<std::string> slxOutputName(FileSystem& fs, const std::string& dir,
                                         const std::string& jobName) {
  const std::string base = uploadBaseName(jobName);
  if (!base.empty() && isAsciiDigit(base[0])) return dir + "/" + base + ".XLS";
  std::string tried = dir + "/" + base + ".XLS";
  // The plain name, then 001 ... 999 and 000: 1001 names in all.
  for (int n = 1; n <= 1001; ++n) {
    if (!fs.stat(tried)) return tried;
    char suffix[4];
    std::snprintf(suffix, sizeof suffix, "%03d", n % 1000);
    tried = dir + "/" + base + suffix + ".XLS";
  }
  return std::nullopt;
}

std::uint16_t readSlxCodePage(ProfileFile* settings) {
  if (!settings) return kDefaultSlxCodePage;
  const int value = settings->readInteger("Spool", "SlxCodePage", kDefaultSlxCodePage);
  return value > 0 && value <= 0xFFFF ? static_cast<std::uint16_t>(value) : kDefaultSlxCodePage;
}

SlxJob::SlxJob(FileSystem& fs, Clock& clock, Locale& locale, JobStatus& status,
               ProfileFile* settings)
    : fs_(fs), clock_(clock), locale_(locale), status_(status), settings_(settings) {}

JobResult SlxJob::run(const JobFile& job) {
  std::string error;
  std::optional<std::string> content = fs_.readFile(job.path, &error);
  if (!content) return JobResult::notReady(error);
  std::string_view data = *content;
  if (const std::size_t eof = data.find('\x1A'); eof != std::string_view::npos)
    data = data.substr(0, eof);
  const std::int64_t fileSize = static_cast<std::int64_t>(content->size());
  Progress progress(clock_, status_, 2 * fileSize);

  // First pass: which columns are used, and how wide their values are.
  std::array<ColumnEntry, 256> columns{};
  std::uint64_t cells = 0, outside = 0;
  std::uint64_t bound = 0;  // bytes the records can take at most
  std::int64_t lastRow = -1;
  forEachLine(data, [&](std::string_view line, std::size_t offset) {
    progress.at(static_cast<std::int64_t>(offset));
    SlxCell cell;
    const SlxLineKind kind = parseLineFast(line, &cell);
    if (kind == SlxLineKind::OutsideSheet) ++outside;
    if (kind != SlxLineKind::Cell) return;
    ColumnEntry& c = columns[static_cast<std::size_t>(cell.column)];
    ++c.count;
    const std::size_t length = cell.value.size();
    c.width = static_cast<std::uint32_t>(std::max<std::size_t>(c.width, length));
    ++cells;
    lastRow = std::max(lastRow, cell.row);
    bound += 12 + std::clamp<std::size_t>(length, 7, 255);
  });
  std::uint32_t usedColumns = 0;
  std::uint64_t widthSum = 0;
  for (ColumnEntry& c : columns) {
    widthSum += c.width;
    if (c.count > 0) c.sheetColumn = ++usedColumns;
  }

  const std::string dir = job.directory();
  const std::optional<std::string> target = slxOutputName(fs_, dir, job.name);
  if (!target) {
    const std::string base = uploadBaseName(job.name);
    return JobResult::failed("Skaičiuoklės iš " + job.name + " neįrašyta: vardai " + base +
                                 ".XLS ir " + base + "000.XLS–" + base +
                                 "999.XLS jau užimti. Ištrinkite nereikalingus failus.",
                             "every output name for " + job.name + " is taken");
  }

  BiffWriter sheet(fs_, locale_);
  // The hint (half the width sum times the file size) grows far beyond any
  // real sheet and can overflow; what the cells can take bounds it.
  bound += 128 + 8 * std::uint64_t{usedColumns};
  const std::uint64_t half = widthSum / 2, size = static_cast<std::uint64_t>(fileSize);
  const std::uint64_t hint = (half != 0 && size > bound / half) ? bound : half * size;
  sheet.newSheet(static_cast<std::int64_t>(
      std::min<std::uint64_t>({hint, bound, static_cast<std::uint64_t>(INT32_MAX)})));
  sheet.setFileName(*target);
  sheet.setCodePage(readSlxCodePage(settings_));
  const BiffFont textFont{"Arial", 8, fsItalic};
  const BiffFont numberFont{"Arial", 8, fsBold};
  sheet.addFont(&textFont);
  sheet.addFont(&numberFont);
  // Format 0, which every cell refers to: the text cells' font and alignment.
  sheet.setActiveFont(0);
  sheet.setAlignment(BiffAlignment::General);
  sheet.addCellFormat();
  sheet.setHeader("Marvena");
  sheet.setFooter("&N &P");
  for (const ColumnEntry& c : columns)
    if (c.count > 0) {
      const auto column = static_cast<std::uint16_t>(c.sheetColumn);
      sheet.setColumnWidth(
          column, column,
          static_cast<std::int32_t>(std::min<std::uint32_t>(c.width, kMaxColumnWidth)));
    }

  // Second pass: the cells, in line order.
  forEachLine(data, [&](std::string_view line, std::size_t offset) {
    progress.at(fileSize + static_cast<std::int64_t>(offset));
    SlxCell cell;
    if (parseLineFast(line, &cell) != SlxLineKind::Cell) return;
    sheet.setRow(static_cast<std::uint16_t>(cell.row + 1));
    sheet.setColumn(static_cast<std::uint16_t>(columns[cell.column].sheetColumn));
    sheet.setShading(false);
    if (const std::optional<double> number = numberFast(cell.value)) {
      sheet.setActiveFont(1);
      sheet.setAlignment(BiffAlignment::Right);
      sheet.writeNumber(*number);
    } else {
      // A string as it stands in the job file: a LABEL.
      sheet.setActiveFont(0);
      sheet.setAlignment(BiffAlignment::General);
      sheet.writeLabel(cell.value);
    }
  });
  sheet.closeSheet();
  progress.set(2 * fileSize);

  // Saved first; the dispatcher deletes the job file only after a Done.
  const std::string shown = target->substr(dir.size() + 1);
  try {
    sheet.saveToFile();
  } catch (const BiffFileError& e) {
    return JobResult::failed("Nepavyko įrašyti skaičiuoklės failo " + shown + ": " + e.what(),
                             std::string("cannot save ") + *target + ": " + e.what());
  }
  std::string detail = "wrote " + shown + ", " + std::to_string(cells) + " cells";
  if (outside > 0)
    detail += ", " + std::to_string(outside) + (outside == 1 ? " line" : " lines") +
              " outside the sheet skipped";
  if (lastRow + 1 > kBiff2ReaderRows)
    detail += "; warning: " + std::to_string(lastRow + 1) +
              " rows, but xlrd refuses and Gnumeric cuts sheets of this format after " +
              std::to_string(kBiff2ReaderRows) + " rows (LibreOffice reads them all)";
  return JobResult::done(detail);
}

}  // namespace marvena
