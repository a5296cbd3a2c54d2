// The spreadsheet job: a *.slx file holds one cell per line,
// "{row,column}value", and becomes a binary Excel file beside it. The file
// is read twice: the first pass collects the used columns and their widths,
// the second writes the cells in line order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "spool/JobHandler.h"

namespace marvena {

class Clock;
class FileSystem;
class JobStatus;
class Locale;
class ProfileFile;

// --- The job file's rules, pure ---------------------------------------------

enum class SlxLineKind {
  NotCell,       // no braces, no comma, or a row or column that is not a whole number
  OutsideSheet,  // negative, column above 255 or row above 65534: skipped and counted
  Cell,
};

struct SlxCell {
  std::int64_t row = 0;     // job row, from 0
  std::int64_t column = 0;  // job column, from 0
  std::string_view value;   // trimmed of blanks and control characters
};

SlxLineKind parseSlxLine(std::string_view line, SlxCell* cell);

// A value is a number when it holds a "," and only digits, blanks, "+", "-"
// and ","; the first "," is the decimal point and the whole text must
// convert. Otherwise it is text.
std::optional<double> slxNumber(std::string_view value);

// Name of the spreadsheet for a job file name, in `dir`: a digit-led base
// name is used as it is (an existing file is replaced); any other loses its
// trailing digits and gets "001", "002", ... while the name is taken.
// nullopt when the name and all 1000 numbered names are taken.
std::optional<std::string> slxOutputName(FileSystem& fs, const std::string& dir,
                                         const std::string& jobName);

// The code page the DOS programs write their text in, for the spreadsheet's
// CODEPAGE record: [Spool] SlxCodePage, read afresh for every job; 1257
// (Windows Baltic) when the key is missing or not a code page number.
inline constexpr std::uint16_t kDefaultSlxCodePage = 1257;
std::uint16_t readSlxCodePage(ProfileFile* settings);

// BIFF2 readers stop at 16,384 rows: xlrd refuses the file and Gnumeric
// drops the rows below. Sheets taller than this get a warning in the log.
inline constexpr std::int64_t kBiff2ReaderRows = 16384;

// --- The handler -------------------------------------------------------------

class SlxJob final : public JobHandler {
 public:
  // Without `settings` the spreadsheets are marked with the default code page.
  SlxJob(FileSystem& fs, Clock& clock, Locale& locale, JobStatus& status,
         ProfileFile* settings = nullptr);
  std::string extension() const override { return "slx"; }
  JobResult run(const JobFile& job) override;

 private:
  FileSystem& fs_;
  Clock& clock_;
  Locale& locale_;
  JobStatus& status_;
  ProfileFile* settings_;
};

}  // namespace marvena
