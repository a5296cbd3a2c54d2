// The text job file: its lines, its directive lines and their arguments.
// A directive line begins with "@"; a keyword applies when it occurs
// anywhere in the line, and its argument is the rest of the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/PrintSettings.h"

namespace marvena {

class FileSystem;

// Integer argument: leading blanks, an optional sign, decimal digits or hex
// digits after "$" or "0x"; reading stops at the first other character and
// the digits read so far count, the sign then having no effect (so "12pt" is
// 12 and "-5pt" is 5). No digits give 0.
int parseDirectiveInteger(std::string_view arg);
// Decimal argument with "." and an optional exponent, read as far as it goes;
// no number gives 0. Values beyond the double range saturate.
double parseDirectiveDecimal(std::string_view arg);
// A decimal as a single-precision value, saturating instead of overflowing.
float toSingle(double value);

// The argument after the first occurrence of `keyword` (at most 255 bytes),
// or nothing when the line does not hold the keyword.
std::optional<std::string_view> directiveArgument(std::string_view line, std::string_view keyword);
inline bool isDirectiveLine(std::string_view line) {
  return !line.empty() && line[0] == '@';
}

// Copies beyond this are taken for a typing error, not a wish for a week of printing.
inline constexpr int kMaxCopies = 999;

// Applies the job directives of one directive line, in table order.
void applyJobDirectives(std::string_view line, PrintSettings& ps);
// Whether the print pass leaves the line alone (the scan pass handled it).
bool isJobDirectiveLine(std::string_view line);

// The positioning and picture directives of one line of the print pass.
struct LineDirectives {
  std::optional<double> xpos, ypos, pictureWidth, pictureHeight;  // mm
  std::optional<std::string> picture;  // only when none of the four is present
};
LineDirectives parseLineDirectives(std::string_view line);

// Replaces the first "@COPY" by the number of the copy set.
void insertCopyNumber(std::string& line, int set);

// Reads a job file line by line in pieces, so that memory stays flat
// however long the job. Lines end with LF (a CR ends the line's text); a
// byte 0x1A ends the file. A line longer than kMaxLineBytes keeps only its
// start: the rest could not reach the sheet anyway.
class JobLineReader {
 public:
  static constexpr std::size_t kMaxLineBytes = 4u << 20;

  JobLineReader(FileSystem& fs, std::string path, std::size_t chunkBytes = 1u << 16);
  // The next line; false at the end of the file or after a read error.
  // `consumed` is the number of file bytes the line took, terminator included.
  bool next(std::string_view* line, std::uint64_t* consumed);
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

 private:
  bool fill();

  FileSystem& fs_;
  std::string path_;
  std::size_t chunkBytes_;
  std::uint64_t offset_ = 0;  // file offset of the next chunk
  std::string buffer_;
  std::size_t pos_ = 0;        // start of the next line in buffer_
  std::size_t scanned_ = 0;    // bytes after pos_ known to hold no terminator
  std::uint64_t dropped_ = 0;  // bytes of the current line beyond the limit
  bool eof_ = false, ended_ = false, failed_ = false;
  std::string error_;
};

}  // namespace marvena
