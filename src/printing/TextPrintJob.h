// The *.txt job: each pending text file becomes one printer document. A scan
// pass applies the job directives to the print settings, the printer is
// selected and set up, and the print pass lays the lines out.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/PrintDevice.h"
#include "printing/PrintObject.h"
#include "settings/PrintSettings.h"
#include "settings/PrintSettingsOwner.h"
#include "spool/JobHandler.h"

namespace marvena {

class FileSystem;
class JobStatus;
class MessageSink;
class Printers;

// Where a picture named by a job lives: a DOS path ("\X\LOGO.BMP",
// "C:\X\LOGO.BMP") under the DOS drive root, a host path as it is, and a
// bare or relative name beside the job file.
std::string picturePath(const std::string& name, const std::string& jobDir,
                        const std::string& driveRoot);

// Pictures larger than this are refused before they are read.
inline constexpr std::uint64_t kMaxPictureFileBytes = 256ull << 20;

class TextPrintJob final : public JobHandler {
 public:
  using DeviceFactory = std::function<std::unique_ptr<PrintDevice>()>;

  TextPrintJob(FileSystem& fs, MessageSink& messages, JobStatus& status,
               PrintSettingsOwner& settings, Printers& printers, DeviceFactory makeDevice,
               std::string driveRoot);
  ~TextPrintJob() override;

  std::string extension() const override { return "txt"; }
  bool takesAll() const override { return true; }
  JobResult run(const JobFile& job) override;

 private:
  // Applies the job directives; false when the file could not be read at all.
  bool scan(const JobFile& job);
  // Selects and sets up the printer the job asked for; false when none can be selected.
  bool setUpPrinter(const JobFile& job);

  FileSystem& fs_;
  MessageSink& messages_;
  JobStatus& status_;
  PrintSettingsOwner& owner_;
  PrintSettings ps_;  // this job's own copy
  Printers& printers_;
  DeviceFactory makeDevice_;
  std::string driveRoot_;
  std::unique_ptr<PrintDevice> device_;
  std::unique_ptr<PrintObject> printObject_;
};

}  // namespace marvena
