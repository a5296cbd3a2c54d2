// When a job file may be taken, and when a job that could not be done may
// be tried again. Plain rules over what the dispatcher saw, so that they can
// be tested apart from any file system or clock.
#pragma once

#include <cstdint>

#include "platform/FileSystem.h"

namespace marvena {

// A file is taken only when its writer has closed it and it stayed the same
// for the quiet period; where the file system cannot say whether a writer
// has it open, the quiet period is at least one second.
struct SettleState {
  bool known = false;
  DirEntry seen;             // the version last seen
  std::int64_t sinceMs = 0;  // since when it has been that version, writer closed
};

enum class Readiness { Ready, Settling, Busy, Gone };

struct ReadinessDecision {
  Readiness readiness;
  std::int64_t recheckAtMs = -1;  // when a settling file may be ready; -1 for none
};

ReadinessDecision decideReadiness(SettleState& state, const DirEntry& now, WriteState writer,
                                  std::int64_t nowMs, std::int64_t settleMs);

// Retries of a job that was kept: after 1 s, then twice as long each time,
// at most a minute; a new version of the file is tried at once.
struct Backoff {
  DirEntry version;
  std::int64_t notBeforeMs = 0;
  std::int64_t delayMs = 0;
};

inline constexpr std::int64_t kFirstRetryMs = 1000;
inline constexpr std::int64_t kLongestRetryMs = 60000;

void noteFailedTry(Backoff& backoff, const DirEntry& version, std::int64_t nowMs);
// Whether `version` may be tried now; when not, *dueMs tells when.
bool retryAllowed(const Backoff& backoff, const DirEntry& version, std::int64_t nowMs,
                  std::int64_t* dueMs);

}  // namespace marvena
