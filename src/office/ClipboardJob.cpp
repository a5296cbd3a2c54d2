#include "office/ClipboardJob.h"

#include <array>

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "text/CodePage.h"

namespace marvena {

namespace {

std::string_view upToZero(std::string_view bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

char32_t clipboardChar(unsigned char b) {
  for (const CodePageRow& row : jobCodePageRows())
    if (row.byte == b) return row.unicode;
  const char32_t c = cp1257ToUnicode(b);
  // The few bytes Windows-1257 leaves unassigned keep their own value, as
  // the system's conversion does.
  return c != 0 || b == 0 ? c : b;
}

// Each byte's character as UTF-8, worked out once.
const std::array<std::string, 256>& clipboardUtf8() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    for (int b = 0; b < 256; ++b) appendUtf8(t[b], clipboardChar(static_cast<unsigned char>(b)));
    return t;
  }();
  return table;
}

}  // namespace

std::string clipboardUnicodeText(std::string_view jobBytes) {
  jobBytes = upToZero(jobBytes);
  std::string out;
  out.reserve(jobBytes.size() + jobBytes.size() / 2);
  const auto& utf8 = clipboardUtf8();
  for (char c : jobBytes) out += utf8[static_cast<unsigned char>(c)];
  return out;
}

std::string clipboardOemText(std::string_view jobBytes) {
  std::string out(upToZero(jobBytes));
  const auto& rows = jobCodePageRows();
  for (char& c : out) {
    // Only the 18 letter rows: box drawing exists in the OEM code page.
    for (std::size_t i = 0; i < 18; ++i) {
      if (rows[i].byte == static_cast<unsigned char>(c)) {
        c = rows[i].plain;
        break;
      }
    }
  }
  return out;
}

ClipboardJob::ClipboardJob(FileSystem& fs, Clipboard& clipboard, int wordVersion)
    : fs_(fs), clipboard_(clipboard), wordVersion_(wordVersion) {}

JobResult ClipboardJob::run(const JobFile& job) {
  std::string error;
  const std::optional<std::string> bytes = fs_.readFile(job.path, &error);
  if (!bytes) return JobResult::notReady(error);

  const bool oem = wordVersion_ < kUnicodeWordVersion && clipboard_.offersOemText();
  const bool ok = oem ? clipboard_.setOemText(clipboardOemText(*bytes), &error)
                      : clipboard_.setText(clipboardUnicodeText(*bytes), &error);
  if (!ok) {
    // "Nepavyko įdėti teksto į mainų sritį"
    return JobResult::kept(
        "Nepavyko \xC4\xAF"
        "d\xC4\x97ti teksto \xC4\xAF main\xC5\xB3 srit\xC4\xAF: " +
            error,
        "clipboard: " + error);
  }
  return JobResult::done(std::to_string(bytes->size()) + " bytes as " +
                         (oem ? "OEM text" : "Unicode text"));
}

}  // namespace marvena
