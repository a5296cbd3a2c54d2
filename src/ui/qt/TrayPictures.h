// The tray's pictures, drawn for the tool: idle, disabled and ten busy
// frames (a sheet of paper with a turning mark).
#pragma once

#include <QIcon>
#include <QString>

namespace marvena {

// "idle", "disabled" or "P0".."P9".
QIcon trayPicture(const QString& name);

}  // namespace marvena
