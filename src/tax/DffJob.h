// The *.DFF job: the declarations FR0671 and FR0672, named by the job file
// (FR0671.DFF gives an FR0671 document). Periods from 2008-09-01 on take the
// current layout (a main page and appendix pages of four rows), earlier
// periods the earlier one (six rows on the first page, eight on each
// continuation page).
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

enum class DffLayout { Current, Earlier };

// The job file's bare name up to its first ".", ASCII letters upper-cased.
std::string dffFormCode(std::string_view jobName);

// The layout by the period start (job line 3); the earlier layout when the
// job has fewer than 4 lines. Throws BadJobValue when the period start,
// without its dots, is not a whole number.
DffLayout chooseDffLayout(const JobLines& job);

// The form definition identifier in an identifier file (.mxfd): from the
// first "{" through the next "}" within the first 32768 bytes, at most 255
// characters. Empty when there is none; an identifier without its closing
// brace counts as none.
std::string identifierFromFile(std::string_view bytes);

// The default identifier of FR0671 and FR0672 per layout; empty for other codes.
std::string_view defaultDffIdentifier(std::string_view formCode, DffLayout layout);

// Row amounts. Current layout: ",-" becomes ",00" and "." becomes ",".
// Earlier layout: whole units of the hundredths the digits give, rounded
// half up; nullopt when the text is not a number.
std::string currentDffAmount(std::string_view field);
std::optional<long long> earlierDffAmount(std::string_view field);

// The whole document. `identifierFile` is the content of the form's
// identifier file when it exists and could be read. Throws BadJobValue.
std::string buildDffDocument(std::string_view formCode, const JobLines& job,
                             const std::optional<std::string>& identifierFile,
                             const DocumentStamp& stamp);

class DffJob final : public JobHandler {
 public:
  DffJob(FileSystem& fs, Clock& clock, Locale& locale) : fs_(fs), clock_(clock), locale_(locale) {}
  std::string extension() const override { return "DFF"; }
  JobResult run(const JobFile& job) override;

 private:
  // The spool directory's "<code>.mxfd", its name matched without regard to case.
  std::optional<std::string> readIdentifierFile(const std::string& dir,
                                                const std::string& formCode);

  FileSystem& fs_;
  Clock& clock_;
  Locale& locale_;
};

}  // namespace marvena
