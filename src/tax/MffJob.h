// The *.MFF job: the monthly declaration FR0572, a main page with the
// company's data and FR0572A appendix pages of four rows each.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "spool/JobHandler.h"
#include "tax/FFData.h"

namespace marvena {

class Clock;
class FileSystem;
class Locale;
class ProfileFile;

// The [FR0572] PSD ratio X : Y in which a row's amount is split between its
// A7 and A18 fields. A ratio whose parts add up to 0 has no meaning: the
// default split (15 : 0) is used.
struct PsdSplit {
  long double x = 15, y = 0;
};
PsdSplit makePsdSplit(std::pair<double, double> psd);

// A row amount: the plain number syntax with ".", else with its first ","
// read as the decimal point. An empty amount is 0; nullopt for text that is
// no number.
std::optional<long double> readMffAmount(std::string_view text);

// A share in whole units: hundredths rounded half to even, then units
// rounded half up. nullopt when it is too large to be an amount.
std::optional<long long> wholeUnits(long double share);

// The whole document for a job file. Throws BadJobValue for a row amount
// that is not a number.
std::string buildMffDocument(const JobLines& job, const DocumentStamp& stamp, PsdSplit split);
// The same, line by line into `out` (CR LF line ends, no byte-order mark).
void writeMffDocument(const JobLines& job, const DocumentStamp& stamp, PsdSplit split,
                      FFDataWriter& out);

class MffJob final : public JobHandler {
 public:
  MffJob(FileSystem& fs, Clock& clock, Locale& locale, ProfileFile& settings)
      : fs_(fs), clock_(clock), locale_(locale), settings_(settings) {}
  std::string extension() const override { return "MFF"; }
  JobResult run(const JobFile& job) override;

 private:
  FileSystem& fs_;
  Clock& clock_;
  Locale& locale_;
  ProfileFile& settings_;
};

}  // namespace marvena
