// The statistical form job: a *.IST file holds three header lines and one
// line per report row (fields separated by the byte 0xB3). The matching
// template workbook in the spool directory is copied over the working
// workbook "ups_02.xls", which is then opened in the spreadsheet
// application, filled sheet by sheet and left open, unsaved, for the user.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "spool/JobHandler.h"

namespace marvena {

class FileSystem;
class Spreadsheet;

// --- The job file's rules, pure ---------------------------------------------

inline constexpr int kIstMaxLines = 597;
inline constexpr int kIstFieldCount = 13;
inline constexpr std::size_t kIstMaxField = 255;
inline constexpr const char* kIstMainSheet = "1-UPS-02-pagrindinis";
inline constexpr const char* kIstWorkbook = "ups_02.xls";

// Lines split at CR, LF or CR LF; a final line end opens no empty line.
std::vector<std::string_view> istLines(std::string_view content);

// The template's size code for N data lines ("009", "117", "297", "597");
// empty when N is outside 1..597.
std::string istSizeCode(int dataLines);
// "ups_02_<code>_template.xls"
std::string istTemplateName(const std::string& code);

// Sheets the form fills: the main sheet for lines 1-3, then one
// supplementary sheet for every 6 further lines.
int istPageCount(int dataLines);
// The name of supplementary sheet k (2..100).
std::string istSupplementarySheet(int k);

// Fields 1..13 of a data line (index 0 is field 1), trimmed of blanks and
// control bytes. Every field of the line is kept, however long the line; a
// field keeps at most 255 bytes. *cut counts fields that lost bytes.
std::array<std::string, kIstFieldCount> splitIstLine(std::string_view line, int* cut = nullptr);

// A field's bytes as the text for a cell: job code page to UTF-8, control
// bytes left inside the field become blanks.
std::string istCellText(std::string_view field);

struct IstCell {
  std::string address;  // "B41"
  std::string text;     // UTF-8
};
struct IstSheet {
  std::string name;
  std::vector<IstCell> cells;  // in the order they are written
};

// Everything the form receives, sheet by sheet, cell by cell, for the data
// lines `lines` (the job's lines after the three header lines).
std::vector<IstSheet> istFill(const std::vector<std::string_view>& lines, int* cutFields = nullptr);

// --- The handler -------------------------------------------------------------

class IstJob final : public JobHandler {
 public:
  IstJob(FileSystem& fs, Spreadsheet& spreadsheet);
  std::string extension() const override { return "IST"; }
  JobResult run(const JobFile& job) override;

 private:
  FileSystem& fs_;
  Spreadsheet& spreadsheet_;
};

}  // namespace marvena
