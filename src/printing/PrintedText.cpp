#include "printing/PrintedText.h"

#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

bool IsToolFace(std::string_view face) {
  return EqualsIgnoringCase(face, "COURIER MARVENA");
}

char32_t PrintedChar(unsigned char byte, bool toolFace) {
  if (byte < 0x20 || byte == 0x7F) return U' ';
  if (toolFace && byte == 0xB5) return U'\u2524';
  return JobByteToUnicode(byte);
}

}  // namespace marvena
