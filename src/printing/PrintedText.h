// How job bytes look on paper, shared by every printer device.
#pragma once

#include <string_view>

namespace marvena {

// The accounting system's own face, "Courier Marvena" (any letter case).
bool isToolFace(std::string_view face);

// The character a job byte prints as: the job code page, except that control
// bytes print as blanks (a printer would take them for commands), and that
// in the tool's own face the slot 0xB5 holds the frame piece ┤, which the
// print pass moves there from 0xB4.
char32_t printedChar(unsigned char byte, bool toolFace);

}  // namespace marvena
