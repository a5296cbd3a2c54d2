// The fixed facts and small rules of installation maintenance: which files
// make up each kit and where they go, when a local copy is current, the
// server address, the digest list published beside the kits, and the
// command lines that run a kit.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Http.h"

namespace marvena {

enum class Kit { Program, Spool };

struct KitFile {
  std::string remoteName;  // under "/FILES/" on the server
  std::string localPath;   // DOS path, from the root of the DOS drive
};

// The files of a kit, in the order they are fetched.
const std::vector<KitFile>& kitFiles(Kit kit);
// The DOS directory a kit's commands run in.
std::string kitDirectory(Kit kit);
// The DOS path of the modification batch file.
extern const char* const kModifyBatch;

// The default of [Modify] Server.
extern const char* const kDefaultServer;
// The digest list's name beside the kit files.
extern const char* const kDigestListName;

// The local copy as found on disk; absent when there is no file.
struct LocalCopy {
  bool exists = false;
  std::int64_t modifiedSeconds = 0;  // since the epoch
  std::int64_t size = 0;
};

// A local copy is current when it exists, its time plus 0.01 day (864 s)
// is not earlier than the server's Last-Modified and its size equals the
// server's Content-Length. A missing file is never current, whatever the
// server says.
bool localCopyCurrent(const LocalCopy& local, const HttpHead& remote);

// [Modify] Server checked: "https://host[:port][/path]" or, when written
// out, "http://...". Trailing slashes go; user names, queries, fragments,
// blanks and other schemes are refused.
struct ServerAddress {
  std::string base;  // without a trailing "/"
  bool plainHttp = false;
};
std::optional<ServerAddress> parseServerAddress(std::string_view setting, std::string* error);
// base + "/FILES/" + the remote name.
std::string kitFileUrl(const ServerAddress& server, const std::string& remoteName);

// The digest list ("SHA256SUMS", as sha256sum writes it: 64 hex digits,
// blanks, an optional "*", the name). Names match without regard to case.
class DigestList {
 public:
  // Nullopt and *error for anything that is not such a list: a malformed
  // line, a name listed twice with different digests, an empty list.
  static std::optional<DigestList> parse(std::string_view text, std::string* error);
  // The lower-case hex digest of `name`; nullptr when it is not listed.
  const std::string* find(std::string_view name) const;
  std::size_t size() const { return digests_.size(); }

 private:
  std::map<std::string, std::string> digests_;  // upper-case name -> digest
};

// The command lines that run the kits. An empty `spoolUnpack` means the
// archive library unpacks SPOOL.ZIP itself.
struct KitCommands {
  std::string program;  // empty: not configured
  std::string spoolUnpack;
  std::string spoolSetup;  // empty: not configured
};

// Windows: the command interpreter runs the batch file and the unpacker;
// the setup program runs as it is.
KitCommands windowsKitCommands(const std::string& comspec);
// Elsewhere: the batch file runs in the DOS emulator `dosCommand` names
// ("{bat}" in it becomes the batch file's DOS path, or the path is added at
// the end); the archive is unpacked here; `spoolSetup` installs the tool.
KitCommands hostKitCommands(const std::string& dosCommand, const std::string& spoolSetup);
// The default of [Modify] SpoolSetup.
extern const char* const kDefaultSpoolSetup;

// Status texts of panel 0.
std::string copyingStatus(const std::string& remoteName);
extern const char* const kModifyingStatus;
extern const char* const kInstallingStatus;

}  // namespace marvena
