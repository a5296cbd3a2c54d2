#include "platform/qt/CupsSubmit.h"

#include <cups/cups.h>

namespace marvena {

bool submitPdfToCups(const std::string& printer, const std::string& pdfPath,
                     const std::string& title, const std::string& media, std::string* error) {
  cups_option_t* options = nullptr;
  int count = cupsAddOption("print-scaling", "none", 0, &options);
  if (!media.empty()) count = cupsAddOption("media", media.c_str(), count, &options);
  const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.c_str(), pdfPath.c_str(), title.c_str(),
                                 count, options);
  cupsFreeOptions(count, options);
  if (job > 0) return true;
  const char* why = cupsLastErrorString();
  *error = "CUPS refused the print job for \"" + printer + "\"" +
           (why && *why ? std::string(": ") + why : std::string());
  return false;
}

}  // namespace marvena
