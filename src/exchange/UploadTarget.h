// Where an exported XML document goes on the FTP server and under which
// name: the fixed kinds by base name, otherwise the document's "<no>" line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace marvena {

class Locale;

// Server names longer than this (before ".XML") are cut: most servers
// refuse names over 255 bytes, and a refused name would never go out.
inline constexpr std::size_t kMaxUploadStem = 251;

struct UploadTarget {
  std::string directory;  // under "xml": "customer", "stock", "purchase", "sale", or empty
  std::string stem;       // upload name without ".XML"
  std::string fileName() const { return stem + ".XML"; }
};

// The file name up to its first ".".
std::string uploadBaseName(std::string_view fileName);

// A document number (UTF-8) as a file name: Lithuanian letters folded to
// Latin, characters unsafe in a file name turned into blanks, a lone
// C4/C5 lead byte dropped, one trailing blank removed.
std::string safeFileName(std::string_view number);

struct DocumentScan {
  bool found = false;      // a line begins with "<no>"
  std::string number;      // its text, before "</no>"
  bool multiLine = false;  // the document has at least two lines
  bool sales = false;      // its second line contains "sales"
};
// Lines end at CR, LF or CRLF.
DocumentScan scanDocument(std::string_view document);

UploadTarget decideUploadTarget(std::string_view baseName, std::string_view document);

// The name a document is stored under until the server has confirmed it:
// ".<file name>.<8 letters or digits from `random`>.part", in the same
// directory, hidden from listings of most servers. Long names are cut so
// that it stays short.
std::string temporaryUploadName(const std::string& fileName, std::uint64_t random);

// "<stem> sent on <short date> <long time>"; the time is left out at midnight.
std::string uploadLogLine(const std::string& stem, const LocalTime& now, Locale& locale);

}  // namespace marvena
