#include "printing/TextPrintJob.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/MessageSink.h"
#include "platform/Printers.h"
#include "printing/BitmapFile.h"
#include "printing/Directives.h"
#include "printing/PrintPass.h"
#include "spool/JobStatus.h"
#include "text/Paths.h"
#include "text/PlatformHelpers.h"

namespace marvena {

std::string picturePath(const std::string& name, const std::string& jobDir,
                        const std::string& driveRoot) {
  const std::string mapped = mapDosPath(name, driveRoot);
  if (mapped != name) return mapped;
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!path.empty() && path[0] == '/') return path;
  return jobDir + "/" + path;
}

TextPrintJob::TextPrintJob(FileSystem& fs, MessageSink& messages, JobStatus& status,
                           PrintSettingsOwner& settings, Printers& printers,
                           DeviceFactory makeDevice, std::string driveRoot)
    : fs_(fs),
      messages_(messages),
      status_(status),
      owner_(settings),
      printers_(printers),
      makeDevice_(std::move(makeDevice)),
      driveRoot_(std::move(driveRoot)) {}

TextPrintJob::~TextPrintJob() = default;

bool TextPrintJob::scan(const JobFile& job) {
  JobLineReader reader(fs_, job.path);
  std::string_view line;
  std::uint64_t consumed = 0, read = 0;
  while (reader.next(&line, &consumed)) {
    read += consumed;
    if (isDirectiveLine(line)) applyJobDirectives(line, ps_);
    status_.jobBytesDone.fetch_add(static_cast<std::int64_t>(consumed), std::memory_order_relaxed);
  }
  status_.jobBytesDone = 0;
  if (reader.failed() && read == 0) return false;
  if (reader.failed())
    messages_.log(job.name +
                  ": read error in the scan pass, printing what was read: " + reader.error());
  return true;
}

bool TextPrintJob::setUpPrinter(const JobFile& job) {
  const int count = static_cast<int>(printers_.names().size());
  int wanted = ps_.printerIndex;
  if (wanted < -1 || wanted >= count) wanted = -1;
  const int index = wanted == -1 ? printers_.defaultIndex() : wanted;
  if (index < 0 || printers_.currentIndex() != index) {
    if (!printers_.select(wanted)) return false;
    clampMarginsToPrinter(printers_, ps_.topMargin, ps_.bottomMargin, ps_.leftMargin,
                          ps_.rightMargin);
  }
  printers_.setPaperSize(ps_.paperSize);
  if (ps_.paperSize == 256) printers_.setPaperDimensions(ps_.paperLength * 10, ps_.paperWidth * 10);
  printers_.setOrientation(ps_.orientation);
  const std::size_t dot = job.name.rfind('.');
  device_->setDocumentName("Marvena " + job.name,
                           dot == std::string::npos ? job.name : job.name.substr(0, dot));
  return true;
}

JobResult TextPrintJob::run(const JobFile& job) {
  if (!device_) {
    device_ = makeDevice_();
    printObject_ = std::make_unique<PrintObject>(*device_);
  }
  status_.jobBytesTotal = static_cast<std::int64_t>(job.entry.size);
  status_.jobBytesDone = 0;

  // The job works on its own copy; what its directives set carries on to
  // later jobs, handed back on every way out.
  owner_.applyPending(printers_);  // what the options window changed meanwhile
  ps_ = owner_.snapshot();
  struct CarryOver {
    PrintSettingsOwner& owner;
    const PrintSettings& settings;
    ~CarryOver() { owner.carryOver(settings); }
  } carryOver{owner_, ps_};
  ps_.printerIndex = printers_.currentIndex();
  ps_.pageFrom = 1;
  ps_.pageTo = 65535;
  ps_.copies1 = 1;
  ps_.copies2 = 1;
  if (!scan(job)) return JobResult::notReady("cannot read the job file");

  if (!setUpPrinter(job))
    return JobResult::failed("Nepavyko pasirinkti spausdintuvo (" + job.name + ")",
                             "no printer can be selected");

  const std::string jobDir = job.directory();
  PictureLoader loadPicture = [&](const std::string& name, std::string* error) {
    const std::string path = picturePath(name, jobDir, driveRoot_);
    const std::optional<DirEntry> entry = fs_.stat(path);
    if (!entry) {
      *error = "file not found: " + path;
      return std::optional<Bitmap>();
    }
    if (!entry->regular) {
      *error = "not a file: " + path;
      return std::optional<Bitmap>();
    }
    if (entry->size > kMaxPictureFileBytes) {
      *error = "picture file too large: " + path;
      return std::optional<Bitmap>();
    }
    const std::optional<std::string> bytes = fs_.readFile(path, error);
    if (!bytes) return std::optional<Bitmap>();
    return decodeBitmap(*bytes, error);
  };

  PrintObject& po = *printObject_;
  int pages = 0;
  try {
    po.beginPrinting();
    PrintPass pass(po, fs_, status_, loadPicture);
    pass.run(job.path, ps_);
    pages = po.pageNumber();
    po.endPrinting();
  } catch (const std::exception& e) {
    po.abortPrinting();
    status_.jobBytesDone = 0;
    return JobResult::failed("Nepavyko atspausdinti " + job.name + ": " + e.what(),
                             std::string("printing failed: ") + e.what());
  }
  status_.jobBytesDone = 0;
  return JobResult::done("printed on \"" + printers_.currentName() + "\", " +
                         std::to_string(pages) + (pages == 1 ? " page" : " pages"));
}

}  // namespace marvena
