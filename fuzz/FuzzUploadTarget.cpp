// The *.FTP document scan and upload name, and the *.CLB text: the first
// byte splits the input into a job file's base name and its document.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "exchange/UploadTarget.h"
#include "office/ClipboardJob.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Well-formed UTF-8 of BMP characters, one per input byte up to a zero byte.
void checkClipboardText(const std::string& bytes) {
  const std::string text = marvena::clipboardUnicodeText(bytes);
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++chars) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 0;
    require(len > 0 && i + len <= text.size());
    i += len;
  }
  require(chars == bytes.find('\0') ||
          (bytes.find('\0') == std::string::npos && chars == bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace marvena;
  if (size == 0) return 0;
  const std::size_t split = std::min<std::size_t>(data[0], size - 1);
  const std::string base(reinterpret_cast<const char*>(data) + 1, split);
  const std::string doc(reinterpret_cast<const char*>(data) + 1 + split, size - 1 - split);

  const UploadTarget t = decideUploadTarget(uploadBaseName(base), doc);
  static const std::set<std::string> kDirectories{"", "customer", "stock", "purchase", "sale"};
  require(kDirectories.count(t.directory) == 1);
  require(t.stem.size() <= kMaxUploadStem);
  // Nothing that could leave the directory or break the FTP command line.
  for (char c : t.stem)
    require(c != '/' && c != '\\' && c != ' ' && static_cast<unsigned char>(c) >= 32);
  require(t.stem.find("..") == std::string::npos);
  require(safeFileName(doc).size() <= doc.size());
  // The name stored before the rename: short, hidden, in the same directory.
  const std::string temporary = temporaryUploadName(t.fileName(), size);
  require(temporary.size() <= 55 && temporary[0] == '.' && temporary.ends_with(".part"));
  require(temporary.find('/') == std::string::npos && temporary.find('\\') == std::string::npos);

  checkClipboardText(doc);
  return 0;
}
