#include "exchange/FtpUploadJob.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "exchange/UploadTarget.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "settings/ProfileFile.h"
#include "spool/JobStatus.h"

namespace marvena {

namespace {

int secondsSetting(ProfileFile* settings, const char* key, int def, int min, int max) {
  if (!settings) return def;
  return std::clamp(settings->readInteger("ESSVE", key, def), min, max);
}

bool hasPrefix(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string lowerCased(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// A refused login that says it wants an encrypted connection.
bool serverDemandsTls(const FtpError& error) {
  if (error.reply == 534) return true;  // refused by the server's security policy
  const std::string text = lowerCased(error.replyText);
  for (const char* word : {"tls", "ssl", "encrypt", "secure"})
    if (text.find(word) != std::string::npos) return true;
  return false;
}

// "xml/sale" for "CWD sale" when the session went into xml, then sale.
std::string directoryOf(const std::string& command, const std::vector<std::string>& directories) {
  const std::string name = command.size() > 4 ? command.substr(4) : std::string();
  std::string path;
  for (const std::string& dir : directories) {
    path += (path.empty() ? "" : "/") + dir;
    if (dir == name) return path;
  }
  return name;
}

}  // namespace

FtpHint hintFor(const FtpError& error, const FtpUpload& where) {
  if (error.reply < 400) return {};
  if (error.step == FtpStep::ChangeDirectory) {
    const std::string dir = directoryOf(error.command, where.directories);
    // "FTP serveryje nėra katalogo ... arba jis neprieinamas (serverio atsakymas ...)."
    return {"FTP serveryje n\xC4\x97ra katalogo " + dir +
                " arba jis neprieinamas (serverio atsakymas " + std::to_string(error.reply) + ").",
            "the directory " + dir + " is missing on the server or not accessible"};
  }
  if (error.step == FtpStep::Store && !error.partial && hasPrefix(error.command, "STOR .")) {
    // "Serveris atsisakė įrašyti failą laikinu vardu; jei serveris nepriima
    // tokių vardų, nustatykite [ESSVE] TempName=0."
    return {
        "Serveris atsisak\xC4\x97 \xC4\xAFra\xC5\xA1yti fail\xC4\x85 laikinu vardu; jei "
        "serveris nepriima toki\xC5\xB3 vard\xC5\xB3, nustatykite [ESSVE] TempName=0.",
        "the server refused the temporary name; set [ESSVE] TempName=0 if it takes no such "
        "names"};
  }
  if (error.step != FtpStep::Login) return {};
  if (where.tls == FtpTls::Off && serverDemandsTls(error)) {
    // "Serveris reikalauja šifruoto ryšio: nustatykite [ESSVE] TLS=1."
    return {"Serveris reikalauja \xC5\xA1ifruoto ry\xC5\xA1io: nustatykite [ESSVE] TLS=1.",
            "the server demands TLS: set [ESSVE] TLS=1"};
  }
  // "Serveris nepriėmė prisijungimo: patikrinkite [ESSVE] user ir password"
  std::string user =
      "Serveris nepri\xC4\x97m\xC4\x97 prisijungimo: patikrinkite [ESSVE] user ir password";
  std::string log = "login refused: check [ESSVE] user and password";
  if (where.tls == FtpTls::Off) {
    // "; jei serveris reikalauja šifruoto ryšio, nustatykite [ESSVE] TLS=1"
    user += "; jei serveris reikalauja \xC5\xA1ifruoto ry\xC5\xA1io, nustatykite [ESSVE] TLS=1";
    log += ", or set [ESSVE] TLS=1 if the server demands TLS";
  }
  return {user + ".", log};
}

FtpConnection readFtpConnection(const ExportSettings& account, ProfileFile* settings) {
  FtpConnection c;
  c.host = account.ftp;
  c.user = account.user;
  c.password = account.password;
  c.connectTimeoutSeconds =
      secondsSetting(settings, "ConnectTimeout", c.connectTimeoutSeconds, 1, 600);
  c.stallTimeoutSeconds = secondsSetting(settings, "StallTimeout", c.stallTimeoutSeconds, 1, 3600);
  c.retrySeconds = secondsSetting(settings, "RetryDelay", c.retrySeconds, 0, 86400);
  if (settings) {
    c.temporaryName = settings->readInteger("ESSVE", "TempName", 1) != 0;
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

  const UploadTarget target = decideUploadTarget(uploadBaseName(job.name), *document);
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
  const std::string where =
      "xml/" + (target.directory.empty() ? "" : target.directory + "/") + upload.fileName;
  FtpError failure;
  std::string note;
  if (!send(upload, *document, &failure, &note)) {
    lastFailure_[version] = clock_.monotonicMs();
    return keep(job, "upload as " + where + " failed: " + failure.message,
                hintFor(failure, upload));
  }
  lastFailure_.erase(version);

  // The document is on the server now; the dispatcher deletes the job file
  // (or, where it cannot, remembers it as done).
  std::string ignored;
  fs_.appendFile(job.directory() + "/ftp.log",
                 uploadLogLine(target.stem, clock_.localNow(), locale_) + "\r\n", &ignored);
  return JobResult::done("uploaded as " + where + note);
}

bool FtpUploadJob::send(FtpUpload& upload, std::string_view document, FtpError* error,
                        std::string* note) {
  if (!connection_.temporaryName) return sendDirectly(upload, document, error);
  const std::string finalName = upload.fileName;
  const std::string temporary = temporaryUploadName(finalName, random_());
  upload.fileName = temporary;
  upload.renameTo = finalName;
  FtpError failure;
  const bool stored = ftp_.upload(upload, document, progress(), &failure);
  upload.fileName = finalName;
  upload.renameTo.clear();
  if (stored) return true;

  FtpError ignored;
  if (failure.step != FtpStep::Rename || failure.reply < 400) {
    // Whatever reached the server is of no use under its temporary name.
    if (failure.partial || failure.step == FtpStep::Rename)
      ftp_.remove(upload, temporary, &ignored);
    *error = std::move(failure);
    return false;
  }
  // The document is complete on the server, under its temporary name, and
  // the server refused to rename it.
  const std::string refusal = failure.message;
  if (hasPrefix(failure.command, "RNTO")) {
    // Some servers rename only onto a name that is free.
    ftp_.remove(upload, finalName, &ignored);
    if (ftp_.rename(upload, temporary, finalName, &failure)) {
      *note = "; the old file was deleted first, as " + refusal;
      return true;
    }
  }
  ftp_.remove(upload, temporary, &ignored);
  *note = "; stored directly, as " + refusal;
  return sendDirectly(upload, document, error);
}

bool FtpUploadJob::sendDirectly(FtpUpload& upload, std::string_view document, FtpError* error) {
  if (ftp_.upload(upload, document, progress(), error)) return true;
  // A cut-off file under the final name would pass for the document.
  FtpError ignored;
  if (error->partial) ftp_.remove(upload, upload.fileName, &ignored);
  return false;
}

FtpClient::Progress FtpUploadJob::progress() {
  return [this](std::uint64_t sent, std::uint64_t) {
    status_.jobBytesDone = static_cast<std::int64_t>(sent);
    return true;
  };
}

JobResult FtpUploadJob::keep(const JobFile& job, const std::string& error, const FtpHint& hint) {
  // "Nepavyko išsiųsti failo ... į FTP serverį ..."
  return JobResult::kept("Nepavyko i\xC5\xA1si\xC5\xB3sti failo " + job.name +
                             " \xC4\xAF FTP server\xC4\xAF " + connection_.host + ": " +
                             (hint.user.empty() ? error : hint.user + " (" + error + ")"),
                         "FTP server " + connection_.host + ": " + error +
                             (hint.log.empty() ? "" : " (" + hint.log + ")"));
}

}  // namespace marvena
