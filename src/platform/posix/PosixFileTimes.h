// FileTimes on POSIX.
#pragma once

#include "platform/FileTimes.h"

namespace marvena {

class PosixFileTimes final : public FileTimes {
 public:
  bool setModified(const std::string& path, std::int64_t seconds) override;
};

}  // namespace marvena
