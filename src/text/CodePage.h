// The job code page: the DOS code page the accounting programs write job
// files in, and the text helpers built on it. All functions are pure.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace marvena {

// One row of the job code page table: a byte, its Unicode character and the
// plain ASCII stand-in used where only 8-bit text is possible.
struct CodePageRow {
  unsigned char byte;
  char32_t unicode;
  char plain;
};

// The 29 rows in lookup order: 18 Lithuanian letters, then 11 box-drawing lines.
const std::array<CodePageRow, 29>& jobCodePageRows();

// Unicode of a job byte: the table rows first, code page 437 for every other byte.
char32_t jobByteToUnicode(unsigned char b);
// Unicode of a code page 437 byte.
char32_t cp437ToUnicode(unsigned char b);
// Unicode of a Windows-1257 byte (0 for the few unassigned bytes).
char32_t cp1257ToUnicode(unsigned char b);

void appendUtf8(std::string& out, char32_t c);
// Job bytes as UTF-8 text (control bytes kept as they are).
std::string jobTextToUtf8(std::string_view jobBytes);

// Replaces the first "??" of `line` by `value`; at most 255 bytes of the
// tail that followed the "??" are kept.
void fillPlaceholder(std::string_view value, std::string& line);

// Lithuanian lower-case letters of the job code page and a..z to upper case.
std::string balticUpperCase(std::string_view text);

// Upper-cased job text as XML character data in UTF-8: Lithuanian letters
// become their UTF-8 capitals, other bytes 0x7F..0xDB are dropped, 0xE0..0xEF,
// 0xFE and 0xFF become their code page 437 characters, control bytes other
// than TAB are dropped, and the XML special characters are escaped.
std::string toXmlText(std::string_view jobText);

// Escapes the five XML special characters of UTF-8 text.
std::string xmlEscape(std::string_view utf8);

}  // namespace marvena
