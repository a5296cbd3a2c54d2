#include "spool/Readiness.h"

#include <algorithm>

namespace marvena {

ReadinessDecision decideReadiness(SettleState& state, const DirEntry& now, WriteState writer,
                                  std::int64_t nowMs, std::int64_t settleMs) {
  if (writer == WriteState::Missing) {
    state = {};
    return {Readiness::Gone};
  }
  if (writer == WriteState::Busy) {
    // The wait starts again once the writer lets go.
    state = {true, now, nowMs};
    return {Readiness::Busy};
  }
  const std::int64_t quiet = writer == WriteState::Idle ? std::max<std::int64_t>(settleMs, 0)
                                                        : std::max<std::int64_t>(settleMs, 1000);
  if (!state.known || !sameVersion(state.seen, now)) state = {true, now, nowMs};
  if (nowMs - state.sinceMs >= quiet) return {Readiness::Ready};
  return {Readiness::Settling, state.sinceMs + quiet};
}

void noteFailedTry(Backoff& backoff, const DirEntry& version, std::int64_t nowMs) {
  if (!sameVersion(backoff.version, version) || backoff.delayMs == 0) {
    backoff.delayMs = kFirstRetryMs;
  } else {
    backoff.delayMs = std::min(backoff.delayMs * 2, kLongestRetryMs);
  }
  backoff.version = version;
  backoff.notBeforeMs = nowMs + backoff.delayMs;
}

bool retryAllowed(const Backoff& backoff, const DirEntry& version, std::int64_t nowMs,
                  std::int64_t* dueMs) {
  if (backoff.delayMs == 0 || !sameVersion(backoff.version, version)) return true;
  if (nowMs >= backoff.notBeforeMs) return true;
  if (dueMs) *dueMs = backoff.notBeforeMs;
  return false;
}

}  // namespace marvena
