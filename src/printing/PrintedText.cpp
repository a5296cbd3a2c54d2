#include "printing/PrintedText.h"

#include "text/CodePage.h"

namespace marvena {

bool IsToolFace(std::string_view face) {
  constexpr std::string_view kTool = "COURIER MARVENA";
  if (face.size() != kTool.size()) return false;
  for (std::size_t i = 0; i < face.size(); ++i) {
    char c = face[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != kTool[i]) return false;
  }
  return true;
}

char32_t PrintedChar(unsigned char byte, bool toolFace) {
  if (byte < 0x20 || byte == 0x7F) return U' ';
  if (toolFace && byte == 0xB5) return U'\u2524';
  return JobByteToUnicode(byte);
}

}  // namespace marvena
