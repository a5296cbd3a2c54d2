// The *.SAM job: the monthly social insurance declaration SAM, a main page
// with the insurer's data and totals and SAM3SD appendix pages listing the
// insured persons, nine to a page, each page with its own sums.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "spool/JobHandler.h"
#include "tax/FFData.h"

namespace marvena {

class Clock;
class FileSystem;
class Locale;

// An amount with the system's decimal separator or, failing that, a
// decimal comma; blanks around it allowed. nullopt when it is no number.
std::optional<long double> parseAmount(std::string_view text, char decimalSeparator);

// The contribution rate of job line 6: one number, or two joined by "+"
// and added up; a "." in either counts as a decimal comma. Throws
// BadJobValue when a part is no number.
long double contributionRate(std::string_view line, char decimalSeparator);

// The preparer's details (job line 16) as XML text without job titles.
std::string preparatorDetails(std::string_view line);

// The insurance certificate (series letters, then number digits) cut into
// series and number, both as XML text.
struct Certificate {
  std::string series, number;
};
Certificate splitCertificate(std::string_view field);

// The whole document. Throws BadJobValue for an amount or rate that is no number.
std::string buildSamDocument(const JobLines& job, char decimalSeparator,
                             const std::string& createdOn);
// The same, line by line into `out` (LF line ends, no byte-order mark).
void writeSamDocument(const JobLines& job, char decimalSeparator, const std::string& createdOn,
                      FFDataWriter& out);

class SamJob final : public JobHandler {
 public:
  SamJob(FileSystem& fs, Clock& clock, Locale& locale) : fs_(fs), clock_(clock), locale_(locale) {}
  std::string extension() const override { return "SAM"; }
  JobResult run(const JobFile& job) override;

 private:
  FileSystem& fs_;
  Clock& clock_;
  Locale& locale_;
};

}  // namespace marvena
