// The tool's own area beside a watched directory: ".marvena" inside it, or a
// private directory elsewhere when the tool may not write there.
//
//   work/<id>/NAME      a claimed job: moved in by one rename, so that a new
//                       file under the same name is a new job, a link put in
//                       its place is never read, and a second processor of
//                       the same directory finds nothing to take; where the
//                       directory may not be changed, a copy
//   work/<id>/.journal  what the job has published ("publish INODE PATH"),
//                       written before each result takes its name, and for
//                       a copy the original's version ("source ...")
//   handled             versions done (or given up) that could not be
//                       deleted: never run again
//
// After a crash every item of this host is either finished (a result it
// published is in place) or run again; nothing is lost, nothing is published
// twice.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace marvena {

class WorkArea {
 public:
  struct Item {
    std::string id;                  // directory under work/
    std::string name;                // the job's name in the watched directory
    std::string path;                // the claimed file
    DirEntry entry;                  // the claimed file as it was when claimed
    std::optional<DirEntry> source;  // a copy: the original, still in the watched directory
  };
  enum class Claim { Claimed, Gone, NotPermitted, Failed };

  // `hostTag` and `runId` make item names unique across machines and runs.
  WorkArea(FileSystem& fs, std::string watchedDir, std::string stateDir, std::string hostTag,
           std::uint64_t runId);

  // Creates the area (false when it cannot be written) and reads the
  // handled versions.
  bool open(std::string* error);
  const std::string& stateDir() const { return stateDir_; }
  const std::string& watchedDir() const { return watchedDir_; }

  // Items an earlier run of this host left, in the order they were claimed;
  // empty leftovers (a crash between making and filling an item) are removed.
  // `foreign` gets the number of items of other hosts, which are left alone.
  std::vector<Item> leftovers(int* foreign);
  // Whether a result the item's journal names is in place: the job was done
  // before the crash and only its deletion is missing.
  bool published(const Item& item);

  // Moves the job `name` (seen as `seen`) into the area; where the watched
  // directory may not be changed, copies it, provided it is still that file.
  Claim claim(const std::string& name, const DirEntry& seen, bool mayCopy, Item* item,
              std::string* error);
  std::string journalPath(const Item& item) const;

  // Done: the item goes, and a copied job's original too if it is still the
  // same version. False when that original cannot be deleted; it is then
  // remembered as handled.
  bool finish(const Item& item);
  // Not done: the job returns to its name in the watched directory (a copy
  // is just dropped). False when the name is taken by a newer file or the
  // directory may not be changed; the item then stays.
  bool putBack(const Item& item);
  // Given up: into the FAILED folder of the watched directory (a number
  // added if the name is taken). The new path, or empty (then the item
  // stays and, for a copy, the original is remembered as handled).
  std::string moveToFailed(const Item& item);

  bool handled(const std::string& name, const DirEntry& e) const;
  // Forgets handled versions whose file is gone from the watched directory.
  void pruneHandled(const std::set<std::string>& presentNames);

 private:
  std::string itemDir(const std::string& id) const { return stateDir_ + "/work/" + id; }
  void removeItem(const Item& item);
  void remember(const std::string& name, const DirEntry& e);
  bool saveHandled();

  FileSystem& fs_;
  std::string watchedDir_, stateDir_, hostTag_;
  std::uint64_t runId_;
  std::uint64_t nextSeq_ = 1;
  struct Handled {
    std::string name;
    DirEntry version;
  };
  std::vector<Handled> handled_;
};

// A name or path as one field of a one-line record, and back.
std::string escapeRecordText(std::string_view s);
std::string unescapeRecordText(std::string_view s);

// "host name" made safe for a file name.
std::string safeHostTag(const std::string& host);

}  // namespace marvena
