#include "platform/curl/CurlFtpClient.h"
#include "text/Ascii.h"

#include <curl/curl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>

namespace marvena {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Bytes a socket holds that the peer has not acknowledged yet; -1 where the
// system cannot tell.
long unacknowledgedBytes(int fd) {
#ifdef TIOCOUTQ
  int queued = 0;
  if (::ioctl(fd, TIOCOUTQ, &queued) == 0) return queued;
#else
  (void)fd;
#endif
  return -1;
}

std::string upperVerb(std::string_view line) {
  return asciiUpperCopy(line.substr(0, line.find(' ')));
}

FtpStep stepOf(const std::string& command) {
  const std::string verb = upperVerb(command);
  if (verb == "USER" || verb == "PASS" || verb == "ACCT") return FtpStep::Login;
  if (verb == "CWD") return FtpStep::ChangeDirectory;
  if (verb == "RNFR" || verb == "RNTO") return FtpStep::Rename;
  if (verb == "DELE") return FtpStep::Delete;
  if (verb == "EPSV" || verb == "PASV" || verb == "TYPE" || verb == "STOR") return FtpStep::Store;
  return FtpStep::Connect;
}

// One session as libcurl's callbacks see it: the commands and replies, the
// data connections, and the watch over connecting and stalling.
struct Session {
  struct Exchange {
    std::string command;  // empty for the greeting; "PASS" without its argument
    int reply = 0;
    std::string replyText;
  };

  // What is uploaded.
  std::string_view bytes;
  std::size_t offset = 0;
  const FtpClient::Progress* progress = nullptr;

  // Limits and the watch.
  SteadyClock::duration connectLimit{}, stallLimit{};
  SteadyClock::time_point start = SteadyClock::now(), lastActivity = start;
  curl_off_t lastSent = 0;
  bool loggedIn = false;
  bool connectTimedOut = false, stalled = false, cancelled = false;

  // What was said.
  std::vector<Exchange> exchanges;
  bool quitting = false;
  bool storSent = false, storAnswered = false, storRefused = false;

  // Data connections: open ones, and those libcurl is done with while the
  // server still reads what was handed to them.
  bool passiveSent = false;
  std::vector<int> dataSockets, draining;
  std::map<int, long> unacknowledged;

  bool aborted() const { return connectTimedOut || stalled || cancelled; }
  void touch() { lastActivity = SteadyClock::now(); }

  void sent(std::string_view line) {
    const std::string verb = upperVerb(line);
    if (verb == "QUIT" || verb == "ABOR") {
      quitting = true;
      return;
    }
    exchanges.push_back({verb == "PASS" ? std::string("PASS") : std::string(line), 0, {}});
    if (verb == "EPSV" || verb == "PASV") passiveSent = true;
    if (verb == "STOR") storSent = true;
    touch();
  }

  void received(std::string_view line) {
    touch();
    if (quitting) return;
    // Only the last line of a reply ("123 text") counts; "123-" opens a
    // reply of several lines.
    if (line.size() < 3 ||
        !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
      return;
    if (line.size() > 3 && line[3] != ' ') return;
    if (exchanges.empty()) exchanges.push_back({});  // the greeting
    Exchange& e = exchanges.back();
    e.reply = std::stoi(std::string(line.substr(0, 3)));
    e.replyText = std::string(line);
    const std::string verb = upperVerb(e.command);
    if (verb == "STOR") {
      if (!storAnswered && e.reply >= 400) storRefused = true;
      storAnswered = true;
    }
    if ((verb == "USER" || verb == "PASS" || verb == "ACCT") && e.reply >= 200 && e.reply < 300)
      loggedIn = true;
  }

  // The exchange the session broke off at: the last one before QUIT.
  const Exchange* last() const { return exchanges.empty() ? nullptr : &exchanges.back(); }

  // Called by libcurl at least once a second while it waits.
  bool watch(curl_off_t sent) {
    const SteadyClock::time_point now = SteadyClock::now();
    if (sent > lastSent) {
      lastSent = sent;
      lastActivity = now;
    }
    for (const std::vector<int>* sockets : {&dataSockets, &draining}) {
      for (int fd : *sockets) {
        const long queued = unacknowledgedBytes(fd);
        auto [it, fresh] = unacknowledged.try_emplace(fd, queued);
        if (!fresh && queued < it->second) lastActivity = now;
        it->second = queued;
      }
    }
    if (!loggedIn) {
      // libcurl's own connect time-out normally ends this first.
      if (now - start > connectLimit + std::chrono::seconds(1)) connectTimedOut = true;
    } else if (now - lastActivity >= stallLimit) {
      stalled = true;
    }
    if (!aborted() && progress && *progress &&
        !(*progress)(static_cast<std::uint64_t>(sent), bytes.size()))
      cancelled = true;
    return !aborted();
  }

  // libcurl is done with a socket.
  int close(int fd) {
    const auto it = std::find(dataSockets.begin(), dataSockets.end(), fd);
    if (it != dataSockets.end()) {
      dataSockets.erase(it);
      if (!aborted() && storSent && offset == bytes.size()) {
        // Everything is handed over: the end of the data tells the server the
        // file is complete. The socket stays open for the watch until the
        // server has confirmed the file.
        ::shutdown(fd, SHUT_WR);
        draining.push_back(fd);
        return 0;
      }
      reset(fd);
      unacknowledged.erase(fd);  // the number may come back for another socket
    }
    return ::close(fd);
  }

  // A cut-off data connection ends with a reset, so that the server does not
  // take what it received for the whole file.
  static void reset(int fd) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }

  void closeDraining(bool failed) {
    for (int fd : draining) {
      if (failed) reset(fd);
      ::close(fd);
    }
    draining.clear();
  }
};

std::size_t readUploadChunk(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* session = static_cast<Session*>(user);
  const std::size_t n = std::min(size * count, session->bytes.size() - session->offset);
  std::memcpy(buffer, session->bytes.data() + session->offset, n);
  session->offset += n;
  return n;
}

int onCurlProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  return static_cast<Session*>(user)->watch(sent) ? 0 : 1;
}

int onDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
  auto* session = static_cast<Session*>(user);
  std::string_view text(data, size);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (type == CURLINFO_HEADER_OUT)
      session->sent(line);
    else
      session->received(line);
  }
  return 0;
}

curl_socket_t onOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  auto* session = static_cast<Session*>(user);
  int type = address->socktype;
#ifdef SOCK_CLOEXEC
  type |= SOCK_CLOEXEC;
#endif
  const int fd = ::socket(address->family, type, address->protocol);
  if (fd < 0) return CURL_SOCKET_BAD;
  if (session->passiveSent) session->dataSockets.push_back(fd);
  return fd;
}

int onCloseSocket(void* user, curl_socket_t fd) {
  return static_cast<Session*>(user)->close(fd);
}

bool plainHost(const std::string& host) {
  if (host.empty()) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
  });
}

// A name that can go into a command line as it is.
bool plainName(const std::string& name) {
  return !name.empty() && name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::string urlEscape(CURL* curl, const std::string& part) {
  char* escaped = curl_easy_escape(curl, part.data(), static_cast<int>(part.size()));
  if (!escaped) return {};
  std::string out(escaped);
  curl_free(escaped);
  return out;
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// "ftp://host/dir1/dir2/"; empty when the host is unusable.
std::string directoryUrl(CURL* curl, const FtpUpload& where) {
  std::string host = where.host;
  if (host.rfind("ftp://", 0) == 0) host.erase(0, 6);
  while (!host.empty() && host.back() == '/') host.pop_back();
  if (!plainHost(host)) return {};
  std::string url = "ftp://" + host + "/";
  for (const std::string& dir : where.directories) url += urlEscape(curl, dir) + "/";
  return url;
}

std::string secondsText(SteadyClock::duration d) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(d).count()) + " s";
}

// One session: the given URL (a file to store, or a directory to work in)
// and the commands to send after the transfer, if any.
bool perform(const FtpUpload& where, const std::string& url, bool store, std::string_view data,
             const FtpClient::Progress* progress, const std::vector<std::string>& afterwards,
             FtpError* error) {
  FtpError e;
  auto fail = [&](const std::string& text) {
    e.message = hideSecret(text, where.password);
    e.replyText = hideSecret(e.replyText, where.password);
    if (error) *error = std::move(e);
    return false;
  };
  if (url.empty()) return fail("not a usable FTP host: \"" + where.host + "\"");

  Session session;  // outlives the handle: libcurl closes its sockets through it
  session.bytes = data;
  session.progress = progress;
  session.connectLimit = std::chrono::seconds(where.connectTimeoutSeconds);
  session.stallLimit = std::chrono::seconds(where.stallTimeoutSeconds);
  std::unique_ptr<curl_slist, ListDeleter> commands;
  for (const std::string& command : afterwards) {
    curl_slist* grown = curl_slist_append(commands.get(), command.c_str());
    if (!grown) return fail("out of memory");
    commands.release();
    commands.reset(grown);
  }

  CURLcode code = CURLE_FAILED_INIT;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  {
    std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (!handle) return fail("cannot start a transfer");
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, where.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, where.password.c_str());
    // One CWD per directory, and no directory is ever made: a server without
    // "xml" is a configuration error the user must see.
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_MULTICWD));
    curl_easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    if (store) {
      curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
      curl_easy_setopt(curl, CURLOPT_APPEND, 0L);
      curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUploadChunk);
      curl_easy_setopt(curl, CURLOPT_READDATA, &session);
      curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
    } else {
      curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    }
    if (commands) curl_easy_setopt(curl, CURLOPT_POSTQUOTE, commands.get());

    // The watch: called at least once a second whatever libcurl waits for.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onCurlProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &session);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &session);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &session);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, onCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, &session);

    // Reaching the server and logging in have their own limit. libcurl's
    // wait for a reply would count the time a slow server takes to read
    // the data before its final reply, so it is only a last resort here.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(where.connectTimeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, 86400L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);

    if (where.tls == FtpTls::Required) {
      curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, where.tlsVerifyPeer ? 1L : 0L);
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, where.tlsVerifyPeer ? 2L : 0L);
      if (!where.tlsCaFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, where.tlsCaFile.c_str());
    } else {
      curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
    }
    code = curl_easy_perform(curl);
  }
  session.closeDraining(code != CURLE_OK);
  if (code == CURLE_OK) return true;

  const Session::Exchange* last = session.last();
  if (last) {
    e.step = stepOf(last->command);
    e.command = last->command;
    e.reply = last->reply;
    e.replyText = last->replyText;
  }
  e.partial = session.storSent && !session.storRefused;

  std::string text;
  if (session.stalled) {
    text = "no data moved and no reply from the server for " + secondsText(session.stallLimit);
  } else if (session.connectTimedOut) {
    text = "not connected and logged in within " + secondsText(session.connectLimit);
  } else if (session.cancelled) {
    text = "cancelled";
  } else if (last && last->reply >= 400) {
    return fail("the server refused " + (last->command.empty() ? "the connection" : last->command) +
                ": " + last->replyText);
  } else {
    text = curl_easy_strerror(code);
    if (errorBuffer[0] && text != errorBuffer) text += ": " + std::string(errorBuffer);
  }
  if (last && !last->command.empty()) {
    text += last->reply ? " (after " + last->command + ": " + last->replyText + ")"
                        : " (no reply to " + last->command + ")";
  } else if (last) {
    text += " (after the greeting: " + last->replyText + ")";
  }
  return fail(text);
}

}  // namespace

std::string hideSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
    text.replace(at, secret.size(), "***");
  return text;
}

std::string ftpUploadUrl(const FtpUpload& upload) {
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return {};
  const std::string dir = directoryUrl(curl.get(), upload);
  return dir.empty() ? dir : dir + urlEscape(curl.get(), upload.fileName);
}

CurlFtpClient::CurlFtpClient() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlFtpClient::~CurlFtpClient() {
  curl_global_cleanup();
}

bool CurlFtpClient::upload(const FtpUpload& upload, std::string_view bytes,
                           const Progress& progress, FtpError* error) {
  std::vector<std::string> afterwards;
  if (!upload.renameTo.empty()) {
    if (!plainName(upload.fileName) || !plainName(upload.renameTo)) {
      if (error) *error = {FtpStep::Rename, {}, 0, {}, false, "not a usable file name"};
      return false;
    }
    afterwards = {"RNFR " + upload.fileName, "RNTO " + upload.renameTo};
  }
  return perform(upload, ftpUploadUrl(upload), true, bytes, &progress, afterwards, error);
}

bool CurlFtpClient::rename(const FtpUpload& where, const std::string& from, const std::string& to,
                           FtpError* error) {
  if (!plainName(from) || !plainName(to)) {
    if (error) *error = {FtpStep::Rename, {}, 0, {}, false, "not a usable file name"};
    return false;
  }
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  const std::string url = curl ? directoryUrl(curl.get(), where) : std::string();
  return perform(where, url, false, {}, nullptr, {"RNFR " + from, "RNTO " + to}, error);
}

bool CurlFtpClient::remove(const FtpUpload& where, const std::string& name, FtpError* error) {
  if (!plainName(name)) {
    if (error) *error = {FtpStep::Delete, {}, 0, {}, false, "not a usable file name"};
    return false;
  }
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  const std::string url = curl ? directoryUrl(curl.get(), where) : std::string();
  return perform(where, url, false, {}, nullptr, {"DELE " + name}, error);
}

}  // namespace marvena
