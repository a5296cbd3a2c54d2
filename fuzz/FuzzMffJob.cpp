// The *.MFF reader: the first byte picks the [FR0572] PSD split.
#include <cstdint>
#include <string>

#include "TaxFuzzCheck.h"
#include "tax/MffJob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace marvena;
  if (size == 0) return 0;
  static const PsdSplit kSplits[] = {{15, 0}, {15, 6}, {0, 0}, {-5, 5}, {1e300L, 1e-300L}};
  const PsdSplit split = kSplits[data[0] % 5];
  try {
    const std::string doc =
        buildMffDocument(JobLines(std::string(reinterpret_cast<const char*>(data) + 1, size - 1)),
                         {"user", "2026-01-01"}, split);
    fuzz::checkDocument(doc, "<?xml", "\r\n");
  } catch (const BadJobValue&) {
  }
  return 0;
}
