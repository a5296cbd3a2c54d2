// Setting a file's modification time.
#pragma once

#include <cstdint>
#include <string>

namespace marvena {

class FileTimes {
 public:
  virtual ~FileTimes() = default;
  // Sets the modification time of the regular file `path` to `seconds`
  // since the epoch; false when the file cannot be opened for writing.
  virtual bool setModified(const std::string& path, std::int64_t seconds) = 0;
};

}  // namespace marvena
