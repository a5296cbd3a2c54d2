#include "presentation/TrayIconModel.h"

#include <algorithm>

namespace marvena {

int trayTimerPeriod(const std::vector<int>& enabledIntervalsMs) {
  if (enabledIntervalsMs.empty()) return 0;
  return std::min(150, *std::min_element(enabledIntervalsMs.begin(), enabledIntervalsMs.end()));
}

std::string trayTip(const std::string& hint, bool showHint) {
  if (!showHint) return {};
  std::size_t bytes = 0;
  for (int chars = 0; bytes < hint.size() && chars < 63; ++chars) {
    ++bytes;
    while (bytes < hint.size() && (static_cast<unsigned char>(hint[bytes]) & 0xC0) == 0x80) ++bytes;
  }
  return hint.substr(0, bytes);
}

TrayIconModel::TrayIconModel(std::vector<std::string> frames, int frameIntervalMs)
    : frames_(std::move(frames)), intervalMs_(frameIntervalMs) {}

std::string TrayIconModel::picture() const {
  switch (state_) {
    case TrayState::Enabled:
      return "idle";
    case TrayState::Disabled:
      return "disabled";
    case TrayState::Animated:
      break;
  }
  return frames_.empty() ? "idle" : frames_[static_cast<std::size_t>(frame_)];
}

void TrayIconModel::startAnimation(std::int64_t nowMs) {
  frame_ = 0;
  frameDueMs_ = nowMs + intervalMs_;
}

void TrayIconModel::setActive(bool active, std::int64_t nowMs) {
  if (active == active_) return;
  active_ = active;
  if (active_ && state_ == TrayState::Animated)
    startAnimation(nowMs);
  else
    frameDueMs_ = -1;
}

void TrayIconModel::setState(TrayState next, std::int64_t nowMs) {
  if (guard_) {
    guard_ = false;
    throw TrayError("You cannot modify the state property in the OnStateChanging event !!!");
  }
  if (!active_) {
    state_ = next;  // the picture follows when the icon is shown
    return;
  }
  if (next == state_) return;
  if (onStateChanging) {
    guard_ = true;
    try {
      onStateChanging(next);
    } catch (...) {
      guard_ = false;
      throw;
    }
    guard_ = false;
  }
  if (next == state_) return;
  frameDueMs_ = -1;
  state_ = next;
  if (state_ == TrayState::Animated) startAnimation(nowMs);
}

void TrayIconModel::buttonDown(int button, std::int64_t nowMs) {
  lastButton_ = button;
  if (onDoubleClick) {
    // A click counts only once no double click followed within 400 ms.
    waitingClick_ = true;
    clickDueMs_ = nowMs + kClickWaitMs;
  } else {
    defer([this] {
      if (onClick) onClick();
    });
  }
}

void TrayIconModel::doubleClick(int button, std::int64_t) {
  lastButton_ = button;
  waitingClick_ = false;
  clickDueMs_ = -1;
  if (onDoubleClick) onDoubleClick();
}

bool TrayIconModel::tick(std::int64_t nowMs) {
  if (waitingClick_ && nowMs >= clickDueMs_) {
    waitingClick_ = false;
    clickDueMs_ = -1;
    if (onClick) onClick();
  }
  if (!active_ || state_ != TrayState::Animated || frames_.empty() || frameDueMs_ < 0 ||
      nowMs < frameDueMs_)
    return false;
  frame_ = (frame_ + 1) % static_cast<int>(frames_.size());
  frameDueMs_ = nowMs + intervalMs_;
  return true;
}

std::int64_t TrayIconModel::nextTickMs() const {
  std::int64_t due = -1;
  for (std::int64_t t : {frameDueMs_, waitingClick_ ? clickDueMs_ : -1})
    if (t >= 0 && (due < 0 || t < due)) due = t;
  return due;
}

void TrayIconModel::runDeferred() {
  std::function<void()> call = std::move(deferred_);
  deferred_ = nullptr;
  if (!call) return;
  try {
    call();
  } catch (...) {
    // A deferred call's error has nobody to go to.
  }
}

}  // namespace marvena
