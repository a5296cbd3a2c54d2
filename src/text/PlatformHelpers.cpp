#include "text/PlatformHelpers.h"

#include <cmath>

#include "platform/Fonts.h"
#include "platform/Printers.h"

namespace marvena {

const std::vector<CharsetName>& charsetNames() {
  static const std::vector<CharsetName> kNames{
      {"ANSI_CHARSET", 0},          {"DEFAULT_CHARSET", 1},      {"SYMBOL_CHARSET", 2},
      {"SHIFTJIS_CHARSET", 128},    {"HANGEUL_CHARSET", 129},    {"GB2312_CHARSET", 134},
      {"CHINESEBIG5_CHARSET", 136}, {"OEM_CHARSET", 255},        {"JOHAB_CHARSET", 130},
      {"HEBREW_CHARSET", 177},      {"ARABIC_CHARSET", 178},     {"GREEK_CHARSET", 161},
      {"TURKISH_CHARSET", 162},     {"VIETNAMESE_CHARSET", 163}, {"THAI_CHARSET", 222},
      {"EASTEUROPE_CHARSET", 238},  {"RUSSIAN_CHARSET", 204},    {"MAC_CHARSET", 77},
      {"BALTIC_CHARSET", 186},
  };
  return kNames;
}

std::vector<std::string> enumFontCharsets(Fonts& fonts, const std::string& face) {
  std::vector<std::string> out;
  for (int number : fonts.charsets(face.substr(0, 31))) {
    std::string name = "Unknown charset " + std::to_string(number);
    for (const CharsetName& c : charsetNames()) {
      if (c.number == number) {
        name = c.name;
        break;
      }
    }
    out.push_back(std::move(name));
  }
  return out;
}

Margins marginsFromMetrics(const PrinterMetrics& m) {
  Margins r;
  if (m.dpiX <= 0 || m.dpiY <= 0) return r;
  const float dx = static_cast<float>(m.dpiX), dy = static_cast<float>(m.dpiY);
  const float pageW = static_cast<float>(m.physicalWidth) / dx * 25.4f;
  const float pageH = static_cast<float>(m.physicalHeight) / dy * 25.4f;
  // Ties go to the even neighbour (the default rounding mode).
  r.left = std::nearbyint(static_cast<float>(m.offsetX) / dx * 25.4f);
  r.top = std::nearbyint(static_cast<float>(m.offsetY) / dy * 25.4f);
  const float printW = static_cast<float>(m.printableWidth) / dx * 25.4f;
  const float printH = static_cast<float>(m.printableHeight) / dy * 25.4f;
  r.right = std::nearbyint(pageW - printW - r.left);
  r.bottom = std::nearbyint(pageH - printH - r.top);
  return r;
}

std::optional<Margins> printerMinMargins(Printers& printers) {
  PrinterMetrics m;
  if (!printers.metrics(&m)) return std::nullopt;
  return marginsFromMetrics(m);
}

void clampMarginsToPrinter(Printers& printers, float& top, float& bottom, float& left,
                           float& right) {
  const std::optional<Margins> min = printerMinMargins(printers);
  if (!min) return;
  if (top < min->top) top = min->top;
  if (bottom < min->bottom) bottom = min->bottom;
  if (left < min->left) left = min->left;
  if (right < min->right) right = min->right;
}

}  // namespace marvena
