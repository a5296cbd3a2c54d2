// The tray icon on the desktop's status area, drawn from the tray model:
// the picture of the state, the busy animation, the hint, the menu of four
// commands. Where the desktop has no status area, the main window stays in
// the task bar and carries the same commands.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

#include "presentation/TrayIconModel.h"
#include "spool/JobEvents.h"

namespace marvena {

struct TrayCommands {
  std::function<void()> restore;     // "Restauruoti"
  std::function<void()> parameters;  // "Parametrai"
  std::function<void()> about;       // "Apie"
  std::function<void()> quit;        // "Baigti"
  std::function<void()> showWindow;  // a double click (or activation) on the icon
};

// The four commands in the tray menu's order, with separators.
void addTrayCommands(QMenu* menu, const TrayCommands& commands);

class TrayView final : public QObject {
  Q_OBJECT
 public:
  TrayView(TrayCommands commands, QObject* parent = nullptr);
  // False where the desktop has no status area for the icon.
  bool available() const;
  void show();
  void setState(DispatchState state);
  QString picture() const { return QString::fromStdString(model_.picture()); }
  QMenu* menu() { return &menu_; }

 private:
  void repaint();

  TrayCommands commands_;
  TrayIconModel model_;
  QSystemTrayIcon icon_;
  QMenu menu_;
  QTimer ticker_;
  QString shown_;
};

}  // namespace marvena
