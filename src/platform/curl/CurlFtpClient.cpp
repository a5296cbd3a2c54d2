#include "platform/curl/CurlFtpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace marvena {

namespace {

struct Source {
  std::string_view bytes;
  std::size_t offset = 0;
  const FtpClient::Progress* progress = nullptr;
};

std::size_t ReadChunk(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* source = static_cast<Source*>(user);
  const std::size_t n = std::min(size * count, source->bytes.size() - source->offset);
  std::memcpy(buffer, source->bytes.data() + source->offset, n);
  source->offset += n;
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto* source = static_cast<Source*>(user);
  if (!source->progress || !*source->progress) return 0;
  return (*source->progress)(static_cast<std::uint64_t>(sent), source->bytes.size()) ? 0 : 1;
}

bool PlainHost(const std::string& host) {
  if (host.empty()) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
  });
}

std::string Escape(CURL* curl, const std::string& part) {
  char* escaped = curl_easy_escape(curl, part.data(), static_cast<int>(part.size()));
  if (!escaped) return {};
  std::string out(escaped);
  curl_free(escaped);
  return out;
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

std::string HideSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
    text.replace(at, secret.size(), "***");
  return text;
}

std::string FtpUploadUrl(const FtpUpload& upload) {
  std::string host = upload.host;
  if (host.rfind("ftp://", 0) == 0) host.erase(0, 6);
  while (!host.empty() && host.back() == '/') host.pop_back();
  if (!PlainHost(host)) return {};
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return {};
  std::string url = "ftp://" + host;
  for (const std::string& dir : upload.directories) url += "/" + Escape(curl.get(), dir);
  return url + "/" + Escape(curl.get(), upload.fileName);
}

CurlFtpClient::CurlFtpClient() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlFtpClient::~CurlFtpClient() {
  curl_global_cleanup();
}

bool CurlFtpClient::upload(const FtpUpload& upload, std::string_view bytes,
                           const Progress& progress, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = HideSecret(text, upload.password);
    return false;
  };
  const std::string url = FtpUploadUrl(upload);
  if (url.empty()) return fail("not a usable FTP host: \"" + upload.host + "\"");
  std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
  if (!handle) return fail("cannot start a transfer");
  CURL* curl = handle.get();

  Source source{bytes, 0, &progress};
  char errorBuffer[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(curl, CURLOPT_USERNAME, upload.user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, upload.password.c_str());
  // One CWD per directory, and no directory is ever made: a server without
  // "xml" is a configuration error the user must see.
  curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_MULTICWD));
  curl_easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS,
                   static_cast<long>(CURLFTP_CREATE_DIR_NONE));
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_APPEND, 0L);
  curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadChunk);
  curl_easy_setopt(curl, CURLOPT_READDATA, &source);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &source);

  // Every wait has an end: reaching the server and logging in, each reply
  // of the server, and a data connection that stops moving.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(upload.connectTimeoutSeconds));
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   static_cast<long>(upload.stallTimeoutSeconds));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(upload.stallTimeoutSeconds));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);

  if (upload.tls == FtpTls::Required) {
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, upload.tlsVerifyPeer ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, upload.tlsVerifyPeer ? 2L : 0L);
    if (!upload.tlsCaFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, upload.tlsCaFile.c_str());
  } else {
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
  }

  const CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_OK) return true;
  long reply = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
  std::string text = curl_easy_strerror(code);
  if (errorBuffer[0] && text != errorBuffer) text += ": " + std::string(errorBuffer);
  if (reply > 0) text += " (last server reply " + std::to_string(reply) + ")";
  return fail(text);
}

}  // namespace marvena
