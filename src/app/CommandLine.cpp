#include "app/CommandLine.h"

namespace marvena {

const char* const kUsage =
    "Usage: marvena-spool [--config FILE] [--headless] [--once] [--modify KITS] [--version] "
    "[--help]\n"
    "\n"
    "Turns job files that the Marvena DOS programs drop into the spool directory into\n"
    "printouts, spreadsheets, tax declarations, clipboard text and uploads.\n"
    "\n"
    "  --config FILE  settings file to use instead of ~/.config/marvena/MARVENA.INI\n"
    "  --headless     no window, tray icon or dialog; messages go to stderr\n"
    "  --once         process what is in the spool directory, then exit\n"
    "                 (exit status 1 when any job failed)\n"
    "  --modify KITS  bring the installation up to date from the maker's server, then\n"
    "                 exit: KITS is program, spool or both (exit status 1 when a step\n"
    "                 failed); no window, progress on stderr\n"
    "  --version      print the version and exit\n"
    "  --help         print this text and exit\n";

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--config") {
      if (i + 1 >= args.size()) {
        cl.error = "--config needs a file name";
        break;
      }
      cl.configPath = args[++i];
    } else if (a.rfind("--config=", 0) == 0) {
      cl.configPath = a.substr(9);
    } else if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--once") {
      cl.once = true;
    } else if (a == "--modify" || a.rfind("--modify=", 0) == 0) {
      if (a == "--modify" && i + 1 < args.size()) cl.modify = args[++i];
      if (a != "--modify") cl.modify = a.substr(9);
      if (cl.modify != "program" && cl.modify != "spool" && cl.modify != "both") {
        cl.error = "--modify needs program, spool or both";
        break;
      }
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else {
      cl.error = "unknown argument: " + a;
      break;
    }
  }
  if (cl.error.empty() && cl.configPath.empty() && args.size() > 0) {
    for (const std::string& a : args)
      if (a == "--config=") cl.error = "--config needs a file name";
  }
  return cl;
}

}  // namespace marvena
