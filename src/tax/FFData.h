// What the three declaration jobs (*.DFF, *.MFF, *.SAM) share: reading a job
// file into lines, cutting rows into fields, the kinds of values a document
// holds, and the writer that fills template lines into an FFData document.
// None of them builds an XML tree: documents are filled line templates.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "spool/JobHandler.h"

#include "text/Ascii.h"

namespace marvena {

// The byte that separates the fields of a job row (the DOS box-drawing "│").
inline constexpr char kFieldSeparator = '\xB3';

// A job file as lines. A line ends at CR LF, LF or CR; a line end at the very
// end starts no further line; a NUL byte ends the text. No code page
// conversion: the lines are the job's bytes.
class JobLines {
 public:
  explicit JobLines(std::string bytes);
  JobLines(const JobLines&) = delete;
  JobLines& operator=(const JobLines&) = delete;

  std::size_t size() const { return lines_.size(); }
  bool has(std::size_t i) const { return i < lines_.size(); }
  // The line's bytes; empty past the end.
  std::string_view operator[](std::size_t i) const { return has(i) ? lines_[i] : ""; }

 private:
  std::string bytes_;
  std::vector<std::string_view> lines_;
};

// Cuts a row into `fieldCount` fields at the separator byte. A field is taken
// only when a separator follows it; fields are trimmed of bytes up to 32;
// after each separator at most 255 bytes of the row are looked at.
std::vector<std::string> splitJobRow(std::string_view row, int fieldCount);

// A raw value (numbers, codes, dates): not upper-cased, but job bytes become
// UTF-8, control bytes other than TAB are dropped and the XML special
// characters are escaped, so no value can break the document.
std::string rawValue(std::string_view jobText);
// A job date year.month.day as "YYYY-MM-DD" (every "." becomes "-"), raw.
std::string jobDate(std::string_view jobText);
// Year (characters 1 to 4) and month (characters 6 and 7) of a year.month line, raw.
std::string periodYear(std::string_view jobText);
std::string periodMonth(std::string_view jobText);
// Text from the host (user name, file name) for XML: kept when it is valid
// UTF-8, otherwise read as job bytes; control bytes dropped, escaped.
std::string hostTextToXml(std::string_view text);
// Header line `line` of the job, converted for the document; nullopt when
// the job is too short to have it.
std::optional<std::string> headerValue(const JobLines& job, std::size_t line,
                                       std::string (*convert)(std::string_view));

// CreatedByLogin of the *.DFF and *.MFF documents: the user's login name,
// at most 254 characters, "Marvena" when the system gives none.
std::string creatorLogin(std::string_view userName);
// CreatedOn: the local date "YYYY-MM-DD".
std::string createdOnDate(const LocalTime& today);
// The document beside the job file: its extension replaced by ".ffdata".
std::string documentPath(const std::string& jobPath);

// A number as the accounting programs write it: optional leading blanks,
// optional sign, digits with an optional decimal separator and fraction, an
// optional exponent; trailing blanks only when allowed; nothing else.
std::optional<long double> parseReal(std::string_view text, char decimalSeparator,
                                     bool trailingBlanks);
// Up to 15 significant digits, no trailing zeros, the given separator.
std::string formatGeneral(long double value, char decimalSeparator);

// A job value the job cannot turn into a number. The job is then left in the
// spool directory (and reported once) instead of writing a wrong declaration.
class BadJobValue : public std::runtime_error {
 public:
  // `line` counts from 0; `what` names the value for the user (Lithuanian),
  // `whatEnglish` for the log.
  BadJobValue(std::size_t line, std::string what, std::string whatEnglish, std::string_view value);
  std::size_t line() const { return line_; }
  const std::string& valueName() const { return what_; }
  // The offending text as UTF-8.
  const std::string& value() const { return value_; }

 private:
  std::size_t line_;
  std::string what_;
  std::string value_;
};

// The creator values of the root start tag, ready for the document.
struct DocumentStamp {
  std::string login;      // CreatedByLogin
  std::string createdOn;  // CreatedOn, "YYYY-MM-DD"
};

// Builds a document line by line, into memory or, for large documents,
// streamed into the file that will hold it, a piece at a time.
class FFDataWriter {
 public:
  enum class LineEnd { CrLf, Lf };
  FFDataWriter(LineEnd lineEnd, bool byteOrderMark, std::size_t expectedBytes = 0);
  // Streamed: the lines go to `sink` in pieces; finish() writes the rest.
  FFDataWriter(LineEnd lineEnd, bool byteOrderMark, AtomicFile& sink);

  void line(std::string_view text) {
    out_.append(text);
    out_.append(end_);
    if (sink_ && out_.size() >= kPiece) flush();
  }
  // Fills the first "??" of a template line with the value and writes it.
  void fill(std::string_view templateLine, std::string_view value);
  void fill(std::string_view templateLine, std::string_view first, std::string_view second);
  // A header value whose job line does not exist: the "??" stays.
  void fillIfPresent(std::string_view templateLine, const std::optional<std::string>& value);
  // "<Field Name="NAME">VALUE</Field>", for lines the jobs build themselves.
  void field(std::string_view name, std::string_view value);

  // In memory: the document.
  std::string take() { return std::move(out_); }
  // Streamed: writes what is left; false when any write to the sink failed.
  bool finish();

 private:
  static constexpr std::size_t kPiece = 256 * 1024;
  void flush();

  std::string out_;
  std::string scratch_;
  std::string_view end_;
  AtomicFile* sink_ = nullptr;
  bool failed_ = false;
};

// The kind of an FFData document: the name of its main page (FR0572, SAM,
// FR0671, ...), the first ListPage or PageDefName near its start. Empty
// when the text is no declaration of ours.
std::string documentKind(std::string_view head);

// Where the document of a job goes: the job's name with ".ffdata"; when a
// declaration of another kind (or a file that is no declaration) already
// has that name, "<name>-<EXT>.ffdata" (A.SAM gives A-SAM.ffdata), then
// "<name>-<EXT>-2.ffdata" and so on, so that declarations of two kinds never
// replace each other. A document of the same kind is replaced. `*note`
// tells the log why another name was taken. Empty when all 1000 names are
// taken by other files.
std::string chooseDocumentPath(FileSystem& fs, const JobFile& job, std::string_view kind,
                               std::string* note);

// The shared tail of the handlers: writes the document of `kind`
// atomically beside the job file and says what became of the job.
JobResult writeDocument(FileSystem& fs, const JobFile& job, std::string_view kind,
                        const std::string& document);
// The same, streamed: `build` writes the lines (and may throw BadJobValue,
// in which case nothing is put in place).
JobResult streamDocument(FileSystem& fs, const JobFile& job, std::string_view kind,
                         FFDataWriter::LineEnd lineEnd,
                         const std::function<void(FFDataWriter&)>& build);
// The result for a job value that cannot be read.
JobResult badValueResult(const JobFile& job, const BadJobValue& bad);

}  // namespace marvena
