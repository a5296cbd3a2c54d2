// The *.FTP job: an XML document from the export directory goes unchanged
// to the FTP server, then "ftp.log" gets a line and the dispatcher deletes
// the job file.
//
// The document is stored under a temporary name beside its final one and
// renamed once the server has confirmed it, so that the side reading the
// server never sees half a document under the final name. A server that
// refuses the rename gets the document under its final name directly; a
// cut-off file is deleted from the server whenever it can be.
#pragma once

#include <cstdint>
#include <map>
#include <random>
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
  // Store under a temporary name first, then rename ([ESSVE] TempName).
  bool temporaryName = true;
};
FtpConnection readFtpConnection(const ExportSettings& account, ProfileFile* settings);

// What the user is told to do about a failed session, in Lithuanian and in
// English for the log; both empty when there is nothing to add. `where` is
// the session that failed.
struct FtpHint {
  std::string user, log;
};
FtpHint hintFor(const FtpError& error, const FtpUpload& where);

class FtpUploadJob final : public JobHandler {
 public:
  FtpUploadJob(FileSystem& fs, FtpClient& ftp, Clock& clock, Locale& locale, JobStatus& status,
               FtpConnection connection);

  std::string extension() const override { return "FTP"; }
  JobResult run(const JobFile& job) override;

 private:
  // Stores the document under upload.fileName; on failure *error is the
  // failure to report. *note tells the log how, when it was not the usual way.
  bool send(FtpUpload& upload, std::string_view document, FtpError* error, std::string* note);
  bool sendDirectly(FtpUpload& upload, std::string_view document, FtpError* error);
  FtpClient::Progress progress();
  JobResult keep(const JobFile& job, const std::string& error, const FtpHint& hint = {});

  FileSystem& fs_;
  FtpClient& ftp_;
  Clock& clock_;
  Locale& locale_;
  JobStatus& status_;
  FtpConnection connection_;
  std::mt19937_64 random_{std::random_device{}()};
  // When each recently failed version of a job file (path, size, time) was tried.
  std::map<std::tuple<std::string, std::uint64_t, std::int64_t>, std::int64_t> lastFailure_;
};

}  // namespace marvena
