#include "settings/ProfileFile.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/FileSystem.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "[name]" with optional blanks; nullopt for other lines.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

bool splitKey(std::string_view line, std::string_view* key, std::string_view* value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = trim(line.substr(0, eq));
  std::string_view v = trim(line.substr(eq + 1));
  // The profile API strips one pair of enclosing quotes.
  if (v.size() >= 2 &&
      ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
    v = v.substr(1, v.size() - 2);
  *value = v;
  return true;
}

}  // namespace

std::optional<int> parseProfileInteger(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char ch : text) {
    int digit;
    if (ch >= '0' && ch <= '9')
      digit = ch - '0';
    else if (base == 16 && ch >= 'a' && ch <= 'f')
      digit = ch - 'a' + 10;
    else if (base == 16 && ch >= 'A' && ch <= 'F')
      digit = ch - 'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (negative) value = -value;
  if (base == 16 && !negative && value > INT32_MAX) value -= 0x100000000LL;  // "0xFFFFFFFF" = -1
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<double> parseProfileDecimal(std::string_view text) {
  text = trim(text);
  if (text.empty() || text.size() > 64) return std::nullopt;
  std::string buf;
  int separators = 0;
  for (char ch : text) {
    if (ch == ',' || ch == '.') {
      ++separators;
      buf.push_back('.');
    } else if ((ch >= '0' && ch <= '9') || ch == '-' || ch == '+' || ch == 'e' || ch == 'E') {
      buf.push_back(ch);
    } else {
      return std::nullopt;
    }
  }
  if (separators > 1) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(buf.c_str(), &end);
  if (end != buf.c_str() + buf.size() || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string formatProfileDecimal(double value, char decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s;
  for (const char* p = buf; *p; ++p) {
    if (*p == '.') {
      s.push_back(decimalSeparator);
    } else if (*p == 'E') {
      // Written as "1E20" and "1E-5": no plus sign, no leading zeros.
      s.push_back('E');
      ++p;
      if (*p == '-') s.push_back('-');
      if (*p == '-' || *p == '+') ++p;
      while (*p == '0' && p[1] != '\0') ++p;
      s.append(p);
      break;
    } else {
      s.push_back(*p);
    }
  }
  return s;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf16Le(std::string& out, char16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

std::string utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  auto unitAt = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = unitAt(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const char16_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u >= 0xD800 && u < 0xE000 ? kReplacement : u);
  }
  return out;
}

std::string utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80         ? 0
                      : (b >> 5) == 6  ? 1
                      : (b >> 4) == 14 ? 2
                      : (b >> 3) == 30 ? 3
                                       : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool valid = extra >= 0 && i + extra < utf8.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; valid && k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (t & 0x3F);
    }
    if (!valid || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
      appendUtf16Le(out, static_cast<char16_t>(kReplacement));
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      appendUtf16Le(out, static_cast<char16_t>(0xD800 + (c >> 10)));
      appendUtf16Le(out, static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      appendUtf16Le(out, static_cast<char16_t>(c));
    }
  }
  return out;
}

ProfileFile::ProfileFile(FileSystem& fs, std::string path, char decimalSeparator)
    : fs_(fs), path_(std::move(path)), decimalSeparator_(decimalSeparator) {}

void ProfileFile::refresh() {
  const std::optional<DirEntry> st = fs_.stat(path_);
  if (!st) {
    if (loaded_ && seenTime_ == -1) return;
    lines_.clear();
    loaded_ = true;
    seenTime_ = -1;
    seenSize_ = 0;
    return;
  }
  if (loaded_ && st->size == seenSize_ && st->mtimeNs == seenTime_) return;
  std::string error;
  const std::optional<std::string> bytes = fs_.readFile(path_, &error);
  parse(bytes ? *bytes : std::string());
  loaded_ = true;
  seenSize_ = st->size;
  seenTime_ = st->mtimeNs;
}

void ProfileFile::parse(std::string_view bytes) {
  lines_.clear();
  // Editors such as Notepad may put a UTF-8 byte-order mark before the first
  // section; it is no part of the section name. Kept when the file is written.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  byteOrderMark_ = bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
  if (byteOrderMark_) bytes.remove_prefix(kByteOrderMark.size());
  // Notepad's "Unicode" is UTF-16 with its mark; the Windows profile API
  // reads such a file and writes it back the same way, and so do we.
  std::string decoded;
  utf16_ = !byteOrderMark_ && bytes.substr(0, 2) == "\xFF\xFE";
  if (utf16_) {
    decoded = utf16LeToUtf8(bytes.substr(2));
    bytes = decoded;
  }
  crlf_ = bytes.find("\r\n") != std::string_view::npos;
  std::size_t start = 0;
  while (start < bytes.size()) {
    // A lone CR ends a line too, as it does for the profile API.
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    lines_.push_back({std::string(bytes.substr(start, end - start))});
    start = end + 1;
    if (end < bytes.size() && bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
      ++start;
  }
}

std::string ProfileFile::serialize() const {
  std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
  for (const Line& l : lines_) {
    out += l.text;
    out += crlf_ ? "\r\n" : "\n";
  }
  if (utf16_) return "\xFF\xFE" + utf8ToUtf16Le(out);
  return out;
}

int ProfileFile::findSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = sectionName(lines_[i].text);
    if (name && equalsIgnoringCase(*name, section)) return static_cast<int>(i);
  }
  return -1;
}

int ProfileFile::sectionEnd(int sectionLine) const {
  std::size_t i = static_cast<std::size_t>(sectionLine) + 1;
  while (i < lines_.size() && !sectionName(lines_[i].text)) ++i;
  return static_cast<int>(i);
}

int ProfileFile::findKey(int sectionLine, std::string_view key) const {
  const int end = sectionEnd(sectionLine);
  for (int i = sectionLine + 1; i < end; ++i) {
    std::string_view k, v;
    if (splitKey(lines_[static_cast<std::size_t>(i)].text, &k, &v) && equalsIgnoringCase(k, key))
      return i;
  }
  return -1;
}

bool ProfileFile::sectionExists(std::string_view section) {
  refresh();
  return findSection(section) >= 0;
}

bool ProfileFile::keyExists(std::string_view section, std::string_view key) {
  refresh();
  const int s = findSection(section);
  return s >= 0 && findKey(s, key) >= 0;
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view def) {
  refresh();
  const int s = findSection(section);
  const int k = s >= 0 ? findKey(s, key) : -1;
  if (k < 0) return std::string(def);
  std::string_view name, value;
  splitKey(lines_[static_cast<std::size_t>(k)].text, &name, &value);
  return std::string(value);
}

int ProfileFile::readInteger(std::string_view section, std::string_view key, int def) {
  return parseProfileInteger(readString(section, key, "")).value_or(def);
}

double ProfileFile::readDecimal(std::string_view section, std::string_view key, double def) {
  return parseProfileDecimal(readString(section, key, "")).value_or(def);
}

bool ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value, std::string* error) {
  refresh();
  std::string line = std::string(key) + "=" + std::string(value);
  const int s = findSection(section);
  if (s < 0) {
    if (!lines_.empty() && !trim(lines_.back().text).empty()) lines_.push_back({""});
    lines_.push_back({"[" + std::string(section) + "]"});
    lines_.push_back({std::move(line)});
  } else if (const int k = findKey(s, key); k >= 0) {
    lines_[static_cast<std::size_t>(k)].text = std::move(line);
  } else {
    // After the section's last non-blank line.
    int at = sectionEnd(s);
    while (at - 1 > s && trim(lines_[static_cast<std::size_t>(at - 1)].text).empty()) --at;
    lines_.insert(lines_.begin() + at, {std::move(line)});
  }
  return save(error);
}

bool ProfileFile::writeInteger(std::string_view section, std::string_view key, int value,
                               std::string* error) {
  return writeString(section, key, std::to_string(value), error);
}

bool ProfileFile::writeDecimal(std::string_view section, std::string_view key, double value,
                               std::string* error) {
  return writeString(section, key, formatProfileDecimal(value, decimalSeparator_), error);
}

bool ProfileFile::deleteKey(std::string_view section, std::string_view key, std::string* error) {
  refresh();
  const int s = findSection(section);
  const int k = s >= 0 ? findKey(s, key) : -1;
  if (k < 0) return true;
  lines_.erase(lines_.begin() + k);
  return save(error);
}

bool ProfileFile::save(std::string* error) {
  std::string err;
  if (!fs_.writeFileAtomic(path_, serialize(), &err)) {
    if (error) *error = err;
    loaded_ = false;  // re-read what is really on disk next time
    return false;
  }
  if (const auto st = fs_.stat(path_)) {
    seenSize_ = st->size;
    seenTime_ = st->mtimeNs;
  }
  return true;
}

}  // namespace marvena
