// Start-up helpers over the printer and font services.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace marvena {

class Fonts;
class Printers;
struct PrinterMetrics;

struct Margins {
  float top = 0, bottom = 0, left = 0, right = 0;  // mm
};

// Windows character-set names by number, in lookup order.
struct CharsetName {
  const char* name;
  int number;
};
const std::vector<CharsetName>& charsetNames();

// Names of the character sets a face offers ("BALTIC_CHARSET", ...);
// "Unknown charset N" for numbers not in the table; empty when the face is missing.
std::vector<std::string> enumFontCharsets(Fonts& fonts, const std::string& face);

// The unprintable border of the selected printer in whole mm.
Margins marginsFromMetrics(const PrinterMetrics& m);
// nullopt when the printer cannot be queried ("Invalid Printer").
std::optional<Margins> printerMinMargins(Printers& printers);
// Raises each margin that is below the printer's border to that border.
void clampMarginsToPrinter(Printers& printers, float& top, float& bottom, float& left,
                           float& right);

}  // namespace marvena
