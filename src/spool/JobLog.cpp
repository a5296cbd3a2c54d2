#include "spool/JobLog.h"

#include <cstdio>

#include "platform/Clock.h"
#include "platform/MessageSink.h"

namespace marvena {

std::string jobLogLine(Clock& clock, const std::string& name, const std::string& kind,
                       const std::string& text) {
  const LocalTime t = clock.localNow();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return std::string(stamp) + " " + name + " [*." + kind + "] " + text;
}

void JobLog::onJobEvent(const JobEvent& e) {
  if (e.type != JobEvent::Type::JobEnded) return;
  std::string outcome;
  switch (e.outcome) {
    case JobOutcome::Done:
      outcome = "done";
      break;
    case JobOutcome::Undeletable:
      outcome = "done; the job file cannot be deleted and will not be run again";
      break;
    case JobOutcome::Failed:
      outcome = "failed";
      break;
    case JobOutcome::Kept:
      if (e.repeated) return;
      outcome = "failed, kept for a later try";
      break;
    case JobOutcome::NotReady:
      if (e.repeated) return;
      outcome = "not ready, tried again later";
      break;
  }
  if (!e.detail.empty()) outcome += ": " + e.detail;
  sink_.log(jobLogLine(clock_, e.name, e.kind, outcome));
}

}  // namespace marvena
