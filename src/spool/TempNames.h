// Names of the tool's own temporary files. They are hidden (a leading dot),
// so no handler takes them for a job, short, so that a long job name still
// fits, and carry the writer's process id, so that a later start can tell
// leftovers of a crash from files another running instance is writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace marvena {

class FileSystem;

// ".marvena-<pid>-<hex>.tmp"
std::string temporaryFileName(long pid, std::uint32_t random);
// The writer's pid when `name` is one of ours, else -1.
long temporaryOwner(std::string_view name);
// Temporary names earlier versions of the tool left behind after a crash:
// ".NAME.NNN.tmp" and ".marvena-*.pdf.part".
bool isLegacyTemporary(std::string_view name);

// Removes what crashed runs left in `dir`: our temporary files whose writer
// is no longer `running`, and those of earlier versions. How many went.
int removeStaleTemporaryFiles(FileSystem& fs, const std::string& dir,
                              const std::function<bool(long pid)>& running);

}  // namespace marvena
