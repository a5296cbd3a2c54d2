// Installation maintenance wired to this machine: the [Modify] settings,
// the platform's services, one run at a time per installation, and the
// `--modify` command that runs it without a window.
#pragma once

#include <string>

#include "maintenance/Maintenance.h"

namespace marvena {

class Platform;

// Reads [Modify] from the settings file at `configPath` anew for each run
// (a reader of its own, so the jobs' settings object is not shared across
// threads). The procedure holds the installation's lock while it lives.
MaintenanceFactory MakeMaintenanceFactory(Platform& platform, std::string configPath,
                                          std::string driveRoot);

// `--modify program|spool|both`: status texts, progress and errors as lines
// on stderr; 0 only when every step succeeded.
int RunModify(Platform& platform, const std::string& configPath, const std::string& driveRoot,
              const std::string& kits);

}  // namespace marvena
