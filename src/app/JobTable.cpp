#include "app/JobTable.h"

#include <memory>

#include "spool/Dispatcher.h"

namespace marvena {

namespace {

using Factory = std::unique_ptr<JobHandler> (*)(JobServices&);

struct JobKind {
  const char* extension;
  Factory make;  // null: not built yet, files are left alone
  bool inExportDir;
};

// The dispatch order. Each pass calls every handler in this order.
const JobKind kJobKinds[] = {
    {"txt", nullptr, false},
    {"www", nullptr, false},
    {"slx", nullptr, false},
    {"CLB", nullptr, false},
    {"DFF", nullptr, false},
    {"MFF", nullptr, false},
    {"SAM", nullptr, false},
    {"IST", nullptr, false},
    {"FTP", nullptr, true},
};

}  // namespace

void RegisterJobHandlers(Dispatcher& dispatcher, JobServices& services) {
  for (const JobKind& kind : kJobKinds) {
    if (kind.inExportDir && services.exportDir.empty()) continue;
    std::unique_ptr<JobHandler> handler =
        kind.make ? kind.make(services) : std::make_unique<PendingHandler>(kind.extension);
    dispatcher.addHandler(std::move(handler), kind.inExportDir ? services.exportDir : "");
  }
}

}  // namespace marvena
