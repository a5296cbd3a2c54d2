#include "spool/WorkArea.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace marvena {

namespace {

constexpr const char* kJournal = ".journal";

}  // namespace

// Names may hold any byte but "/" and NUL; a record is one line.
std::string escapeRecordText(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '%')
      out += "%25";
    else if (c == '\n')
      out += "%0A";
    else if (c == '\r')
      out += "%0D";
    else
      out += c;
  }
  return out;
}

std::string unescapeRecordText(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const std::string_view code = s.substr(i + 1, 2);
      if (code == "25") out += '%';
      if (code == "0A") out += '\n';
      if (code == "0D") out += '\r';
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

namespace {

std::string versionText(const DirEntry& e) {
  return std::to_string(e.device) + " " + std::to_string(e.inode) + " " + std::to_string(e.size) +
         " " + std::to_string(e.mtimeNs);
}

// "DEV INO SIZE MTIME REST" -> the version and REST.
bool parseVersion(std::string_view line, DirEntry* e, std::string* rest) {
  std::uint64_t v[3] = {};
  std::int64_t mtime = 0;
  std::size_t pos = 0;
  auto field = [&](std::string_view* out) {
    const std::size_t space = line.find(' ', pos);
    if (space == std::string_view::npos) return false;
    *out = line.substr(pos, space - pos);
    pos = space + 1;
    return !out->empty();
  };
  std::string_view f;
  for (std::uint64_t& x : v) {
    if (!field(&f)) return false;
    x = std::strtoull(std::string(f).c_str(), nullptr, 10);
  }
  if (!field(&f)) {
    f = line.substr(pos);
    pos = line.size();
    if (f.empty()) return false;
  }
  mtime = std::strtoll(std::string(f).c_str(), nullptr, 10);
  e->device = v[0];
  e->inode = v[1];
  e->size = v[2];
  e->mtimeNs = mtime;
  *rest = std::string(line.substr(std::min(pos, line.size())));
  return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();  // a record cut off by a crash
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string safeHostTag(const std::string& host) {
  std::string tag;
  for (char c : host.substr(0, 32)) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    tag += ok ? c : '_';
  }
  return tag.empty() ? "host" : tag;
}

WorkArea::WorkArea(FileSystem& fs, std::string watchedDir, std::string stateDir,
                   std::string hostTag, std::uint64_t runId)
    : fs_(fs),
      watchedDir_(std::move(watchedDir)),
      stateDir_(std::move(stateDir)),
      hostTag_(safeHostTag(hostTag)),
      runId_(runId) {}

bool WorkArea::open(std::string* error) {
  if (!fs_.makeDirectories(stateDir_ + "/work", error)) return false;
  // A directory that exists but may not be written is no use either.
  const std::string probe = stateDir_ + "/work/.probe";
  if (!fs_.writeFileAtomic(probe, "", error)) return false;
  fs_.remove(probe);
  handled_.clear();
  std::string ignored;
  if (const std::optional<std::string> text = fs_.readFile(stateDir_ + "/handled", &ignored)) {
    for (std::string_view line : splitLines(*text)) {
      Handled h;
      std::string rest;
      if (parseVersion(line, &h.version, &rest) && !rest.empty()) {
        h.name = unescapeRecordText(rest);
        handled_.push_back(std::move(h));
      }
    }
  }
  return true;
}

std::vector<WorkArea::Item> WorkArea::leftovers(int* foreign) {
  std::vector<Item> items;
  int others = 0;
  const std::string prefix = hostTag_ + "-";
  for (const DirName& d : fs_.listNames(stateDir_ + "/work")) {
    if (d.type != EntryType::Directory && d.type != EntryType::Unknown) continue;
    if (d.name.compare(0, prefix.size(), prefix) != 0) {
      ++others;
      continue;
    }
    Item item;
    item.id = d.name;
    const std::string dir = itemDir(d.name);
    for (const DirName& f : fs_.listNames(dir))
      if (!f.name.empty() && f.name[0] != '.') item.name = f.name;
    std::string ignored;
    const std::optional<std::string> journal = fs_.readFile(dir + "/" + kJournal, &ignored);
    if (item.name.empty()) {
      fs_.remove(dir + "/" + kJournal);
      fs_.removeDirectory(dir);
      continue;
    }
    item.path = dir + "/" + item.name;
    const std::optional<DirEntry> e = fs_.lstat(item.path);
    if (!e || !e->regular) continue;  // not ours to touch
    item.entry = *e;
    if (journal) {
      for (std::string_view line : splitLines(*journal)) {
        if (line.substr(0, 7) != "source ") continue;
        DirEntry source;
        std::string rest;
        if (parseVersion(line.substr(7), &source, &rest)) item.source = source;
      }
    }
    items.push_back(std::move(item));
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.id < b.id; });
  if (foreign) *foreign = others;
  return items;
}

bool WorkArea::published(const Item& item) {
  std::string ignored;
  const std::optional<std::string> journal = fs_.readFile(journalPath(item), &ignored);
  if (!journal) return false;
  for (std::string_view line : splitLines(*journal)) {
    if (line.substr(0, 8) != "publish ") continue;
    const std::string_view rest = line.substr(8);
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) continue;
    const std::uint64_t inode =
        std::strtoull(std::string(rest.substr(0, space)).c_str(), nullptr, 10);
    const std::optional<DirEntry> e = fs_.lstat(unescapeRecordText(rest.substr(space + 1)));
    if (inode != 0 && e && e->inode == inode) return true;
  }
  return false;
}

WorkArea::Claim WorkArea::claim(const std::string& name, const DirEntry& seen, bool mayCopy,
                                Item* item, std::string* error) {
  char id[96];
  std::snprintf(id, sizeof id, "%s-%llx-%06llu", hostTag_.c_str(),
                static_cast<unsigned long long>(runId_),
                static_cast<unsigned long long>(nextSeq_++));
  const std::string dir = itemDir(id);
  if (!fs_.makeDirectories(dir, error)) return Claim::Failed;
  const std::string from = watchedDir_ + "/" + name, to = dir + "/" + name;
  Item claimed{id, name, to, {}, std::nullopt};

  const FsError moved = fs_.moveEntry(from, to, error);
  if (moved == FsError::None) {
    const std::optional<DirEntry> e = fs_.lstat(to);
    if (!e || !e->regular) {
      // Swapped for a link (or something else) after it was listed: never
      // read it; it goes back where it was.
      std::string ignored;
      if (fs_.moveEntry(to, from, &ignored) != FsError::None) fs_.remove(to);
      fs_.removeDirectory(dir);
      return Claim::Gone;
    }
    claimed.entry = *e;
    *item = std::move(claimed);
    return Claim::Claimed;
  }
  if (moved == FsError::NotPermitted || moved == FsError::CrossDevice) {
    if (!mayCopy) {
      fs_.removeDirectory(dir);
      return Claim::NotPermitted;
    }
    const FsError copied = fs_.copyIfSame(from, seen, to, error);
    if (copied == FsError::None) {
      std::string journalError;
      if (!fs_.appendFile(dir + "/" + kJournal, "source " + versionText(seen) + "\n",
                          &journalError)) {
        fs_.remove(to);
        fs_.removeDirectory(dir);
        if (error) *error = journalError;
        return Claim::Failed;
      }
      claimed.entry = fs_.lstat(to).value_or(seen);
      claimed.source = seen;
      *item = std::move(claimed);
      return Claim::Claimed;
    }
    fs_.removeDirectory(dir);
    return copied == FsError::NotFound ? Claim::Gone : Claim::Failed;
  }
  fs_.removeDirectory(dir);
  return moved == FsError::NotFound ? Claim::Gone : Claim::Failed;
}

std::string WorkArea::journalPath(const Item& item) const {
  return itemDir(item.id) + "/" + kJournal;
}

void WorkArea::removeItem(const Item& item) {
  fs_.remove(item.path);
  fs_.remove(journalPath(item));
  fs_.removeDirectory(itemDir(item.id));
}

bool WorkArea::finish(const Item& item) {
  bool deleted = true;
  if (item.source) {
    const std::string original = watchedDir_ + "/" + item.name;
    const std::optional<DirEntry> now = fs_.lstat(original);
    if (now && sameVersion(*now, *item.source)) {
      deleted = fs_.remove(original);
      if (!deleted) remember(item.name, *item.source);
    }
  }
  removeItem(item);
  return deleted;
}

bool WorkArea::putBack(const Item& item) {
  if (item.source) {
    removeItem(item);
    return true;
  }
  std::string ignored;
  if (fs_.moveEntry(item.path, watchedDir_ + "/" + item.name, &ignored) != FsError::None)
    return false;
  removeItem(item);
  return true;
}

std::string WorkArea::moveToFailed(const Item& item) {
  const std::string failedDir = watchedDir_ + "/FAILED";
  std::string error;
  std::string moved;
  if (fs_.isDirectory(failedDir) || fs_.makeDirectories(failedDir, &error)) {
    const std::size_t dot = item.name.rfind('.');
    const std::string stem = dot == std::string::npos ? item.name : item.name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : item.name.substr(dot);
    for (int n = 1; n < 10000 && moved.empty(); ++n) {
      const std::string target =
          failedDir + "/" + (n == 1 ? item.name : stem + "-" + std::to_string(n) + ext);
      const FsError r = fs_.moveEntry(item.path, target, &error);
      if (r == FsError::None) moved = target;
      if (r != FsError::Exists && r != FsError::None) break;
    }
  }
  if (item.source) {
    // The original stays where the DOS program left it unless it can go.
    const std::string original = watchedDir_ + "/" + item.name;
    const std::optional<DirEntry> now = fs_.lstat(original);
    if (now && sameVersion(*now, *item.source) && (moved.empty() || !fs_.remove(original)))
      remember(item.name, *item.source);
    removeItem(item);
    return moved;
  }
  if (!moved.empty()) removeItem(item);
  return moved;
}

bool WorkArea::handled(const std::string& name, const DirEntry& e) const {
  for (const Handled& h : handled_)
    if (h.name == name && sameVersion(h.version, e)) return true;
  return false;
}

void WorkArea::remember(const std::string& name, const DirEntry& e) {
  if (handled(name, e)) return;
  handled_.push_back({name, e});
  std::string ignored;
  fs_.appendFile(stateDir_ + "/handled", versionText(e) + " " + escapeRecordText(name) + "\n",
                 &ignored);
}

void WorkArea::pruneHandled(const std::set<std::string>& presentNames) {
  const std::size_t before = handled_.size();
  std::erase_if(handled_, [&](const Handled& h) { return !presentNames.count(h.name); });
  if (handled_.size() != before) saveHandled();
}

bool WorkArea::saveHandled() {
  std::string text;
  for (const Handled& h : handled_)
    text += versionText(h.version) + " " + escapeRecordText(h.name) + "\n";
  std::string ignored;
  return fs_.writeFileAtomic(stateDir_ + "/handled", text, &ignored);
}

}  // namespace marvena
