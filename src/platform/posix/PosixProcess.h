// ProcessRunner on POSIX: the command line is cut into words (blanks
// separate them; double or single quotes keep blanks inside a word; a
// backslash is an ordinary character, as in DOS paths), the program is
// found on PATH unless its name has a "/", and it is started directly with
// fork and exec - no shell. The child gets the tool's standard streams and
// no other descriptor.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Process.h"

namespace marvena {

// The words of a command line; empty when it has none or a quote is left open.
std::vector<std::string> splitCommandWords(std::string_view commandLine);

class PosixProcessRunner final : public ProcessRunner {
 public:
  int runAndWait(const std::string& commandLine, const std::string& workingDirectory,
                 const StopWaiting& stop) override;
};

}  // namespace marvena
