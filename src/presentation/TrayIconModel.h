// What the tray icon shows and how it turns the status area's mouse reports
// into clicks, as plain logic over a clock the caller drives: the views
// (Qt here, Win32 later) hand in button reports and timer ticks and draw
// the picture and tip the model names.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace marvena {

enum class TrayState { Enabled, Disabled, Animated };

// Errors the icon raises for misuse, with the texts users and logs see.
class TrayError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// The period of the one timer that serves all of the icon's timed items:
// the shortest enabled interval, but never longer than 150 ms; 0 when no
// item is enabled.
int trayTimerPeriod(const std::vector<int>& enabledIntervalsMs);

// The tip as the status area takes it: at most 63 characters (UTF-8 aware);
// empty when hints are off.
std::string trayTip(const std::string& hint, bool showHint);

class TrayIconModel {
 public:
  static constexpr std::int64_t kClickWaitMs = 400;

  TrayIconModel(std::vector<std::string> frames, int frameIntervalMs);

  // The picture to show now: "idle", "disabled" or the current frame's name.
  std::string picture() const;
  TrayState state() const { return state_; }
  bool active() const { return active_; }
  int frameIndex() const { return frame_; }

  // Shown in (or taken out of) the status area. Showing an animated icon
  // starts the animation from its first frame.
  void setActive(bool active, std::int64_t nowMs);
  // Called before a state change takes effect; it may change the new state
  // but must not set the state itself.
  std::function<void(TrayState& next)> onStateChanging;
  void setState(TrayState next, std::int64_t nowMs);

  // Button reports: 0 left, 1 right, 2 middle.
  void buttonDown(int button, std::int64_t nowMs);
  void doubleClick(int button, std::int64_t nowMs);
  int lastButton() const { return lastButton_; }
  std::function<void()> onClick;
  std::function<void()> onDoubleClick;

  // Advances the animation and the click wait; returns true when the
  // picture changed.
  bool tick(std::int64_t nowMs);
  // When the next tick is due, or -1 when nothing waits.
  std::int64_t nextTickMs() const;

  // One slot for work to run after the current report: a second call before
  // the first ran replaces it. Errors inside are swallowed.
  void defer(std::function<void()> call) { deferred_ = std::move(call); }
  void runDeferred();

 private:
  void startAnimation(std::int64_t nowMs);

  std::vector<std::string> frames_;
  int intervalMs_;
  TrayState state_ = TrayState::Enabled;
  bool active_ = false;
  bool guard_ = false;
  int frame_ = 0;
  std::int64_t frameDueMs_ = -1;
  int lastButton_ = 0;
  bool waitingClick_ = false;
  std::int64_t clickDueMs_ = -1;
  std::function<void()> deferred_;
};

}  // namespace marvena
