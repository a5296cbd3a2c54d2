#include "app/JobTable.h"

#include <cstdlib>
#include <memory>

#include "exchange/FtpUploadJob.h"
#include "office/ClipboardJob.h"
#include "office/IstJob.h"
#include "office/SlxJob.h"
#include "office/WebPageJob.h"
#include "platform/MessageSink.h"
#include "platform/PrintDevice.h"
#include "platform/Printers.h"
#include "printing/TextPrintJob.h"
#include "settings/ProfileFile.h"
#include "spool/Dispatcher.h"
#include "tax/DffJob.h"
#include "tax/MffJob.h"
#include "tax/SamJob.h"

namespace marvena {

namespace {

using Factory = std::unique_ptr<JobHandler> (*)(JobServices&);

struct JobKind {
  const char* extension;
  Factory make;  // null: not built yet, files are left alone
  bool inExportDir;
};

std::unique_ptr<JobHandler> makeWebPageJob(JobServices& s) {
  if (!s.urlOpener) return std::make_unique<PendingHandler>("www");
  return std::make_unique<WebPageJob>(s.fs, *s.urlOpener, readHomePage(&s.settings));
}

std::unique_ptr<JobHandler> makeClipboardJob(JobServices& s) {
  if (!s.clipboard) return std::make_unique<PendingHandler>("CLB");
  return std::make_unique<ClipboardJob>(s.fs, *s.clipboard, s.wordVersion);
}

std::unique_ptr<JobHandler> makeFtpUploadJob(JobServices& s) {
  if (!s.ftp) return std::make_unique<PendingHandler>("FTP");
  return std::make_unique<FtpUploadJob>(s.fs, *s.ftp, s.clock, s.locale, s.status,
                                        readFtpConnection(s.exportSettings, &s.settings));
}

std::unique_ptr<JobHandler> makeSlxJob(JobServices& s) {
  return std::make_unique<SlxJob>(s.fs, s.clock, s.locale, s.status, &s.settings);
}

std::unique_ptr<JobHandler> makeDffJob(JobServices& s) {
  return std::make_unique<DffJob>(s.fs, s.clock, s.locale);
}

std::unique_ptr<JobHandler> makeMffJob(JobServices& s) {
  return std::make_unique<MffJob>(s.fs, s.clock, s.locale, s.settings);
}

std::unique_ptr<JobHandler> makeSamJob(JobServices& s) {
  return std::make_unique<SamJob>(s.fs, s.clock, s.locale);
}

std::unique_ptr<JobHandler> makeIstJob(JobServices& s) {
  if (!s.spreadsheet) return std::make_unique<PendingHandler>("IST");
  return std::make_unique<IstJob>(s.fs, *s.spreadsheet);
}

std::unique_ptr<JobHandler> makeTextPrintJob(JobServices& s) {
  return std::make_unique<TextPrintJob>(s.fs, s.messages, s.status, s.printSettings, s.printers,
                                        s.makePrintDevice, s.driveRoot);
}

// The dispatch order. Each pass calls every handler in this order.
const JobKind kJobKinds[] = {
    {"txt", makeTextPrintJob, false}, {"www", makeWebPageJob, false},
    {"slx", makeSlxJob, false},       {"CLB", makeClipboardJob, false},
    {"DFF", makeDffJob, false},       {"MFF", makeMffJob, false},
    {"SAM", makeSamJob, false},       {"IST", makeIstJob, false},
    {"FTP", makeFtpUploadJob, true},
};

}  // namespace

void registerJobHandlers(Dispatcher& dispatcher, JobServices& services) {
  for (const JobKind& kind : kJobKinds) {
    if (kind.inExportDir && services.exportDir.empty()) continue;
    std::unique_ptr<JobHandler> handler =
        kind.make ? kind.make(services) : std::make_unique<PendingHandler>(kind.extension);
    std::function<bool()> available;
    if (kind.make == makeTextPrintJob) available = services.printerAvailable;
    dispatcher.addHandler(std::move(handler), kind.inExportDir ? services.exportDir : "",
                          std::move(available));
  }
}

}  // namespace marvena
