// Installation maintenance wired to this machine: the [Modify] settings,
// the platform's services, one run at a time per installation, and the
// `--modify` command that runs it without a window.
#pragma once

#include <optional>
#include <string>

#include "maintenance/Maintenance.h"

namespace marvena {

class Platform;

// Reads [Modify] from the settings file at `configPath` anew for each run
// (a reader of its own, so the jobs' settings object is not shared across
// threads). The procedure holds the installation's lock while it lives.
//
// `comspec` is set on Windows: its command interpreter runs the batch file
// and the kit's PKUNZIP, as the DOS side does there, and the settings'
// DosCommand and SpoolSetup are not read. Unset, a DOS emulator named in
// the settings runs the batch file and the archive library unpacks.
MaintenanceFactory makeMaintenanceFactory(Platform& platform, std::string configPath,
                                          std::string driveRoot,
                                          std::optional<std::string> comspec = std::nullopt);

// `--modify program|spool|both`: status texts, progress and errors as lines
// on stderr; 0 only when every step succeeded.
int runModify(Platform& platform, const std::string& configPath, const std::string& driveRoot,
              const std::string& kits, std::optional<std::string> comspec = std::nullopt);

}  // namespace marvena
