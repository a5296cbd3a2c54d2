// Unpacking an archive into a directory.
#pragma once

#include <string>

namespace marvena {

class ArchiveUnpacker {
 public:
  virtual ~ArchiveUnpacker() = default;

  // Unpacks every entry of `archive` into `directory`, replacing files of
  // the same names. Entries that would land outside `directory` (absolute
  // names, "..", through links) make the whole archive refused. False and
  // *error (plain English) on failure; entries unpacked before it stay.
  virtual bool unpack(const std::string& archive, const std::string& directory,
                      std::string* error) = 0;
};

}  // namespace marvena
