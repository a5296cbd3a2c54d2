#include "spool/TempNames.h"

#include <cstdio>

#include "platform/FileSystem.h"
#include "text/Ascii.h"

namespace marvena {

namespace {

bool allOf(std::string_view s, bool (*pred)(char)) {
  if (s.empty()) return false;
  for (char c : s)
    if (!pred(c)) return false;
  return true;
}
bool isHex(char c) {
  return isAsciiDigit(c) || (c >= 'a' && c <= 'f');
}

bool hasSuffix(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

}  // namespace

std::string temporaryFileName(long pid, std::uint32_t random) {
  char buf[64];
  std::snprintf(buf, sizeof buf, ".marvena-%ld-%08x.tmp", pid, static_cast<unsigned>(random));
  return buf;
}

long temporaryOwner(std::string_view name) {
  constexpr std::string_view head = ".marvena-", tail = ".tmp";
  if (name.substr(0, head.size()) != head || !hasSuffix(name, tail)) return -1;
  const std::string_view body = name.substr(head.size(), name.size() - head.size() - tail.size());
  const std::size_t dash = body.find('-');
  if (dash == std::string_view::npos) return -1;
  const std::string_view pid = body.substr(0, dash), hex = body.substr(dash + 1);
  if (pid.size() > 10 || !allOf(pid, isAsciiDigit) || !allOf(hex, isHex)) return -1;
  long value = 0;
  for (char c : pid) value = value * 10 + (c - '0');
  return value;
}

bool isLegacyTemporary(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return false;
  if (name.substr(0, 9) == ".marvena-" && hasSuffix(name, ".pdf.part")) return true;
  if (!hasSuffix(name, ".tmp")) return false;
  // ".NAME.<digits>.tmp" with a non-empty NAME
  const std::string_view body = name.substr(1, name.size() - 5);
  const std::size_t dot = body.rfind('.');
  return dot != std::string_view::npos && dot > 0 && allOf(body.substr(dot + 1), isAsciiDigit);
}

int removeStaleTemporaryFiles(FileSystem& fs, const std::string& dir,
                              const std::function<bool(long pid)>& running) {
  int removed = 0;
  for (const DirName& d : fs.listNames(dir)) {
    if (d.name.empty() || d.name[0] != '.' || d.type == EntryType::Directory) continue;
    const long owner = temporaryOwner(d.name);
    const bool stale = owner >= 0 ? !running(owner) : isLegacyTemporary(d.name);
    if (!stale) continue;
    const std::optional<DirEntry> e = fs.lstat(dir + "/" + d.name);
    if (e && e->regular && fs.remove(dir + "/" + d.name)) ++removed;
  }
  return removed;
}

}  // namespace marvena
