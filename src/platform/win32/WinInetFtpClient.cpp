#include "platform/win32/WinInetFtpClient.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <cctype>

#include "platform/win32/WinText.h"

namespace marvena {

bool splitFtpHost(const std::string& host, std::string* name, int* port) {
  std::string rest;
  if (!host.empty() && host[0] == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos || close == 1) return false;
    *name = host.substr(1, close - 1);
    rest = host.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
  } else {
    const std::size_t colon = host.find(':');
    *name = host.substr(0, colon);
    if (colon != std::string::npos) rest = host.substr(colon);
  }
  if (name->empty()) return false;
  for (char c : *name)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ||
          c == ':'))
      return false;
  *port = 21;
  if (rest.empty()) return true;
  const std::string digits = rest.substr(1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  *port = std::stoi(digits);
  return *port > 0 && *port < 65536;
}

namespace {

class InetHandle {
 public:
  explicit InetHandle(HINTERNET h = nullptr) : h_(h) {}
  ~InetHandle() { reset(); }
  InetHandle(const InetHandle&) = delete;
  InetHandle& operator=(const InetHandle&) = delete;
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  // Closing a file handle ends the transfer; false when that failed.
  bool reset(HINTERNET h = nullptr) {
    const bool ok = !h_ || InternetCloseHandle(h_);
    h_ = h;
    return ok;
  }

 private:
  HINTERNET h_;
};

// The last reply of the server, as WinINet kept it.
void lastReply(FtpError* e, const std::string& password) {
  DWORD code = 0, n = 0;
  InternetGetLastResponseInfoW(&code, nullptr, &n);
  std::wstring text(n + 1, L'\0');
  n = static_cast<DWORD>(text.size());
  if (!InternetGetLastResponseInfoW(&code, text.data(), &n)) return;
  text.resize(n);
  std::string reply = utf8From(text);
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
  const std::size_t lastLine = reply.rfind('\n');
  if (lastLine != std::string::npos) reply = reply.substr(lastLine + 1);
  if (!password.empty())
    for (std::size_t at; (at = reply.find(password)) != std::string::npos;)
      reply.replace(at, password.size(), "***");
  if (reply.size() >= 3 && std::isdigit(static_cast<unsigned char>(reply[0])) &&
      std::isdigit(static_cast<unsigned char>(reply[1])) &&
      std::isdigit(static_cast<unsigned char>(reply[2]))) {
    e->reply = std::stoi(reply.substr(0, 3));
    e->replyText = reply;
  }
}

bool reportFailure(FtpError* error, FtpStep step, std::string command, const std::string& what,
                   const std::string& password, bool partial = false) {
  if (!error) return false;
  const DWORD code = GetLastError();
  *error = FtpError{};
  error->step = step;
  error->command = std::move(command);
  error->partial = partial;
  if (code == ERROR_INTERNET_EXTENDED_ERROR || step != FtpStep::Connect) lastReply(error, password);
  error->message = what;
  if (!error->replyText.empty())
    error->message += ": " + error->replyText;
  else if (code != 0)
    error->message += ": " + winErrorText(code);
  return false;
}

// A logged-in session in the last of where.directories.
class Session {
 public:
  bool open(const FtpUpload& where, FtpError* error) {
    password_ = where.password;
    if (where.tls == FtpTls::Required)
      return reportFailure(error, FtpStep::Connect, "",
                           "FTP over TLS is not available in the Windows build; nothing was sent",
                           password_);
    std::string host;
    int port = 21;
    if (!splitFtpHost(where.host, &host, &port)) {
      SetLastError(0);
      return reportFailure(error, FtpStep::Connect, "", "not a host name: " + where.host,
                           password_);
    }
    internet_.reset(
        InternetOpenW(L"Marvena Spool", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet_)
      return reportFailure(error, FtpStep::Connect, "", "cannot start WinINet", password_);
    DWORD connectMs = static_cast<DWORD>(std::max(1, where.connectTimeoutSeconds)) * 1000;
    DWORD stallMs = static_cast<DWORD>(std::max(1, where.stallTimeoutSeconds)) * 1000;
    InternetSetOptionW(internet_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs,
                       sizeof connectMs);
    InternetSetOptionW(internet_.get(), INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);
    InternetSetOptionW(internet_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
    connection_.reset(
        InternetConnectW(internet_.get(), utf16From(host).c_str(), static_cast<INTERNET_PORT>(port),
                         utf16From(where.user).c_str(), utf16From(where.password).c_str(),
                         INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    if (!connection_) {
      FtpError e;
      reportFailure(&e, FtpStep::Connect, "", "cannot log in to " + where.host, password_);
      // A refusal of the password is a login failure; no reply at all is a connection failure.
      if (e.reply == 530 || e.reply == 331 || e.reply == 332) {
        e.step = FtpStep::Login;
        e.command = "PASS";
      }
      if (error) *error = e;
      return false;
    }
    for (const std::string& dir : where.directories)
      if (!FtpSetCurrentDirectoryW(connection_.get(), utf16From(dir).c_str()))
        return reportFailure(error, FtpStep::ChangeDirectory, "CWD " + dir,
                             "cannot change to " + dir, password_);
    return true;
  }
  HINTERNET get() const { return connection_.get(); }
  const std::string& password() const { return password_; }

 private:
  std::string password_;
  InetHandle internet_;
  InetHandle connection_;
};

bool renameIn(Session& s, const std::string& from, const std::string& to, FtpError* error) {
  if (FtpRenameFileW(s.get(), utf16From(from).c_str(), utf16From(to).c_str())) return true;
  return reportFailure(error, FtpStep::Rename, "RNFR " + from,
                       "cannot rename " + from + " to " + to, s.password());
}

}  // namespace

bool WinInetFtpClient::upload(const FtpUpload& upload, std::string_view bytes,
                              const Progress& progress, FtpError* error) {
  Session s;
  if (!s.open(upload, error)) return false;
  const std::string stor = "STOR " + upload.fileName;
  InetHandle file(FtpOpenFileW(s.get(), utf16From(upload.fileName).c_str(), GENERIC_WRITE,
                               FTP_TRANSFER_TYPE_BINARY, 0));
  if (!file)
    return reportFailure(error, FtpStep::Store, stor, "cannot store " + upload.fileName,
                         s.password());
  std::uint64_t sent = 0;
  const std::uint64_t total = bytes.size();
  while (sent < total) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(total - sent, 64 * 1024));
    DWORD written = 0;
    if (!InternetWriteFile(file.get(), bytes.data() + sent, chunk, &written) || written == 0)
      return reportFailure(error, FtpStep::Store, stor,
                           "upload of " + upload.fileName + " broke off", s.password(), true);
    sent += written;
    if (progress && !progress(sent, total)) {
      SetLastError(0);
      return reportFailure(error, FtpStep::Store, stor,
                           "upload of " + upload.fileName + " cancelled", s.password(), true);
    }
  }
  if (!file.reset())
    return reportFailure(error, FtpStep::Store, stor,
                         "the server did not confirm " + upload.fileName, s.password(), true);
  // WinINet reads the transfer's final reply on close without telling a
  // refusal apart; the listing shows whether the whole file arrived.
  WIN32_FIND_DATAW found{};
  HINTERNET find = FtpFindFirstFileW(s.get(), utf16From(upload.fileName).c_str(), &found,
                                     INTERNET_FLAG_RELOAD, 0);
  if (find) {
    InternetCloseHandle(find);
    const std::uint64_t size =
        (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    if (size != total) {
      SetLastError(0);
      return reportFailure(error, FtpStep::Store, stor,
                           "the server holds " + std::to_string(size) + " of " +
                               std::to_string(total) + " bytes of " + upload.fileName,
                           s.password(), true);
    }
  }
  if (!upload.renameTo.empty()) return renameIn(s, upload.fileName, upload.renameTo, error);
  return true;
}

bool WinInetFtpClient::rename(const FtpUpload& where, const std::string& from,
                              const std::string& to, FtpError* error) {
  Session s;
  return s.open(where, error) && renameIn(s, from, to, error);
}

bool WinInetFtpClient::remove(const FtpUpload& where, const std::string& name, FtpError* error) {
  Session s;
  if (!s.open(where, error)) return false;
  if (FtpDeleteFileW(s.get(), utf16From(name).c_str())) return true;
  return reportFailure(error, FtpStep::Delete, "DELE " + name, "cannot delete " + name,
                       s.password());
}

}  // namespace marvena
