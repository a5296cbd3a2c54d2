#include "platform/fake/Fakes.h"

#include <cstdio>

namespace marvena {

namespace {

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

namespace {

class FakeAtomicFile final : public AtomicFile {
 public:
  FakeAtomicFile(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  bool write(std::string_view bytes) override {
    data_.append(bytes);
    return true;
  }
  bool commit(std::string* error) override {
    if (fs_.failWrites || !fs_.dirs.count(parentOf(path_)) || !fs_.writable(parentOf(path_))) {
      if (error) *error = "cannot write " + path_;
      return false;
    }
    const std::uint64_t inode = fs_.newInode();
    if (!runBeforePublish(inode, error)) return false;
    ++fs_.writes;
    fs_.commit(path_, std::move(data_), inode);
    return true;
  }

 private:
  FakeFileSystem& fs_;
  std::string path_, data_;
};

}  // namespace

void FakeFileSystem::put(const std::string& path, std::string bytes) {
  files[path] = std::move(bytes);
  times[path] = ++tick_;
  inodes[path] = newInode();
  links.erase(path);
  dirs.insert(parentOf(path));
  touchDir(parentOf(path));
}

void FakeFileSystem::link(const std::string& path, const std::string& target) {
  files.erase(path);
  links[path] = target;
  touchDir(parentOf(path));
}

void FakeFileSystem::commit(const std::string& path, std::string bytes, std::uint64_t inode) {
  put(path, std::move(bytes));
  inodes[path] = inode;
  ops.push_back("commit " + path);
  ops.push_back("sync " + parentOf(path));
}

DirEntry FakeFileSystem::entryOf(const std::string& path) {
  DirEntry e{fileNameOf(path), true, files[path].size(), times[path]};
  e.device = 1;
  e.inode = inodes[path];
  return e;
}

std::vector<DirEntry> FakeFileSystem::list(const std::string& dir) {
  ++listings;
  std::vector<DirEntry> out;
  if (!dirs.count(dir)) return out;
  for (const auto& [path, bytes] : files)
    if (parentOf(path) == dir) out.push_back(entryOf(path));
  for (const std::string& d : dirs)
    if (d != dir && parentOf(d) == dir) out.push_back({fileNameOf(d), false, 0, 0});
  return out;
}

std::vector<DirName> FakeFileSystem::listNames(const std::string& dir) {
  ++listings;
  std::vector<DirName> out;
  if (!dirs.count(dir)) return out;
  for (const auto& [path, bytes] : files)
    if (parentOf(path) == dir) out.push_back({fileNameOf(path), EntryType::Regular});
  for (const auto& [path, target] : links)
    if (parentOf(path) == dir) out.push_back({fileNameOf(path), EntryType::Other});
  for (const std::string& d : dirs)
    if (d != dir && parentOf(d) == dir) out.push_back({fileNameOf(d), EntryType::Directory});
  return out;
}

std::optional<DirEntry> FakeFileSystem::stat(const std::string& path) {
  ++stats;
  if (auto link = links.find(path); link != links.end()) return stat(link->second);
  if (files.count(path)) return entryOf(path);
  if (dirs.count(path)) {
    DirEntry e{fileNameOf(path), false, 0, times[path]};
    e.device = 1;
    return e;
  }
  return std::nullopt;
}

std::optional<DirEntry> FakeFileSystem::lstat(const std::string& path) {
  if (links.count(path)) {
    ++stats;
    return DirEntry{fileNameOf(path), false, 0, 0};
  }
  return stat(path);
}

std::unique_ptr<AtomicFile> FakeFileSystem::createAtomic(const std::string& path, std::string*) {
  return std::make_unique<FakeAtomicFile>(*this, path);
}

bool FakeFileSystem::remove(const std::string& path) {
  if (!writable(parentOf(path))) return false;
  if (links.erase(path) > 0) return true;
  if (files.erase(path) == 0) return false;
  inodes.erase(path);
  touchDir(parentOf(path));
  ops.push_back("remove " + path);
  return true;
}

bool FakeFileSystem::removeDirectory(const std::string& path) {
  if (!dirs.count(path) || !writable(parentOf(path))) return false;
  for (const auto& [p, bytes] : files)
    if (parentOf(p) == path) return false;
  for (const std::string& d : dirs)
    if (parentOf(d) == path && d != path) return false;
  dirs.erase(path);
  return true;
}

FsError FakeFileSystem::moveEntry(const std::string& from, const std::string& to,
                                  std::string* error) {
  auto fail = [&](FsError e) {
    if (error) *error = "cannot move " + from;
    return e;
  };
  if (!files.count(from) && !links.count(from)) return fail(FsError::NotFound);
  if (!dirs.count(parentOf(to))) return fail(FsError::NotFound);
  if (!writable(parentOf(from)) || !writable(parentOf(to))) return fail(FsError::NotPermitted);
  if (files.count(to) || links.count(to) || dirs.count(to)) return fail(FsError::Exists);
  touchDir(parentOf(from));
  touchDir(parentOf(to));
  if (auto link = links.find(from); link != links.end()) {
    links[to] = link->second;
    links.erase(link);
    return FsError::None;
  }
  files[to] = std::move(files[from]);
  times[to] = times[from];
  inodes[to] = inodes[from];
  files.erase(from);
  inodes.erase(from);
  return FsError::None;
}

FsError FakeFileSystem::copyIfSame(const std::string& from, const DirEntry& expected,
                                   const std::string& to, std::string* error) {
  if (links.count(from) || !files.count(from) || inodes[from] != expected.inode) {
    if (error) *error = "no longer the same file: " + from;
    return FsError::NotFound;
  }
  if (unreadable.count(from)) {
    if (error) *error = "cannot open " + from;
    return FsError::Other;
  }
  if (!dirs.count(parentOf(to)) || !writable(parentOf(to)) || files.count(to) || failWrites) {
    if (error) *error = "cannot create " + to;
    return FsError::Other;
  }
  files[to] = files[from];
  times[to] = times[from];
  inodes[to] = newInode();
  return FsError::None;
}

bool FakeFileSystem::syncDirectory(const std::string& dir) {
  ops.push_back("sync " + dir);
  return true;
}

std::optional<std::string> FakeFileSystem::readFile(const std::string& path, std::string* error) {
  auto it = files.find(path);
  if (it == files.end() || unreadable.count(path)) {
    if (error) *error = "cannot open " + path;
    return std::nullopt;
  }
  return it->second;
}

bool FakeFileSystem::writeFileAtomic(const std::string& path, std::string_view bytes,
                                     std::string* error) {
  FakeAtomicFile file(*this, path);
  file.write(bytes);
  return file.commit(error);
}

bool FakeFileSystem::appendFile(const std::string& path, std::string_view bytes,
                                std::string* error) {
  if (failWrites || !dirs.count(parentOf(path)) || !writable(parentOf(path))) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  if (!files.count(path)) inodes[path] = newInode();
  files[path].append(bytes);
  times[path] = ++tick_;
  return true;
}

bool FakeFileSystem::makeDirectories(const std::string& path, std::string* error) {
  if (failWrites) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  for (std::string p = path; !p.empty() && p != "." && p != "/"; p = parentOf(p)) {
    if (dirs.count(p)) break;
    if (!writable(parentOf(p))) {
      if (error) *error = "cannot create " + p;
      return false;
    }
  }
  for (std::string p = path; !p.empty() && p != "." && p != "/"; p = parentOf(p)) dirs.insert(p);
  return true;
}

WriteState FakeFileSystem::writeState(const std::string& path) {
  if (!files.count(path)) return WriteState::Missing;
  auto it = writeStates.find(path);
  return it == writeStates.end() ? WriteState::Idle : it->second;
}

std::string FakeLocale::shortDate(const LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", t.year, t.month, t.day);
  return buf;
}

std::string FakeLocale::longTime(const LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

bool FakePrinters::select(int index) {
  if (printerNames.empty()) return false;
  if (index == -1) index = defaultPrinter;
  if (index < 0 || index >= static_cast<int>(printerNames.size()) || unselectable.count(index))
    return false;
  selected = index;
  return true;
}

std::string FakePrinters::currentName() {
  return selected >= 0 && selected < static_cast<int>(printerNames.size())
             ? printerNames[static_cast<std::size_t>(selected)]
             : std::string();
}

bool FakePrinters::metrics(PrinterMetrics* out) {
  if (selected < 0) return false;
  const auto it = metricsOf.find(selected);
  *out = it != metricsOf.end() ? it->second : metricsValue;
  return true;
}

std::vector<PaperInfo> FakePrinters::paperList() {
  const auto it = paperSizes.find(selected);
  return it != paperSizes.end() ? it->second : std::vector<PaperInfo>{};
}

}  // namespace marvena
