#include "printing/Directives.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/FileSystem.h"
#include "text/Ascii.h"

namespace marvena {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

int digitValue(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9')
    d = c - '0';
  else if (c >= 'a' && c <= 'f')
    d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    d = c - 'A' + 10;
  return d < base ? d : -1;
}

// A page number held in 16 bits. Numbers the counter cannot hold mean
// "beyond the end" rather than wrapping round to an early page.
std::uint16_t pageNumberOf(int value) {
  if (value > 65535) return 65535;
  return static_cast<std::uint16_t>(value);
}

int copyCount(int value) {
  if (value < 1) return 1;
  return value > kMaxCopies ? kMaxCopies : value;
}

}  // namespace

int parseDirectiveInteger(std::string_view arg) {
  std::size_t i = 0;
  while (i < arg.size() && isBlank(arg[i])) ++i;
  bool negative = false;
  if (i < arg.size() && (arg[i] == '+' || arg[i] == '-')) negative = arg[i++] == '-';
  int base = 10;
  if (i < arg.size() && arg[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < arg.size() && arg[i] == '0' && (arg[i + 1] == 'x' || arg[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  std::int64_t value = 0;
  int digits = 0;
  for (; i < arg.size(); ++i) {
    const int d = digitValue(arg[i], base);
    if (d < 0) break;
    const std::int64_t next = value * base + d;
    if (next > std::numeric_limits<std::int32_t>::max()) break;  // stops like any other character
    value = next;
    ++digits;
  }
  if (digits == 0) return 0;
  if (negative && i == arg.size()) value = -value;
  return static_cast<int>(value);
}

double parseDirectiveDecimal(std::string_view arg) {
  std::size_t i = 0;
  while (i < arg.size() && isBlank(arg[i])) ++i;
  bool negative = false;
  if (i < arg.size() && (arg[i] == '+' || arg[i] == '-')) negative = arg[i++] == '-';
  const std::size_t start = i;
  std::size_t mantissaDigits = 0;
  bool integerPartZero = true;
  while (i < arg.size() && isAsciiDigit(arg[i])) {
    if (arg[i] != '0') integerPartZero = false;
    ++i;
    ++mantissaDigits;
  }
  if (i < arg.size() && arg[i] == '.') {
    ++i;
    while (i < arg.size() && isAsciiDigit(arg[i])) {
      ++i;
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return 0;
  bool negativeExponent = false;
  if (i < arg.size() && (arg[i] == 'e' || arg[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < arg.size() && (arg[j] == '+' || arg[j] == '-')) negativeExponent = arg[j++] == '-';
    if (j < arg.size() && isAsciiDigit(arg[j])) {
      while (j < arg.size() && isAsciiDigit(arg[j])) ++j;
      i = j;
    } else {
      negativeExponent = false;
    }
  }
  double value = 0;
  const auto [ptr, ec] = std::from_chars(arg.data() + start, arg.data() + i, value);
  (void)ptr;
  if (ec == std::errc::result_out_of_range)
    value = (negativeExponent || integerPartZero) ? 0.0 : DBL_MAX;
  else if (ec != std::errc())
    value = 0;
  return negative ? -value : value;
}

float toSingle(double value) {
  if (std::isnan(value)) return 0.0f;
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

std::optional<std::string_view> directiveArgument(std::string_view line, std::string_view keyword) {
  const std::size_t at = line.find(keyword);
  if (at == std::string_view::npos) return std::nullopt;
  return line.substr(at + keyword.size(), 255);
}

void applyJobDirectives(std::string_view line, PrintSettings& ps) {
  if (auto a = directiveArgument(line, "@PRINTER_INDEX="))
    ps.printerIndex = parseDirectiveInteger(*a);
  if (auto a = directiveArgument(line, "@ORIENTATION=")) {
    if (*a == "PORTRAIT")
      ps.orientation = Orientation::Portrait;
    else if (*a == "LANDSCAPE")
      ps.orientation = Orientation::Landscape;
  }
  if (auto a = directiveArgument(line, "@FONT=")) ps.fontName = std::string(*a);
  if (auto a = directiveArgument(line, "@SIZE=")) ps.fontSize = parseDirectiveInteger(*a);
  if (auto a = directiveArgument(line, "@MARGIN.LEFT="))
    ps.leftMargin = toSingle(parseDirectiveDecimal(*a));
  if (auto a = directiveArgument(line, "@MARGIN.TOP="))
    ps.topMargin = toSingle(parseDirectiveDecimal(*a));
  if (auto a = directiveArgument(line, "@MARGIN.RIGHT="))
    ps.rightMargin = toSingle(parseDirectiveDecimal(*a));
  if (auto a = directiveArgument(line, "@MARGIN.BOTTOM="))
    ps.bottomMargin = toSingle(parseDirectiveDecimal(*a));
  if (auto a = directiveArgument(line, "@MARGIN.SPLITTER="))
    ps.splitterMargin = toSingle(parseDirectiveDecimal(*a));
  if (auto a = directiveArgument(line, "@PAGE.FROM=")) {
    ps.pageFrom = pageNumberOf(parseDirectiveInteger(*a));
    if (ps.pageFrom == 0) ps.pageFrom = 1;
  }
  if (auto a = directiveArgument(line, "@PAGE.TO="))
    ps.pageTo = pageNumberOf(parseDirectiveInteger(*a));
  if (auto a = directiveArgument(line, "@NCOPIES1="))
    ps.copies1 = copyCount(parseDirectiveInteger(*a));
  if (auto a = directiveArgument(line, "@NCOPIES2="))
    ps.copies2 = copyCount(parseDirectiveInteger(*a));
}

bool isJobDirectiveLine(std::string_view line) {
  for (std::string_view k : {"@ORIENTATION=", "@FONT=", "@SIZE=", "@MARGIN.", "@PAGE.", "@NCOPIES"})
    if (line.find(k) != std::string_view::npos) return true;
  return false;
}

LineDirectives parseLineDirectives(std::string_view line) {
  LineDirectives d;
  if (auto a = directiveArgument(line, "@XPOS=")) d.xpos = parseDirectiveDecimal(*a);
  if (auto a = directiveArgument(line, "@YPOS=")) d.ypos = parseDirectiveDecimal(*a);
  if (auto a = directiveArgument(line, "@PICTURE.WIDTH="))
    d.pictureWidth = parseDirectiveDecimal(*a);
  if (auto a = directiveArgument(line, "@PICTURE.HEIGHT="))
    d.pictureHeight = parseDirectiveDecimal(*a);
  if (!d.xpos && !d.ypos && !d.pictureWidth && !d.pictureHeight)
    if (auto a = directiveArgument(line, "@PICTURE=")) d.picture = std::string(*a);
  return d;
}

void insertCopyNumber(std::string& line, int set) {
  const std::size_t at = line.find("@COPY");
  if (at != std::string::npos) line.replace(at, 5, std::to_string(set));
}

JobLineReader::JobLineReader(FileSystem& fs, std::string path, std::size_t chunkBytes)
    : fs_(fs), path_(std::move(path)), chunkBytes_(chunkBytes ? chunkBytes : 1) {}

bool JobLineReader::fill() {
  if (pos_ > 0) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  std::optional<std::string> chunk = fs_.readChunk(path_, offset_, chunkBytes_, &error_);
  if (!chunk) {
    failed_ = ended_ = true;
    if (error_.empty()) error_ = "cannot read " + path_;
    return false;
  }
  if (chunk->empty()) eof_ = true;
  offset_ += chunk->size();
  buffer_ += *chunk;
  return true;
}

bool JobLineReader::next(std::string_view* line, std::uint64_t* consumed) {
  while (!ended_) {
    const char* base = buffer_.data() + pos_;
    const std::size_t avail = buffer_.size() - pos_;
    std::size_t i = scanned_;
    while (i < avail && base[i] != '\n' && base[i] != '\x1A') ++i;
    if (i < avail || eof_) {
      const bool endOfFile = i >= avail || base[i] == '\x1A';
      std::string_view text(base, i);
      *consumed = i + dropped_ + (i < avail ? 1 : 0);
      const bool empty = text.empty() && dropped_ == 0;
      pos_ += i < avail ? i + 1 : i;
      scanned_ = 0;
      dropped_ = 0;
      if (endOfFile) {
        ended_ = true;
        // Text before the end of the file is a last line only when there is some.
        if (empty) return false;
      }
      *line = text.substr(0, text.find('\r'));
      return true;
    }
    scanned_ = avail;
    if (avail > kMaxLineBytes) {
      dropped_ += avail - kMaxLineBytes;
      buffer_.resize(pos_ + kMaxLineBytes);
      scanned_ = kMaxLineBytes;
    }
    if (!fill()) return false;
  }
  return false;
}

}  // namespace marvena
