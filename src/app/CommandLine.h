// The tool's command line.
#pragma once

#include <string>
#include <vector>

namespace marvena {

struct CommandLine {
  std::string configPath;  // empty: the default settings file
  bool headless = false;
  bool once = false;
  bool version = false;
  bool help = false;
  std::string modify;  // "program", "spool" or "both": maintenance only, then exit
  std::string error;   // set when the arguments could not be understood
};

CommandLine parseCommandLine(const std::vector<std::string>& args);
extern const char* const kUsage;

}  // namespace marvena
