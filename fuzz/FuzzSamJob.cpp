// The *.SAM reader: the first byte picks the locale's decimal separator.
#include <cstdint>
#include <string>

#include "TaxFuzzCheck.h"
#include "tax/SamJob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace marvena;
  if (size == 0) return 0;
  const char separator = data[0] % 2 ? ',' : '.';
  try {
    const std::string doc =
        buildSamDocument(JobLines(std::string(reinterpret_cast<const char*>(data) + 1, size - 1)),
                         separator, "2026-01-01");
    fuzz::checkDocument(doc, "<?xml", "\n");
  } catch (const BadJobValue&) {
  }
  return 0;
}
