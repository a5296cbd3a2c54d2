// The print settings in force: the persistent ones come from MARVENA.INI,
// the rest are set at start and by each text print job.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Printers.h"

namespace marvena {

enum FontStyleBits : unsigned {
  fsBold = 1u << 0,
  fsItalic = 1u << 1,
  fsUnderline = 1u << 2,
  fsStrikeOut = 1u << 3,
};

struct PrintSettings {
  int printerIndex = -1;  // -1: the system's default printer
  Orientation orientation = Orientation::Portrait;
  std::string fontName = "MARVENA";
  int fontSize = 9;         // points
  unsigned fontStyle = 0;   // FontStyleBits
  bool balticCharset = false;
  int paperSize = 9;        // Windows paper-size code
  int paperLength = 297;    // mm
  int paperWidth = 210;     // mm
  float topMargin = 0, bottomMargin = 0, leftMargin = 0, rightMargin = 0;  // mm
  float splitterMargin = 0;  // mm
  int copies1 = 1, copies2 = 1;
  std::uint16_t pageFrom = 0, pageTo = 0;
};

}  // namespace marvena
