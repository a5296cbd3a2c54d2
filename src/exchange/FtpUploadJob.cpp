#include "exchange/FtpUploadJob.h"

#include <algorithm>

#include "exchange/UploadTarget.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "settings/ProfileFile.h"
#include "spool/JobStatus.h"

namespace marvena {

namespace {

int Seconds(ProfileFile* settings, const char* key, int def, int min, int max) {
  if (!settings) return def;
  return std::clamp(settings->readInteger("ESSVE", key, def), min, max);
}

}  // namespace

FtpConnection ReadFtpConnection(const ExportSettings& account, ProfileFile* settings) {
  FtpConnection c;
  c.host = account.ftp;
  c.user = account.user;
  c.password = account.password;
  c.connectTimeoutSeconds = Seconds(settings, "ConnectTimeout", c.connectTimeoutSeconds, 1, 600);
  c.stallTimeoutSeconds = Seconds(settings, "StallTimeout", c.stallTimeoutSeconds, 1, 3600);
  c.retrySeconds = Seconds(settings, "RetryDelay", c.retrySeconds, 0, 86400);
  if (settings) {
    c.tls = settings->readInteger("ESSVE", "TLS", 0) != 0 ? FtpTls::Required : FtpTls::Off;
    c.tlsVerifyPeer = settings->readInteger("ESSVE", "TLSVerify", 1) != 0;
    c.tlsCaFile = settings->readString("ESSVE", "TLSCAFile", "");
  }
  return c;
}

FtpUploadJob::FtpUploadJob(FileSystem& fs, FtpClient& ftp, Clock& clock, Locale& locale,
                           JobStatus& status, FtpConnection connection)
    : fs_(fs),
      ftp_(ftp),
      clock_(clock),
      locale_(locale),
      status_(status),
      connection_(std::move(connection)) {}

JobResult FtpUploadJob::run(const JobFile& job) {
  // A server that is down or stalls costs up to a time-out per try, and
  // every other job waits meanwhile: a failed file waits before it is
  // tried again.
  const std::int64_t now = clock_.monotonicMs();
  std::erase_if(lastFailure_, [&](const auto& failure) {
    return now - failure.second >= connection_.retrySeconds * 1000LL;
  });
  const auto version = std::make_tuple(job.droppedPath(), job.entry.size, job.entry.mtimeNs);
  if (lastFailure_.count(version)) return keep(job, "waiting before the next try");

  std::string error;
  const std::optional<std::string> document = fs_.readFile(job.path, &error);
  if (!document) return JobResult::notReady(error);

  const UploadTarget target = DecideUploadTarget(BaseName(job.name), *document);
  FtpUpload upload;
  upload.host = connection_.host;
  upload.user = connection_.user;
  upload.password = connection_.password;
  upload.directories.push_back("xml");
  if (!target.directory.empty()) upload.directories.push_back(target.directory);
  upload.fileName = target.fileName();
  upload.connectTimeoutSeconds = connection_.connectTimeoutSeconds;
  upload.stallTimeoutSeconds = connection_.stallTimeoutSeconds;
  upload.tls = connection_.tls;
  upload.tlsVerifyPeer = connection_.tlsVerifyPeer;
  upload.tlsCaFile = connection_.tlsCaFile;

  status_.jobBytesTotal = static_cast<std::int64_t>(document->size());
  const FtpClient::Progress progress = [this](std::uint64_t sent, std::uint64_t) {
    status_.jobBytesDone = static_cast<std::int64_t>(sent);
    return true;
  };
  const std::string where =
      "xml/" + (target.directory.empty() ? "" : target.directory + "/") + upload.fileName;
  if (!ftp_.upload(upload, *document, progress, &error)) {
    lastFailure_[version] = clock_.monotonicMs();
    return keep(job, "upload as " + where + " failed: " + error);
  }
  lastFailure_.erase(version);

  // The document is on the server now; the dispatcher deletes the job file
  // (or, where it cannot, remembers it as done).
  std::string ignored;
  fs_.appendFile(job.directory() + "/ftp.log",
                 UploadLogLine(target.stem, clock_.localNow(), locale_) + "\r\n", &ignored);
  return JobResult::done("uploaded as " + where);
}

JobResult FtpUploadJob::keep(const JobFile& job, const std::string& error) {
  // "Nepavyko išsiųsti failo ... į FTP serverį ..."
  return JobResult::kept("Nepavyko i\xC5\xA1si\xC5\xB3sti failo " + job.name +
                             " \xC4\xAF FTP server\xC4\xAF " + connection_.host + ": " + error,
                         "FTP server " + connection_.host + ": " + error);
}

}  // namespace marvena
