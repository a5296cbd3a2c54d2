// The print pass of a text job: reads the job file once per copy and lays its
// text lines out through the print object, with page ranges, the two kinds
// of copies, form feeds, positioned lines, pictures, the copy number and the
// bold and font-size tags.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/PrintDevice.h"
#include "printing/PrintObject.h"
#include "settings/PrintSettings.h"

namespace marvena {

class FileSystem;
class JobStatus;

// Nested tags deeper than this print as they stand.
inline constexpr int kMaxTagDepth = 32;

// Prints `text` on the current line from x (inches; negative = the left
// margin) and moves x past it. "<b>".."</b>" prints bold; a font tag
// "<font size=\"N\">".."</font>" changes the size by N points; tags nest,
// and tags without their partner print as text.
void printTagged(PrintObject& po, float& x, std::string_view text, int sizeChange, unsigned style);

// Reads and decodes a picture named by a job; nullopt and *error when it
// cannot.
using PictureLoader = std::function<std::optional<Bitmap>(const std::string&, std::string*)>;

class PrintPass {
 public:
  PrintPass(PrintObject& po, FileSystem& fs, JobStatus& status, PictureLoader loadPicture);

  // Prints the job file onto the running document. Throws PrintError (also
  // for a picture that cannot be loaded and for a read error).
  void run(const std::string& jobPath, const PrintSettings& ps);

 private:
  void directive(std::string_view line);
  void textLine(std::string_view line, int set);

  PrintObject& po_;
  FileSystem& fs_;
  JobStatus& status_;
  PictureLoader loadPicture_;

  // Values of the running job.
  PrintSettings ps_;
  bool toolFont_ = false;
  bool rangeActive_ = false;
  double xmm_ = -1, ymm_ = -1;
  double pictureWidthMm_ = 20, pictureHeightMm_ = 20;
  std::uint16_t currentPage_ = 1, lineCount_ = 0;
  int lastPrinterPage_ = 0;
  int linesOnPage_ = 0;  // lines a page not printed counts
  std::string scratch_;
};

}  // namespace marvena
