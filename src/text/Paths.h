// Paths as the DOS programs write them, and the two path pieces every job
// needs. Paths use "/" on this side.
#pragma once

#include <string>
#include <string_view>

namespace marvena {

// A DOS path that starts with "\" (or "X:\") means the root of the DOS
// drive, which is a directory of this machine; other paths are used as they are.
// An empty `driveRoot` keeps a drive letter ("D:\X" -> "D:/X").
std::string mapDosPath(const std::string& path, const std::string& driveRoot);

// "dir/name" -> "dir" ("." for a bare name, "/" for a name in the root).
std::string directoryOf(std::string_view path);
// "dir/name" -> "name".
std::string baseNameOf(std::string_view path);

}  // namespace marvena
