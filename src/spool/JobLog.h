// The log as a subscriber of the job events: one line per job outcome
// ("2026-12-09 10:30:05 REPORT.txt [*.txt] done: ..."), repeats of an
// outcome already logged for that version of the file left out.
#pragma once

#include <string>

#include "spool/JobEvents.h"

namespace marvena {

class Clock;
class MessageSink;

// "2026-12-09 10:30:05 NAME [*.KIND] TEXT": the form of every job log line.
std::string jobLogLine(Clock& clock, const std::string& name, const std::string& kind,
                       const std::string& text);

class JobLog final : public JobObserver {
 public:
  JobLog(Clock& clock, MessageSink& sink) : clock_(clock), sink_(sink) {}
  void onJobEvent(const JobEvent& event) override;

 private:
  Clock& clock_;
  MessageSink& sink_;
};

}  // namespace marvena
