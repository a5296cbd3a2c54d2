#include "spool/JournalingFileSystem.h"

#include "spool/WorkArea.h"

namespace marvena {

std::unique_ptr<AtomicFile> JournalingFileSystem::createAtomic(const std::string& path,
                                                               std::string* error) {
  std::unique_ptr<AtomicFile> file = base_.createAtomic(path, error);
  if (file && !journal_.empty()) {
    file->setBeforePublish([this, journal = journal_, path](std::uint64_t inode,
                                                            std::string* error) {
      return base_.appendFile(
          journal, "publish " + std::to_string(inode) + " " + escapeRecordText(path) + "\n", error);
    });
  }
  return file;
}

}  // namespace marvena
