// ArchiveUnpacker over libarchive (zip and whatever else it reads). Entries
// are checked before anything is written: absolute names, ".." and links are
// refused, so nothing can land outside the target directory. Files are
// written with the owner's read/write (and execute where the archive says)
// permissions, never set-id bits.
#pragma once

#include "platform/Archive.h"

namespace marvena {

class LibarchiveUnpacker final : public ArchiveUnpacker {
 public:
  bool unpack(const std::string& archive, const std::string& directory,
              std::string* error) override;
};

}  // namespace marvena
