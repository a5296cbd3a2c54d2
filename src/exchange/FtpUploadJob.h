// The *.FTP job: an XML document from the export directory goes unchanged
// to the FTP server, then the job file is deleted and "ftp.log" gets a line.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "platform/Ftp.h"
#include "settings/SettingsStore.h"
#include "spool/JobHandler.h"

namespace marvena {

class Clock;
class FileSystem;
class JobStatus;
class Locale;
class ProfileFile;

// The [ESSVE] account plus the connection keys of this tool: time-outs and
// explicit TLS. `settings` may be null (defaults).
struct FtpConnection {
  std::string host, user, password;
  int connectTimeoutSeconds = 20;
  int stallTimeoutSeconds = 60;
  FtpTls tls = FtpTls::Off;
  bool tlsVerifyPeer = true;
  std::string tlsCaFile;
  // A failed upload is not tried again sooner than this.
  int retrySeconds = 30;
};
FtpConnection ReadFtpConnection(const ExportSettings& account, ProfileFile* settings);

class FtpUploadJob final : public JobHandler {
 public:
  FtpUploadJob(FileSystem& fs, FtpClient& ftp, Clock& clock, Locale& locale, JobStatus& status,
               FtpConnection connection);

  std::string extension() const override { return "FTP"; }
  JobResult run(const JobFile& job) override;

 private:
  JobResult keep(const JobFile& job, const std::string& error);

  FileSystem& fs_;
  FtpClient& ftp_;
  Clock& clock_;
  Locale& locale_;
  JobStatus& status_;
  FtpConnection connection_;
  // When each recently failed version of a job file (path, size, time) was tried.
  std::map<std::tuple<std::string, std::uint64_t, std::int64_t>, std::int64_t> lastFailure_;
};

}  // namespace marvena
