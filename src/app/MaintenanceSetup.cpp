#include "app/MaintenanceSetup.h"

#include <algorithm>
#include <cstdio>

#include "app/StderrMessages.h"
#include "platform/Platform.h"
#include "settings/ProfileFile.h"
#include "text/Paths.h"

namespace marvena {

namespace {

MaintenanceConfig readConfig(ProfileFile& settings, const std::string& driveRoot,
                             const std::optional<std::string>& comspec) {
  MaintenanceConfig c;
  c.server = settings.readString("Modify", "Server", kDefaultServer);
  c.driveRoot = driveRoot;
  c.commands =
      comspec ? windowsKitCommands(*comspec)
              : hostKitCommands(settings.readString("Modify", "DosCommand", ""),
                                settings.readString("Modify", "SpoolSetup", kDefaultSpoolSetup));
  c.http.caFile = settings.readString("Modify", "CaFile", "");
  c.http.connectTimeoutSeconds =
      std::clamp(settings.readInteger("Modify", "ConnectTimeout", 20), 1, 600);
  c.http.stallTimeoutSeconds =
      std::clamp(settings.readInteger("Modify", "StallTimeout", 60), 1, 3600);
  return c;
}

// Where the kit's own unpacker runs, the procedure never unpacks itself.
class KitUnpacks final : public ArchiveUnpacker {
 public:
  bool unpack(const std::string&, const std::string&, std::string* error) override {
    if (error) *error = "the kit's own unpacker unpacks it here";
    return false;
  }
};

// The procedure and what it runs with, freed together.
struct HeldProcedure {
  std::unique_ptr<InstanceGuard> lock;
  KitUnpacks kitUnpacks;
  std::unique_ptr<MaintenanceProcedure> procedure;
};

// Status texts and errors as they come; progress at every tenth of a file.
class LogObserver final : public MaintenanceObserver {
 public:
  void status(const std::string& text) override {
    if (!text.empty()) messages_.log("maintenance: " + text);
  }
  void progress(std::int64_t done, std::int64_t total) override {
    if (total <= 0) {
      tenth_ = -1;
      return;
    }
    const int tenth = static_cast<int>(done * 10 / total);
    if (tenth == tenth_) return;
    tenth_ = tenth;
    messages_.log("maintenance: " + std::to_string(tenth * 10) + "% (" + std::to_string(done) +
                  " of " + std::to_string(total) + " bytes)");
  }
  void error(const std::string& text) override { messages_.showError(text); }
  void log(const std::string& line) override { messages_.log(line); }
  void kitDone(Kit kit) override {
    messages_.log(kit == Kit::Program ? "maintenance: program kit done"
                                      : "maintenance: spool kit done");
  }

 private:
  StderrMessages messages_;
  int tenth_ = -1;
};

}  // namespace

MaintenanceFactory makeMaintenanceFactory(Platform& platform, std::string configPath,
                                          std::string driveRoot,
                                          std::optional<std::string> comspec) {
  return [&platform, configPath, driveRoot,
          comspec](MaintenanceObserver& observer) -> std::shared_ptr<MaintenanceProcedure> {
    if (!platform.http() || !platform.processes() || !platform.fileTimes() ||
        (!platform.unpacker() && !comspec)) {
      observer.error("\u0160ioje sistemoje modifikuoti negalima.");
      return nullptr;
    }
    const std::string installDir = mapDosPath("\\MARVENA\\INSTALL", driveRoot);
    auto held = std::make_shared<HeldProcedure>();
    held->lock = platform.claimInstance("maintenance:" + platform.realPath(installDir));
    if (!held->lock) {
      observer.error(
          "Modifikavimas jau vyksta (kitame Marvena Spool lange ar komanda "
          "--modify). Palaukite, kol jis baigsis.");
      return nullptr;
    }
    ProfileFile settings(platform.fileSystem(), configPath, platform.locale().decimalSeparator());
    MaintenanceConfig config = readConfig(settings, driveRoot, comspec);
    if (comspec && !config.http.caFile.empty())
      observer.log("maintenance: [Modify] CaFile is not used on Windows; its certificate store is");
    ArchiveUnpacker& unpacker = config.commands.spoolUnpack.empty() && platform.unpacker()
                                    ? *platform.unpacker()
                                    : held->kitUnpacks;
    held->procedure = std::make_unique<MaintenanceProcedure>(
        MaintenanceServices{*platform.http(), platform.fileSystem(), *platform.fileTimes(),
                            *platform.processes(), unpacker,
                            [&platform](long pid) { return platform.processRunning(pid); }},
        std::move(config), observer);
    return std::shared_ptr<MaintenanceProcedure>(held, held->procedure.get());
  };
}

int runModify(Platform& platform, const std::string& configPath, const std::string& driveRoot,
              const std::string& kits, std::optional<std::string> comspec) {
  const bool program = kits == "program" || kits == "both";
  const bool spool = kits == "spool" || kits == "both";
  LogObserver observer;
  const std::shared_ptr<MaintenanceProcedure> procedure =
      makeMaintenanceFactory(platform, configPath, driveRoot, std::move(comspec))(observer);
  if (!procedure) return 1;
  return procedure->run(program, spool) ? 0 : 1;
}

}  // namespace marvena
