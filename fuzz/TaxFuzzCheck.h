// What every FFData document must be, whatever the job file held: valid
// UTF-8 without control characters other than the line ends, framed by the
// declaration and the closing tag. A violation stops the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace marvena::fuzz {

inline void require(bool ok) {
  if (!ok) __builtin_trap();
}

inline void checkDocument(std::string_view doc, std::string_view prefix, std::string_view end) {
  require(doc.substr(0, prefix.size()) == prefix);
  const std::string closing = std::string("</FFData>") + std::string(end);
  require(doc.size() >= closing.size() && doc.substr(doc.size() - closing.size()) == closing);
  for (std::size_t i = 0; i < doc.size();) {
    const auto b = static_cast<unsigned char>(doc[i]);
    if (b < 0x80) {
      require(b >= 0x20 || b == '\t' || b == '\r' || b == '\n');
      ++i;
      continue;
    }
    std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    require(b >= 0xC2 && b <= 0xF4 && i + len <= doc.size());
    for (std::size_t k = 1; k < len; ++k)
      require((static_cast<unsigned char>(doc[i + k]) & 0xC0) == 0x80);
    i += len;
  }
  // Every "<" opens markup: values are escaped.
  for (std::size_t at = doc.find('<'); at != std::string_view::npos; at = doc.find('<', at + 1)) {
    const char next = at + 1 < doc.size() ? doc[at + 1] : '\0';
    require(next == '/' || next == '?' || (next >= 'A' && next <= 'Z'));
  }
}

}  // namespace marvena::fuzz
