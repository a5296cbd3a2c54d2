// The *.CLB job: the whole job file goes to the clipboard as text.
#pragma once

#include <string>
#include <string_view>

#include "spool/JobHandler.h"

namespace marvena {

class Clipboard;
class FileSystem;

// Word from this version on reads Unicode text from the clipboard.
inline constexpr int kUnicodeWordVersion = 9;

// Clipboard text ends at its terminating zero, so the text of a job is its
// bytes up to the first zero byte.
//
// Unicode text (as UTF-8): each byte is one character, the job code page's
// Lithuanian letters and box-drawing lines from its table, every other byte
// as the system code page (Windows-1257) has it.
std::string clipboardUnicodeText(std::string_view jobBytes);
// 8-bit OEM text: the Lithuanian letters folded to plain Latin letters,
// every other byte kept.
std::string clipboardOemText(std::string_view jobBytes);

class ClipboardJob final : public JobHandler {
 public:
  // `wordVersion` 0 when no word processor was found.
  ClipboardJob(FileSystem& fs, Clipboard& clipboard, int wordVersion);

  std::string extension() const override { return "CLB"; }
  JobResult run(const JobFile& job) override;

 private:
  FileSystem& fs_;
  Clipboard& clipboard_;
  int wordVersion_;
};

}  // namespace marvena
