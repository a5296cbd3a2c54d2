// Stand-ins for the web server, the programs a kit runs, the unpacker and
// file times, recording what the maintenance procedure asked of them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Archive.h"
#include "platform/FileTimes.h"
#include "platform/Http.h"
#include "platform/Process.h"

namespace marvena {

class FakeFileSystem;

class FakeHttp final : public HttpClient {
 public:
  struct Resource {
    std::string body;
    std::int64_t lastModified = -1;
    int status = 200;   // HEAD and GET answer this
    int getStatus = 0;  // when set, GET answers this instead
    bool announceLength = true;
  };
  std::map<std::string, Resource> resources;  // url -> what the server has
  std::vector<std::string> requests;          // "HEAD url", "GET url" in order
  std::size_t piece = 4096;                   // bytes per sink call

  bool head(const std::string& url, const HttpOptions& options, HttpHead* out,
            HttpError* error) override;
  bool get(const std::string& url, const HttpOptions& options, const Sink& sink,
           const Progress& progress, HttpError* error) override;
};

class FakeProcessRunner final : public ProcessRunner {
 public:
  std::vector<std::string> runs;       // "command @ directory" in order
  std::map<std::string, int> results;  // command -> exit code (default 0)
  int installerWaits = 0;
  int runAndWait(const std::string& commandLine, const std::string& workingDirectory,
                 const StopWaiting& stop) override;
  void waitForLeftInstaller(const StopWaiting&) override { ++installerWaits; }
};

class FakeUnpacker final : public ArchiveUnpacker {
 public:
  std::vector<std::string> unpacked;  // "archive -> directory"
  bool fail = false;
  bool unpack(const std::string& archive, const std::string& directory,
              std::string* error) override;
};

// Times go into the fake file system (nanoseconds).
class FakeFileTimes final : public FileTimes {
 public:
  explicit FakeFileTimes(FakeFileSystem& fs) : fs_(fs) {}
  bool setModified(const std::string& path, std::int64_t seconds) override;

 private:
  FakeFileSystem& fs_;
};

}  // namespace marvena
