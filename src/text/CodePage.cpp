#include "text/CodePage.h"

namespace marvena {

namespace {

constexpr std::array<CodePageRow, 29> kRows{{
    {0xDC, U'\u0104', 'A'}, {0xDD, U'\u0105', 'a'}, {0xDE, U'\u010C', 'C'}, {0xDF, U'\u010D', 'c'},
    {0xF0, U'\u0118', 'E'}, {0xF1, U'\u0119', 'e'}, {0xF2, U'\u0116', 'E'}, {0xF3, U'\u0117', 'e'},
    {0xF4, U'\u012E', 'I'}, {0xF5, U'\u012F', 'i'}, {0xF6, U'\u0160', 'S'}, {0xF7, U'\u0161', 's'},
    {0xF8, U'\u0172', 'U'}, {0xF9, U'\u0173', 'u'}, {0xFA, U'\u016A', 'U'}, {0xFB, U'\u016B', 'u'},
    {0xFC, U'\u017D', 'Z'}, {0xFD, U'\u017E', 'z'}, {0xC4, U'\u2500', '-'}, {0xB3, U'\u2502', '|'},
    {0xDA, U'\u250C', '|'}, {0xBF, U'\u2510', '|'}, {0xC0, U'\u2514', '|'}, {0xD9, U'\u2518', '|'},
    {0xC3, U'\u251C', '|'}, {0xB4, U'\u2524', '|'}, {0xC2, U'\u252C', '-'}, {0xC1, U'\u2534', '-'},
    {0xC5, U'\u253C', '+'},
}};

constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1257 (Baltic); 0 marks the unassigned positions.
constexpr char16_t kCp1257High[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0,      0x2039,
    0,      0x00A8, 0x02C7, 0x00B8, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0,      0x203A, 0,      0x00AF, 0x02DB, 0,      0x00A0, 0,      0x00A2, 0x00A3,
    0x00A4, 0,      0x00A6, 0x00A7, 0x00D8, 0x00A9, 0x0156, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00C6,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00F8, 0x00B9, 0x0157, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00E6, 0x0104, 0x012E, 0x0100, 0x0106, 0x00C4, 0x00C5, 0x0118, 0x0112,
    0x010C, 0x00C9, 0x0179, 0x0116, 0x0122, 0x0136, 0x012A, 0x013B, 0x0160, 0x0143, 0x0145, 0x00D3,
    0x014C, 0x00D5, 0x00D6, 0x00D7, 0x0172, 0x0141, 0x015A, 0x016A, 0x00DC, 0x017B, 0x017D, 0x00DF,
    0x0105, 0x012F, 0x0101, 0x0107, 0x00E4, 0x00E5, 0x0119, 0x0113, 0x010D, 0x00E9, 0x017A, 0x0117,
    0x0123, 0x0137, 0x012B, 0x013C, 0x0161, 0x0144, 0x0146, 0x00F3, 0x014D, 0x00F5, 0x00F6, 0x00F7,
    0x0173, 0x0142, 0x015B, 0x016B, 0x00FC, 0x017C, 0x017E, 0x02D9,
};

constexpr std::array<std::pair<unsigned char, unsigned char>, 9> kLowerToUpper{{
    {0xDD, 0xDC},
    {0xDF, 0xDE},
    {0xF1, 0xF0},
    {0xF3, 0xF2},
    {0xF5, 0xF4},
    {0xF7, 0xF6},
    {0xF9, 0xF8},
    {0xFB, 0xFA},
    {0xFD, 0xFC},
}};

}  // namespace

const std::array<CodePageRow, 29>& jobCodePageRows() {
  return kRows;
}

char32_t cp437ToUnicode(unsigned char b) {
  return b < 0x80 ? b : kCp437High[b - 0x80];
}

char32_t cp1257ToUnicode(unsigned char b) {
  return b < 0x80 ? b : kCp1257High[b - 0x80];
}

char32_t jobByteToUnicode(unsigned char b) {
  if (b < 0x80) return b;
  for (const CodePageRow& row : kRows)
    if (row.byte == b) return row.unicode;
  return cp437ToUnicode(b);
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string jobTextToUtf8(std::string_view jobBytes) {
  std::string out;
  out.reserve(jobBytes.size() + jobBytes.size() / 4);
  for (char ch : jobBytes) appendUtf8(out, jobByteToUnicode(static_cast<unsigned char>(ch)));
  return out;
}

void fillPlaceholder(std::string_view value, std::string& line) {
  const std::size_t at = line.find("??");
  if (at == std::string::npos) return;
  std::string tail = line.substr(at + 2, 255);
  line.resize(at);
  line.append(value);
  line.append(tail);
}

std::string balticUpperCase(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    const auto b = static_cast<unsigned char>(ch);
    for (const auto& [lower, upper] : kLowerToUpper) {
      if (b == lower) {
        ch = static_cast<char>(upper);
        break;
      }
    }
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return out;
}

namespace {

void appendEscaped(std::string& out, char ch) {
  switch (ch) {
    case '&':
      out += "&amp;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '\'':
      out += "&apos;";
      break;
    default:
      out.push_back(ch);
  }
}

}  // namespace

std::string toXmlText(std::string_view jobText) {
  const std::string upper = balticUpperCase(jobText);
  std::string out;
  out.reserve(upper.size() + 16);
  for (char ch : upper) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20) {
      if (b == '\t') out.push_back(ch);
    } else if (b <= 0x7E) {
      appendEscaped(out, ch);
    } else if (b <= 0xDB) {
      // Box drawing and the other DOS graphics have no place in a form field.
    } else if ((b >= 0xE0 && b <= 0xEF) || b == 0xFE || b == 0xFF) {
      appendUtf8(out, cp437ToUnicode(b));
    } else {
      appendUtf8(out, jobByteToUnicode(b));  // a capital Lithuanian letter
    }
  }
  return out;
}

std::string xmlEscape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 8);
  for (char ch : utf8) appendEscaped(out, ch);
  return out;
}

}  // namespace marvena
