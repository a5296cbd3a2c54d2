#include "presentation/MainWindowModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "spool/Dispatcher.h"

namespace marvena {

namespace {

// Nearest integer, ties to even, as every rounding of the tool.
std::int64_t roundEven(double v) {
  return static_cast<std::int64_t>(std::nearbyint(v));
}

}  // namespace

std::vector<std::string> pendingTextJobs(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& n : names)
    if (isJobName(n, "txt")) out.push_back(n);
  std::sort(out.begin(), out.end(), jobNameLess);
  return out;
}

int progressFillWidth(int panelWidth, std::int64_t done, std::int64_t total) {
  if (total <= 0 || panelWidth <= 0) return 0;
  done = std::clamp<std::int64_t>(done, 0, total);
  return static_cast<int>(roundEven(static_cast<double>(panelWidth) * static_cast<double>(done) /
                                    static_cast<double>(total)));
}

std::string progressPercentText(std::int64_t done, std::int64_t total) {
  if (total <= 0) return {};
  done = std::clamp<std::int64_t>(done, 0, total);
  const std::int64_t p = roundEven(1000.0 * static_cast<double>(done) / static_cast<double>(total));
  // The whole job done would read " 0.0%" by the two-digit pattern; it says so.
  if (p >= 1000) return "100.0%";
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%d%%", static_cast<int>(p / 10), static_cast<int>(p % 10));
  if (text[0] == '0') text[0] = ' ';
  return text;
}

int progressTextX(const ScreenRect& panel) {
  return (panel.left + panel.right) / 2 - 30;
}

ScreenPoint trayMenuPosition(ScreenPoint cursor, const ScreenRect& taskbar,
                             const ScreenRect& desktop, int itemCount) {
  const int h = taskbar.height(), w = taskbar.width();
  ScreenPoint p;
  if (h > w) {  // standing upright at a side
    p.y = desktop.bottom;
    p.x = taskbar.right > desktop.right ? taskbar.left - 70 : taskbar.right + 50;
    return p;
  }
  p.x = std::min(cursor.x + 48, desktop.right);
  p.y = taskbar.bottom > desktop.bottom ? taskbar.top - 20 * itemCount + 20 : taskbar.bottom;
  p.y -= h / 2;
  return p;
}

}  // namespace marvena
