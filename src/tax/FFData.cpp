#include "tax/FFData.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "settings/ProfileFile.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

bool isDroppedControl(unsigned char b) {
  return b < 0x20 && b != '\t';
}

// Decodes one UTF-8 sequence at `at`; 0 when it is not a valid scalar value
// that XML allows.
std::size_t utf8Length(std::string_view s, std::size_t at) {
  const auto b0 = static_cast<unsigned char>(s[at]);
  if (b0 < 0x80) return 1;
  std::size_t len;
  char32_t c;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (at + len > s.size()) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[at + i]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  const bool overlong = (len == 3 && c < 0x800) || (len == 4 && c < 0x10000);
  const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
  if (overlong || surrogate || c > 0x10FFFF || c == 0xFFFE || c == 0xFFFF) return 0;
  return len;
}

bool isXmlUtf8(std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    const std::size_t n = utf8Length(s, at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

// Host text as clean UTF-8, cut to `maxChars` characters.
std::string hostTextToUtf8(std::string_view text, std::size_t maxChars) {
  std::string out;
  std::size_t chars = 0;
  if (isXmlUtf8(text)) {
    for (std::size_t at = 0; at < text.size() && chars < maxChars;) {
      const std::size_t n = utf8Length(text, at);
      if (!isDroppedControl(static_cast<unsigned char>(text[at]))) {
        out.append(text.substr(at, n));
        ++chars;
      }
      at += n;
    }
    return out;
  }
  for (char ch : text) {
    if (chars == maxChars) break;
    const auto b = static_cast<unsigned char>(ch);
    if (isDroppedControl(b)) continue;
    appendUtf8(out, jobByteToUnicode(b));
    ++chars;
  }
  return out;
}

}  // namespace

JobLines::JobLines(std::string bytes) : bytes_(std::move(bytes)) {
  std::string_view text(bytes_);
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
    text = text.substr(0, nul);
  lines_.reserve(text.size() / 32 + 1);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch != '\r' && ch != '\n') continue;
    lines_.push_back(text.substr(start, i - start));
    if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines_.push_back(text.substr(start));
}

std::vector<std::string> splitJobRow(std::string_view row, int fieldCount) {
  std::vector<std::string> fields(fieldCount > 0 ? static_cast<std::size_t>(fieldCount) : 0);
  std::string_view rest = row;
  for (std::string& field : fields) {
    const std::size_t at = rest.find(kFieldSeparator);
    if (at == std::string_view::npos) break;
    field = trimBlanks(rest.substr(0, at));
    rest = rest.substr(at + 1, 255);
  }
  return fields;
}

std::string rawValue(std::string_view jobText) {
  std::string utf8;
  utf8.reserve(jobText.size());
  for (char ch : jobText) {
    const auto b = static_cast<unsigned char>(ch);
    if (!isDroppedControl(b)) appendUtf8(utf8, jobByteToUnicode(b));
  }
  return xmlEscape(utf8);
}

std::string jobDate(std::string_view jobText) {
  std::string date(jobText);
  for (char& ch : date)
    if (ch == '.') ch = '-';
  return rawValue(date);
}

std::string periodYear(std::string_view jobText) {
  return rawValue(jobText.substr(0, 4));
}

std::string periodMonth(std::string_view jobText) {
  return jobText.size() > 5 ? rawValue(jobText.substr(5, 2)) : std::string();
}

std::string hostTextToXml(std::string_view text) {
  return xmlEscape(hostTextToUtf8(text, std::string_view::npos));
}

std::string creatorLogin(std::string_view userName) {
  const std::string name = hostTextToUtf8(userName, 254);
  return name.empty() ? std::string("Marvena") : xmlEscape(name);
}

std::string createdOnDate(const LocalTime& today) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", today.year, today.month, today.day);
  return buf;
}

std::string documentPath(const std::string& jobPath) {
  const std::size_t slash = jobPath.rfind('/');
  const std::size_t dot = jobPath.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? jobPath.substr(0, dot) : jobPath) + ".ffdata";
}

std::optional<long double> parseReal(std::string_view text, char decimalSeparator,
                                     bool trailingBlanks) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (trailingBlanks)
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  auto isDigit = [&](std::size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
  };

  std::string canonical;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::size_t digits = 0, fractionDigits = 0;
  unsigned long long mantissa = 0;
  while (isDigit(i)) {
    mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
    canonical.push_back(text[i++]), ++digits;
  }
  if (i < text.size() && text[i] == decimalSeparator) {
    ++i;
    std::string fraction;
    while (isDigit(i)) {
      mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
      fraction.push_back(text[i++]), ++digits, ++fractionDigits;
    }
    if (!fraction.empty()) canonical += "." + fraction;
  }
  if (digits == 0) return std::nullopt;
  if (canonical.front() == '.') canonical.insert(canonical.begin(), '0');
  if (i == text.size() && digits <= 18) {
    // Amounts as the programs write them: both numbers are exact in long
    // double, so one division rounds as correctly as the full conversion.
    long double scale = 1;
    for (std::size_t k = 0; k < fractionDigits; ++k) scale *= 10;
    const long double value = static_cast<long double>(mantissa) / scale;
    return negative ? -value : value;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    canonical.push_back('e');
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
      if (text[i++] == '-') canonical.push_back('-');
    if (!isDigit(i)) return std::nullopt;
    while (isDigit(i)) canonical.push_back(text[i++]);
  }
  if (i != text.size()) return std::nullopt;

  long double value = 0;
  const auto [end, ec] =
      std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  if (ec != std::errc() || end != canonical.data() + canonical.size()) return std::nullopt;
  return negative ? -value : value;
}

std::string formatGeneral(long double value, char decimalSeparator) {
  return formatProfileDecimal(static_cast<double>(value), decimalSeparator);
}

BadJobValue::BadJobValue(std::size_t line, std::string what, std::string whatEnglish,
                         std::string_view value)
    : std::runtime_error(whatEnglish + " in line " + std::to_string(line + 1) + ": \"" +
                         hostTextToUtf8(jobTextToUtf8(value.substr(0, 60)), 60) + "\""),
      line_(line),
      what_(std::move(what)),
      value_(hostTextToUtf8(jobTextToUtf8(value.substr(0, 60)), 60)) {}

FFDataWriter::FFDataWriter(LineEnd lineEnd, bool byteOrderMark, std::size_t expectedBytes)
    : end_(lineEnd == LineEnd::CrLf ? "\r\n" : "\n") {
  out_.reserve(expectedBytes);
  if (byteOrderMark) out_ = "\xEF\xBB\xBF";
}

FFDataWriter::FFDataWriter(LineEnd lineEnd, bool byteOrderMark, AtomicFile& sink)
    : FFDataWriter(lineEnd, byteOrderMark, kPiece + 4096) {
  sink_ = &sink;
}

void FFDataWriter::flush() {
  if (!failed_ && !out_.empty()) failed_ = !sink_->write(out_);
  out_.clear();
}

bool FFDataWriter::finish() {
  if (sink_) flush();
  return !failed_;
}

void FFDataWriter::fill(std::string_view templateLine, std::string_view value) {
  // What fillPlaceholder makes of the line, appended in place.
  const std::size_t at = templateLine.find("??");
  if (at == std::string_view::npos) return line(templateLine);
  out_.append(templateLine.substr(0, at));
  out_.append(value);
  out_.append(templateLine.substr(at + 2, 255));
  out_.append(end_);
  if (sink_ && out_.size() >= kPiece) flush();
}

void FFDataWriter::fill(std::string_view templateLine, std::string_view first,
                        std::string_view second) {
  scratch_.assign(templateLine);
  fillPlaceholder(first, scratch_);
  fillPlaceholder(second, scratch_);
  line(scratch_);
}

void FFDataWriter::fillIfPresent(std::string_view templateLine,
                                 const std::optional<std::string>& value) {
  if (value)
    fill(templateLine, *value);
  else
    line(templateLine);
}

void FFDataWriter::field(std::string_view name, std::string_view value) {
  out_.append("<Field Name=\"").append(name).append("\">").append(value).append("</Field>");
  out_.append(end_);
  if (sink_ && out_.size() >= kPiece) flush();
}

namespace {

// How much of an existing document is read to tell its kind: the main page
// is named within the first lines of every layout.
constexpr std::size_t kKindHead = 4096;

std::string valueAfter(std::string_view text, std::string_view opening, char closing,
                       std::size_t* at) {
  *at = text.find(opening);
  if (*at == std::string_view::npos) return {};
  const std::size_t from = *at + opening.size();
  const std::size_t to = text.find(closing, from);
  if (to == std::string_view::npos) return {};
  return std::string(text.substr(from, to - from));
}

std::string bareName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::string documentKind(std::string_view head) {
  if (head.find("<FFData") == std::string_view::npos) return {};
  std::size_t listAt = 0, pageAt = 0;
  std::string list = valueAfter(head, "<ListPage>", '<', &listAt);
  std::string page = valueAfter(head, "<Page PageDefName=\"", '"', &pageAt);
  if (list.empty()) return page;
  if (page.empty()) return list;
  return listAt < pageAt ? list : page;
}

std::string chooseDocumentPath(FileSystem& fs, const JobFile& job, std::string_view kind,
                               std::string* note) {
  const std::string first = documentPath(job.droppedPath());
  const std::string stem = first.substr(0, first.size() - std::string_view(".ffdata").size());
  std::string extension = job.name.substr(job.name.rfind('.') + 1);
  for (char& c : extension) c = asciiUpper(c);
  std::string path = first;
  for (int n = 1; n <= 1000; ++n) {
    if (!fs.stat(path)) return path;
    std::string error;
    const std::optional<std::string> head = fs.readChunk(path, 0, kKindHead, &error);
    const std::string found = head ? documentKind(*head) : std::string();
    if (found == kind) return path;  // a re-submitted job replaces its document
    if (note && note->empty()) {
      note->append(bareName(path)).append(" holds ");
      note->append(found.empty() ? std::string_view("no declaration of ours") : found);
      note->append(", kept; ");
    }
    path = stem;
    path.append("-").append(extension);
    if (n > 1) path.append("-").append(std::to_string(n));
    path.append(".ffdata");
  }
  return {};  // every name is taken by other files
}

namespace {

JobResult notWritten(const JobFile& job, const std::string& path, const std::string& error) {
  return JobResult::kept("Nepavyko įrašyti deklaracijos " + bareName(path) + ". Failas " +
                             hostTextToUtf8(job.name, 255) + " paliktas kataloge.",
                         "cannot write " + path + ": " + error);
}

}  // namespace

JobResult writeDocument(FileSystem& fs, const JobFile& job, std::string_view kind,
                        const std::string& document) {
  std::string note;
  const std::string path = chooseDocumentPath(fs, job, kind, &note);
  if (path.empty()) return notWritten(job, documentPath(job.droppedPath()), "every name is taken");
  std::string error;
  if (!fs.writeFileAtomic(path, document, &error)) return notWritten(job, path, error);
  return JobResult::done(note + "wrote " + path);
}

JobResult streamDocument(FileSystem& fs, const JobFile& job, std::string_view kind,
                         FFDataWriter::LineEnd lineEnd,
                         const std::function<void(FFDataWriter&)>& build) {
  std::string note;
  const std::string path = chooseDocumentPath(fs, job, kind, &note);
  if (path.empty()) return notWritten(job, documentPath(job.droppedPath()), "every name is taken");
  std::string error;
  std::unique_ptr<AtomicFile> file = fs.createAtomic(path, &error);
  if (!file) return notWritten(job, path, error);
  FFDataWriter out(lineEnd, false, *file);
  try {
    build(out);
  } catch (const BadJobValue& bad) {
    return badValueResult(job, bad);  // the unfinished file is dropped
  }
  if (!out.finish()) return notWritten(job, path, "write failed");
  if (!file->commit(&error)) return notWritten(job, path, error);
  return JobResult::done(note + "wrote " + path);
}

JobResult badValueResult(const JobFile& job, const BadJobValue& bad) {
  return JobResult::kept("Failo " + hostTextToUtf8(job.name, 255) + " " +
                             std::to_string(bad.line() + 1) + " eilutėje " + bad.valueName() +
                             " „" + bad.value() + "“. Deklaracija nesukurta, failas paliktas.",
                         bad.what());
}

std::optional<std::string> headerValue(const JobLines& job, std::size_t line,
                                       std::string (*convert)(std::string_view)) {
  if (!job.has(line)) return std::nullopt;
  return convert(job[line]);
}

}  // namespace marvena
