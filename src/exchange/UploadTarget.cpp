#include "exchange/UploadTarget.h"

#include <algorithm>
#include <array>

#include "platform/Locale.h"

namespace marvena {

namespace {

struct Fold {
  unsigned char lead, trail;
  char latin;
};

constexpr std::array<Fold, 18> kFolds{{
    {0xC4, 0x84, 'A'},
    {0xC4, 0x85, 'a'},
    {0xC4, 0x8C, 'C'},
    {0xC4, 0x8D, 'c'},
    {0xC4, 0x96, 'E'},
    {0xC4, 0x98, 'E'},
    {0xC4, 0x97, 'e'},
    {0xC4, 0x99, 'e'},
    {0xC4, 0xAE, 'I'},
    {0xC4, 0xAF, 'i'},
    {0xC5, 0xA0, 'S'},
    {0xC5, 0xA1, 's'},
    {0xC5, 0xAA, 'U'},
    {0xC5, 0xB2, 'U'},
    {0xC5, 0xAB, 'u'},
    {0xC5, 0xB3, 'u'},
    {0xC5, 0xBD, 'Z'},
    {0xC5, 0xBE, 'z'},
}};

struct FixedKind {
  const char* baseName;
  const char* directory;
};

constexpr std::array<FixedKind, 4> kFixedKinds{{
    {"CUSTOMER", "customer"},
    {"STOCK", "stock"},
    {"PURCHASE", "purchase"},
    {"SALE", "sale"},
}};

bool unsafeInName(unsigned char c) {
  return c <= 31 || c == '.' || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' ||
         c == '\\' || c == '|';
}

std::string withoutBlanks(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  return s;
}

// Cuts at most to `max` bytes without splitting a UTF-8 sequence.
std::string cutUtf8(std::string s, std::size_t max) {
  if (s.size() <= max) return s;
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
  return s;
}

// One line of the document and where the next one starts.
std::string_view nextLine(std::string_view doc, std::size_t& pos) {
  const std::size_t start = pos;
  const std::size_t end = doc.find_first_of("\r\n", start);
  if (end == std::string_view::npos) {
    pos = doc.size();
    return doc.substr(start);
  }
  pos = end + 1;
  if (doc[end] == '\r' && pos < doc.size() && doc[pos] == '\n') ++pos;
  return doc.substr(start, end - start);
}

}  // namespace

std::string uploadBaseName(std::string_view fileName) {
  return std::string(fileName.substr(0, fileName.find('.')));
}

std::string safeFileName(std::string_view number) {
  std::string out;
  out.reserve(number.size());
  for (std::size_t i = 0; i < number.size(); ++i) {
    const auto c = static_cast<unsigned char>(number[i]);
    if (c == 0xC4 || c == 0xC5) {
      const auto next = i + 1 < number.size() ? static_cast<unsigned char>(number[i + 1]) : 0;
      const auto fold = std::find_if(kFolds.begin(), kFolds.end(),
                                     [&](const Fold& f) { return f.lead == c && f.trail == next; });
      if (fold != kFolds.end()) {
        out.push_back(fold->latin);
        ++i;
      }
      // A lead byte without a known letter after it stands for nothing
      // we could name a file by; it is dropped and the next byte is read
      // on its own.
      continue;
    }
    out.push_back(unsafeInName(c) ? ' ' : static_cast<char>(c));
  }
  if (out.size() > 1 && out.back() == ' ') out.pop_back();
  return out;
}

DocumentScan scanDocument(std::string_view document) {
  DocumentScan scan;
  std::size_t pos = 0;
  nextLine(document, pos);
  if (pos < document.size()) {
    scan.multiLine = true;
    scan.sales = nextLine(document, pos).find("sales") != std::string_view::npos;
  }
  // A line begins at the start of the document and after each line end;
  // searching for the tag is far quicker than walking the lines of a long
  // document.
  for (std::size_t at = document.find("<no>"); at != std::string_view::npos;
       at = document.find("<no>", at + 1)) {
    if (at > 0 && document[at - 1] != '\n' && document[at - 1] != '\r') continue;
    std::size_t lineEnd = at;
    std::string_view number = nextLine(document, lineEnd).substr(4, 255);
    number = number.substr(0, number.find("</no>"));
    scan.found = true;
    scan.number = std::string(number);
    break;
  }
  return scan;
}

UploadTarget decideUploadTarget(std::string_view baseName, std::string_view document) {
  UploadTarget target;
  for (const FixedKind& kind : kFixedKinds) {
    if (baseName == kind.baseName) {
      target.directory = kind.directory;
      target.stem = std::string(baseName);
      return target;
    }
  }

  // On Windows a job file's name could hold neither control characters nor
  // a backslash; here it can, and either would break the FTP command or
  // reach into another server directory.
  std::string base;
  for (char c : baseName)
    base.push_back(static_cast<unsigned char>(c) <= 31 || c == '\\' || c == '/' ? ' ' : c);
  base = withoutBlanks(std::move(base));

  const DocumentScan scan = scanDocument(document);
  if (scan.found && scan.multiLine) {
    target.directory = scan.sales ? "sale" : "purchase";
    target.stem = withoutBlanks(safeFileName(scan.number));
    // A number with nothing usable in it would become ".XML", and every
    // such document would overwrite the one before on the server.
    if (target.stem.empty()) target.stem = base;
  } else {
    target.stem = base;
  }
  target.stem = cutUtf8(std::move(target.stem), kMaxUploadStem);
  return target;
}

std::string temporaryUploadName(const std::string& fileName, std::uint64_t random) {
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string tag;
  for (int i = 0; i < 8; ++i, random /= 36) tag += kDigits[random % 36];
  return "." + cutUtf8(fileName, 40) + "." + tag + ".part";
}

std::string uploadLogLine(const std::string& stem, const LocalTime& now, Locale& locale) {
  std::string line = stem + " sent on " + locale.shortDate(now);
  if (now.hour != 0 || now.minute != 0 || now.second != 0) {
    line += ' ';
    line += locale.longTime(now);
  }
  return line;
}

}  // namespace marvena
