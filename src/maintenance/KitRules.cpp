#include "maintenance/KitRules.h"

#include "text/Ascii.h"

namespace marvena {

const char* const kModifyBatch = "\\MARVENA\\INSTALL\\modify.bat";
const char* const kDefaultServer = "https://www.marvena.lt";
const char* const kDigestListName = "SHA256SUMS";
const char* const kDefaultSpoolSetup = "/bin/sh SETUP.SH";
const char* const kModifyingStatus = "Modifikuojam Marvena ...";
const char* const kInstallingStatus = "Instaliuojam Spool ...";

const std::vector<KitFile>& kitFiles(Kit kit) {
  static const std::vector<KitFile> program{
      {"MODIFY", "\\MARVENA\\INSTALL\\MODIFY.BAT"},
      {"PKUNZIP", "\\MARVENA\\INSTALL\\PKUNZIP.EXE"},
      {"MARVENA1.ZIP", "\\MARVENA\\INSTALL\\MARVENA1.ZIP"},
      {"MARVENA2.ZIP", "\\MARVENA\\INSTALL\\MARVENA2.ZIP"},
  };
  static const std::vector<KitFile> spool{
      {"SPOOL.ZIP", "\\MARVENA\\INSTALL\\SPOOL\\SPOOL.ZIP"},
      {"PKUNZIP", "\\MARVENA\\INSTALL\\SPOOL\\PKUNZIP.EXE"},
  };
  return kit == Kit::Program ? program : spool;
}

std::string kitDirectory(Kit kit) {
  return kit == Kit::Program ? "\\MARVENA\\INSTALL\\" : "\\MARVENA\\INSTALL\\SPOOL\\";
}

bool localCopyCurrent(const LocalCopy& local, const HttpHead& remote) {
  if (!local.exists) return false;
  // A server without Last-Modified leaves the size to decide.
  const std::int64_t serverTime = remote.lastModified < 0 ? 0 : remote.lastModified;
  constexpr std::int64_t kTolerance = 864;  // 0.01 day
  return local.modifiedSeconds + kTolerance >= serverTime && local.size == remote.contentLength;
}

std::optional<ServerAddress> parseServerAddress(std::string_view setting, std::string* error) {
  std::string_view text = trimBlanks(setting);
  if (text.empty()) text = kDefaultServer;
  ServerAddress out;
  std::size_t hostStart = 0;
  if (text.size() > 8 && equalsIgnoringCase(text.substr(0, 8), "https://")) {
    hostStart = 8;
  } else if (text.size() > 7 && equalsIgnoringCase(text.substr(0, 7), "http://")) {
    hostStart = 7;
    out.plainHttp = true;
  } else {
    if (error) *error = "the address must begin with https:// or http://";
    return std::nullopt;
  }
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127 || c == '?' || c == '#' || c == '@' || c == '\\' || c == '"') {
      if (error) *error = "the address may not contain blanks, '?', '#', '@', '\\' or quotes";
      return std::nullopt;
    }
  }
  while (text.size() > hostStart && text.back() == '/') text.remove_suffix(1);
  const std::string_view host = text.substr(hostStart, text.find('/', hostStart) - hostStart);
  if (host.empty() || host.front() == ':') {
    if (error) *error = "the address names no server";
    return std::nullopt;
  }
  out.base = out.plainHttp ? "http://" : "https://";
  out.base += text.substr(hostStart);
  return out;
}

std::string kitFileUrl(const ServerAddress& server, const std::string& remoteName) {
  return server.base + "/FILES/" + remoteName;
}

std::optional<DigestList> DigestList::parse(std::string_view text, std::string* error) {
  DigestList list;
  int lineNumber = 0;
  const auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (trimBlanks(line).empty() || line.front() == '#') continue;
    if (line.size() < 66) return fail("too short");
    std::string digest(line.substr(0, 64));
    for (char& c : digest) {
      c = asciiLower(c);
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return fail("not a hex digest");
    }
    std::string_view rest = line.substr(64);
    if (rest.front() != ' ' && rest.front() != '\t') return fail("no blank after the digest");
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '*') rest.remove_prefix(1);
    if (rest.substr(0, 2) == "./") rest.remove_prefix(2);
    rest = trimBlanks(rest);
    if (rest.empty() || rest.find_first_of("/\\") != std::string_view::npos)
      return fail("not a plain file name");
    const auto [it, added] = list.digests_.emplace(asciiUpperCopy(rest), digest);
    if (!added && it->second != digest) return fail("listed twice with different digests");
  }
  if (list.digests_.empty()) {
    lineNumber = 0;
    return fail("no digests");
  }
  return list;
}

const std::string* DigestList::find(std::string_view name) const {
  const auto it = digests_.find(asciiUpperCopy(name));
  return it == digests_.end() ? nullptr : &it->second;
}

KitCommands windowsKitCommands(const std::string& comspec) {
  KitCommands c;
  c.program = comspec + " /C CALL " + kModifyBatch + " ";
  c.spoolUnpack = comspec + " /C CALL \\MARVENA\\INSTALL\\SPOOL\\PKUNZIP -o SPOOL";
  c.spoolSetup = "\\MARVENA\\INSTALL\\SPOOL\\SETUP.EXE";
  return c;
}

KitCommands hostKitCommands(const std::string& dosCommand, const std::string& spoolSetup) {
  KitCommands c;
  const std::string_view dos = trimBlanks(dosCommand);
  if (!dos.empty()) {
    c.program = std::string(dos);
    std::size_t at = c.program.find("{bat}");
    if (at == std::string::npos) c.program += std::string(" ") + kModifyBatch;
    for (; at != std::string::npos; at = c.program.find("{bat}", at + 1))
      c.program.replace(at, 5, kModifyBatch);
  }
  c.spoolSetup = std::string(trimBlanks(spoolSetup));
  return c;
}

std::string copyingStatus(const std::string& remoteName) {
  return "Kopijuojam " + remoteName;
}

}  // namespace marvena
