#include "platform/curl/CurlHttpClient.h"

#include <curl/curl.h>

#include <memory>

#include "text/Ascii.h"

namespace marvena {

namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct Transfer {
  const HttpClient::Sink* sink = nullptr;
  const HttpClient::Progress* progress = nullptr;
  bool sinkFailed = false;
  bool cancelled = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  if (!t->sink || !*t->sink) return n;
  if (!(*t->sink)(std::string_view(data, n))) {
    t->sinkFailed = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  return n;
}

int onCurlProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  if (t->progress && *t->progress && !(*t->progress)(now, total > 0 ? total : -1)) {
    t->cancelled = true;
    return 1;
  }
  return 0;
}

bool isHttps(const std::string& url) {
  return url.size() >= 8 && equalsIgnoringCase(std::string_view(url).substr(0, 8), "https://");
}

CurlHandle prepare(const std::string& url, const HttpOptions& options, Transfer* transfer) {
  CurlHandle curl(curl_easy_init());
  if (!curl) return curl;
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, isHttps(url) ? "https" : "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
  curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, nullptr);  // the bytes as stored
  // Loopback never goes through a proxy named in the environment.
  curl_easy_setopt(c, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeoutSeconds));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stallTimeoutSeconds));
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.caFile.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, transfer);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onCurlProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  return curl;
}

// Runs the request; false and *error unless the server answered 2xx.
bool perform(CURL* c, const std::string& url, const Transfer& transfer, HttpError* error) {
  char detail[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (rc == CURLE_OK && status >= 200 && status < 300) return true;
  HttpError e;
  e.status = rc == CURLE_OK || rc == CURLE_HTTP_RETURNED_ERROR ? static_cast<int>(status) : 0;
  e.timedOut = rc == CURLE_OPERATION_TIMEDOUT;
  e.cancelled = transfer.cancelled;
  e.sinkFailed = transfer.sinkFailed;
  if (rc == CURLE_OK)
    e.message = "the server answered " + std::to_string(status);
  else
    e.message = std::string(curl_easy_strerror(rc)) + (detail[0] ? std::string(": ") + detail : "");
  e.message += " (" + url + ")";
  if (error) *error = e;
  return false;
}

}  // namespace

CurlHttpClient::CurlHttpClient() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlHttpClient::~CurlHttpClient() {
  curl_global_cleanup();
}

bool CurlHttpClient::head(const std::string& url, const HttpOptions& options, HttpHead* out,
                          HttpError* error) {
  Transfer transfer;
  CurlHandle curl = prepare(url, options, &transfer);
  if (!curl) {
    if (error) error->message = "libcurl cannot start a transfer";
    return false;
  }
  curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_FILETIME, 1L);
  if (!perform(curl.get(), url, transfer, error)) return false;
  curl_off_t time = -1, length = -1;
  curl_easy_getinfo(curl.get(), CURLINFO_FILETIME_T, &time);
  curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  out->lastModified = time;
  out->contentLength = length;
  return true;
}

bool CurlHttpClient::get(const std::string& url, const HttpOptions& options, const Sink& sink,
                         const Progress& progress, HttpError* error) {
  Transfer transfer;
  transfer.sink = &sink;
  transfer.progress = &progress;
  CurlHandle curl = prepare(url, options, &transfer);
  if (!curl) {
    if (error) error->message = "libcurl cannot start a transfer";
    return false;
  }
  return perform(curl.get(), url, transfer, error);
}

}  // namespace marvena
