#include "printing/PrintedText.h"

#include "text/Ascii.h"
#include "text/CodePage.h"

namespace marvena {

bool isToolFace(std::string_view face) {
  return equalsIgnoringCase(face, "COURIER MARVENA");
}

char32_t printedChar(unsigned char byte, bool toolFace) {
  if (byte < 0x20 || byte == 0x7F) return U' ';
  if (toolFace && byte == 0xB5) return U'\u2524';
  return jobByteToUnicode(byte);
}

}  // namespace marvena
