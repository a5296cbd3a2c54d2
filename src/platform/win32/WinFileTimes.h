// FileTimes on Windows: the modification time set through a handle opened
// exclusively for reading and writing, as the DOS side's tools expect of a
// file that has just been saved.
#pragma once

#include <optional>

#include "platform/FileTimes.h"

namespace marvena {

class WinFileTimes final : public FileTimes {
 public:
  // False for a link, a directory or a file another process holds open.
  bool setModified(const std::string& path, std::int64_t seconds) override;
};

// The modification time of `path` in whole seconds since the epoch;
// nullopt when it cannot be read.
std::optional<std::int64_t> winModifiedSeconds(const std::string& path);

}  // namespace marvena
