// The *.DFF reader: the first byte picks the form code, the bytes after the
// first NUL (which ends the job text) are the identifier file.
#include <cstdint>
#include <string>

#include "TaxFuzzCheck.h"
#include "tax/DffJob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace marvena;
  if (size == 0) return 0;
  static const char* const kCodes[] = {"FR0671", "FR0672", "X<&"};
  const std::string code = kCodes[data[0] % 3];
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::optional<std::string> identifierFile;
  if (const std::size_t nul = input.find('\0'); nul != std::string::npos)
    identifierFile = input.substr(nul + 1);
  try {
    const std::string doc =
        buildDffDocument(code, JobLines(input), identifierFile, {"user", "2026-01-01"});
    fuzz::checkDocument(doc, "\xEF\xBB\xBF<?xml", "\r\n");
  } catch (const BadJobValue&) {
  }
  return 0;
}
