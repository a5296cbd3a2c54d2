#include "platform/fake/Fakes.h"

#include <cstdio>

namespace marvena {

namespace {

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string Base(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void FakeFileSystem::put(const std::string& path, std::string bytes) {
  files[path] = std::move(bytes);
  times[path] = ++tick_;
  dirs.insert(Parent(path));
}

std::vector<DirEntry> FakeFileSystem::list(const std::string& dir) {
  std::vector<DirEntry> out;
  if (!dirs.count(dir)) return out;
  for (const auto& [path, bytes] : files)
    if (Parent(path) == dir) out.push_back({Base(path), true, bytes.size(), times[path]});
  for (const std::string& d : dirs)
    if (d != dir && Parent(d) == dir) out.push_back({Base(d), false, 0, 0});
  return out;
}

std::optional<DirEntry> FakeFileSystem::stat(const std::string& path) {
  if (auto it = files.find(path); it != files.end())
    return DirEntry{Base(path), true, it->second.size(), times[path]};
  if (dirs.count(path)) return DirEntry{Base(path), false, 0, 0};
  return std::nullopt;
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
  if (failWrites || !dirs.count(Parent(path))) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  ++writes;
  put(path, std::string(bytes));
  return true;
}

bool FakeFileSystem::appendFile(const std::string& path, std::string_view bytes,
                                std::string* error) {
  if (failWrites || !dirs.count(Parent(path))) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  files[path].append(bytes);
  times[path] = ++tick_;
  return true;
}

bool FakeFileSystem::renameNoReplace(const std::string& from, const std::string& to,
                                     std::string* error) {
  if (!files.count(from) || files.count(to) || !dirs.count(Parent(to))) {
    if (error) *error = "cannot move " + from;
    return false;
  }
  files[to] = std::move(files[from]);
  times[to] = times[from];
  files.erase(from);
  return true;
}

bool FakeFileSystem::makeDirectories(const std::string& path, std::string* error) {
  if (failWrites) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  for (std::string p = path; !p.empty() && p != "." && p != "/"; p = Parent(p)) dirs.insert(p);
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
  *out = metricsValue;
  return true;
}

}  // namespace marvena
