// What the main window and its tray menu show, as plain rules the views
// draw: the pending text jobs, the progress panel, where the tray menu
// opens beside the task bar.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marvena {

struct ScreenPoint {
  int x = 0, y = 0;
};
struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// The *.txt jobs among `names`, in the order the print job takes them.
std::vector<std::string> pendingTextJobs(const std::vector<std::string>& names);

// The progress panel: the filled width and the text ("45.6%", " 5.3%";
// empty while no job reports progress).
int progressFillWidth(int panelWidth, std::int64_t done, std::int64_t total);
std::string progressPercentText(std::int64_t done, std::int64_t total);
// Where the text starts: 30 pixels left of the panel's middle.
int progressTextX(const ScreenRect& panel);

// Where the tray menu of `itemCount` items opens for a click at `cursor`,
// beside the task bar `taskbar` on the desktop `desktop`.
ScreenPoint trayMenuPosition(ScreenPoint cursor, const ScreenRect& taskbar,
                             const ScreenRect& desktop, int itemCount);

}  // namespace marvena
