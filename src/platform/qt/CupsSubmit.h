// Hands a finished PDF to a CUPS queue.
#pragma once

#include <string>

namespace marvena {

// Submits the file as one job at its own scale (positions are exact to the
// printer dot, so CUPS must not fit the page). `media` is a PPD paper key
// ("A4", "Custom.80x120mm") or empty. False with *error when CUPS refused it.
bool submitPdfToCups(const std::string& printer, const std::string& pdfPath,
                     const std::string& title, const std::string& media, std::string* error);

}  // namespace marvena
