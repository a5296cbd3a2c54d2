// The desktop shell's housekeeping that start-up asks for. On Windows: the
// system menu in Lithuanian, and tray icons left by a tool that crashed
// removed from the notification area. Where there is no such thing (Linux:
// the window manager draws its own menu, and a crashed process's tray icon
// goes with its connection), the implementation does nothing.
#pragma once

namespace marvena {

class Shell {
 public:
  virtual ~Shell() = default;
  virtual void localizeSystemMenu() = 0;
  virtual void removeOrphanTrayIcons() = 0;
};

// Nothing to do on this desktop.
class NoShellHousekeeping final : public Shell {
 public:
  void localizeSystemMenu() override {}
  void removeOrphanTrayIcons() override {}
};

}  // namespace marvena
