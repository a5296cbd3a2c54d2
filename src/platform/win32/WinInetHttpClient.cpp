#include "platform/win32/WinInetHttpClient.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/win32/WinText.h"
#include "text/Ascii.h"

namespace marvena {

namespace {

constexpr int kMaxRedirects = 5;
constexpr DWORD kPiece = 64 * 1024;
// What the maker's server has always seen from this tool.
constexpr const wchar_t* kUserAgent = L"Mozilla/3.0 (compatible; Indy Library)";

enum class Scheme { Other, Http, Https };

Scheme schemeOf(std::string_view url) {
  if (url.size() > 8 && equalsIgnoringCase(url.substr(0, 8), "https://")) return Scheme::Https;
  if (url.size() > 7 && equalsIgnoringCase(url.substr(0, 7), "http://")) return Scheme::Http;
  return Scheme::Other;
}

class InetHandle {
 public:
  InetHandle() = default;
  ~InetHandle() { reset(); }
  InetHandle(const InetHandle&) = delete;
  InetHandle& operator=(const InetHandle&) = delete;
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset(HINTERNET h = nullptr) {
    if (h_) InternetCloseHandle(h_);
    h_ = h;
  }

 private:
  HINTERNET h_ = nullptr;
};

std::string inetErrorText(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_TIMEOUT:
    case WSAETIMEDOUT:
      return "the server did not answer in time";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "the server's name could not be resolved";
    case ERROR_INTERNET_CANNOT_CONNECT:
      return "could not connect to the server";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
      return "the connection was broken off";
    case ERROR_INTERNET_INVALID_CA:
      return "the server's certificate is not issued by a trusted authority";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "the server's certificate is made out to another name";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return "the server's certificate has expired or is not valid yet";
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return "the server's certificate has been revoked";
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return "the server's certificate is not valid";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return "no secure connection could be made";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "the server's answer could not be understood";
    default:
      break;
  }
  // WinINet's own texts live in its module, not in the system's table.
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleW(L"wininet.dll"), code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string out;
  if (n > 0 && text) out = utf8From(std::wstring_view(text, n));
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  return out.empty() ? "WinINet error " + std::to_string(code) : out;
}

bool reportFailure(HttpError* error, const std::string& url, const std::string& what,
                   HttpError e = {}) {
  e.message = what + " (" + url + ")";
  if (error) *error = e;
  return false;
}

// The last error of a WinINet call. Some WinINet versions (Wine's) pass the
// socket's time-out on as it is.
bool failLast(HttpError* error, const std::string& url, const std::string& what,
              bool stalled = false) {
  const DWORD code = GetLastError();
  HttpError e;
  e.timedOut = stalled || code == ERROR_INTERNET_TIMEOUT || code == WSAETIMEDOUT;
  return reportFailure(error, url, what + ": " + inetErrorText(code), e);
}

std::optional<std::wstring> queryText(HINTERNET request, DWORD what) {
  DWORD bytes = 0;
  if (HttpQueryInfoW(request, what, nullptr, &bytes, nullptr) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
    return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, what, text.data(), &bytes, nullptr)) return std::nullopt;
  text.resize(bytes / sizeof(wchar_t));
  return text;
}

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void setInetTimeout(HINTERNET h, DWORD option, int seconds) {
  DWORD ms = static_cast<DWORD>(std::clamp(seconds, 1, 3600)) * 1000;
  InternetSetOptionW(h, option, &ms, sizeof ms);
}

// One request, its redirects followed: the final answer's handle and status.
class Request {
 public:
  bool send(const wchar_t* verb, const std::string& url, const HttpOptions& options,
            HttpError* error) {
    session_.reset(InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session_) return failLast(error, url, "cannot start WinINet");
    setInetTimeout(session_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, options.connectTimeoutSeconds);
    DWORD once = 1;
    InternetSetOptionW(session_.get(), INTERNET_OPTION_CONNECT_RETRIES, &once, sizeof once);
    std::string current = url;
    for (int hop = 0;; ++hop) {
      if (!sendOnce(verb, current, options, error)) return false;
      if (!isRedirect(status)) return true;
      const std::optional<std::wstring> location = queryText(request_.get(), HTTP_QUERY_LOCATION);
      if (!location) {
        HttpError e;
        e.status = status;
        return reportFailure(
            error, current,
            "the server answered " + std::to_string(status) + " without saying where to", e);
      }
      if (hop == kMaxRedirects) return reportFailure(error, url, "too many redirects");
      std::vector<wchar_t> next(INTERNET_MAX_URL_LENGTH + 1);
      DWORD n = static_cast<DWORD>(next.size());
      // The server's Location is taken as it is written: encoding it again
      // would turn its "%xx" into "%25xx".
      if (!InternetCombineUrlW(utf16From(current).c_str(), location->c_str(), next.data(), &n,
                               ICU_NO_ENCODE))
        return reportFailure(error, current, "the server redirected to an unusable address");
      const std::string target = utf8From(std::wstring_view(next.data(), n));
      if (!httpRedirectAllowed(url, target))
        return reportFailure(error, url, "redirect to " + target + " refused");
      current = target;
    }
  }
  HINTERNET get() const { return request_.get(); }
  int status = 0;

 private:
  bool sendOnce(const wchar_t* verb, const std::string& url, const HttpOptions& options,
                HttpError* error) {
    const Scheme scheme = schemeOf(url);
    const std::wstring wide = utf16From(url);
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
    parts.dwUrlPathLength = 1;  // pointers into `wide`
    parts.dwExtraInfoLength = 1;
    if (scheme == Scheme::Other ||
        !InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts) ||
        host[0] == L'\0')
      return reportFailure(error, url, "not an http or https address");
    std::wstring path(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    request_.reset();
    connection_.reset(InternetConnectW(session_.get(), host, parts.nPort, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) return failLast(error, url, "cannot reach the server");
    // No certificate check is ever waived: none of the INTERNET_FLAG_IGNORE_CERT_* flags.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                  INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
    if (scheme == Scheme::Https) flags |= INTERNET_FLAG_SECURE;
    const wchar_t* accept[] = {L"text/html", L"*/*", nullptr};
    request_.reset(HttpOpenRequestW(connection_.get(), verb, path.c_str(), nullptr, nullptr, accept,
                                    flags, 0));
    if (!request_) return failLast(error, url, "cannot make the request");
    setInetTimeout(request_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, options.connectTimeoutSeconds);
    setInetTimeout(request_.get(), INTERNET_OPTION_SEND_TIMEOUT, options.stallTimeoutSeconds);
    setInetTimeout(request_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, options.stallTimeoutSeconds);
    if (!HttpSendRequestW(request_.get(), nullptr, 0, nullptr, 0))
      return failLast(error, url, "request failed");
    DWORD code = 0, size = sizeof code;
    if (!HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                        &size, nullptr))
      return failLast(error, url, "the server's answer has no status");
    status = static_cast<int>(code);
    return true;
  }

  // Closed in reverse: the request before its connection before the session.
  InetHandle session_;
  InetHandle connection_;
  InetHandle request_;
};

bool answered2xx(const Request& r, const std::string& url, HttpError* error) {
  if (r.status >= 200 && r.status < 300) return true;
  HttpError e;
  e.status = r.status;
  return reportFailure(error, url, "the server answered " + std::to_string(r.status), e);
}

std::int64_t responseContentLength(const Request& r) {
  const std::optional<std::wstring> text = queryText(r.get(), HTTP_QUERY_CONTENT_LENGTH);
  return text ? parseContentLength(utf8From(*text)) : -1;
}

}  // namespace

bool httpRedirectAllowed(std::string_view from, std::string_view to) {
  const Scheme target = schemeOf(to);
  if (target == Scheme::Other) return false;
  return schemeOf(from) != Scheme::Https || target == Scheme::Https;
}

std::int64_t parseContentLength(std::string_view text) {
  text = trimBlanks(text);
  if (text.empty() || text.size() > 18) return -1;
  std::int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool WinInetHttpClient::head(const std::string& url, const HttpOptions& options, HttpHead* out,
                             HttpError* error) {
  Request r;
  if (!r.send(L"HEAD", url, options, error) || !answered2xx(r, url, error)) return false;
  HttpHead head;
  SYSTEMTIME modified{};
  DWORD size = sizeof modified;
  FILETIME t{};
  if (HttpQueryInfoW(r.get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &modified,
                     &size, nullptr) &&
      SystemTimeToFileTime(&modified, &t)) {
    const std::int64_t ticks = (static_cast<std::int64_t>(t.dwHighDateTime) << 32) |
                               static_cast<std::int64_t>(t.dwLowDateTime);
    head.lastModified = (ticks - 116444736000000000LL) / 10000000;
  }
  head.contentLength = responseContentLength(r);
  *out = head;
  return true;
}

bool WinInetHttpClient::get(const std::string& url, const HttpOptions& options, const Sink& sink,
                            const Progress& progress, HttpError* error) {
  Request r;
  if (!r.send(L"GET", url, options, error) || !answered2xx(r, url, error)) return false;
  const std::int64_t total = responseContentLength(r);
  HttpError stopped;
  stopped.cancelled = true;
  if (progress && !progress(0, total)) return reportFailure(error, url, "cancelled", stopped);
  std::vector<char> buffer(kPiece);
  std::int64_t received = 0;
  // A read that blocked for the stall time and then ended the body early
  // means the server stalled, whatever WinINet made of it.
  ULONGLONG slowestRead = 0;
  const auto stalled = [&] {
    return slowestRead + 500 >= static_cast<ULONGLONG>(options.stallTimeoutSeconds) * 1000;
  };
  for (;;) {
    DWORD n = 0;
    const ULONGLONG started = GetTickCount64();
    const BOOL ok = InternetReadFile(r.get(), buffer.data(), kPiece, &n);
    slowestRead = std::max(slowestRead, GetTickCount64() - started);
    if (!ok)
      return failLast(error, url,
                      "the transfer broke off after " + std::to_string(received) + " bytes",
                      stalled());
    if (n == 0) break;
    received += n;
    if (sink && !sink(std::string_view(buffer.data(), n))) {
      HttpError e;
      e.sinkFailed = true;
      return reportFailure(error, url, "the received bytes could not be stored", e);
    }
    if (progress && !progress(received, total))
      return reportFailure(error, url, "cancelled", stopped);
  }
  if (total >= 0 && received != total) {
    HttpError e;
    e.timedOut = stalled();
    return reportFailure(error, url,
                         "the transfer ended after " + std::to_string(received) + " of " +
                             std::to_string(total) + " bytes" +
                             (e.timedOut ? ": the server stalled" : ""),
                         e);
  }
  return true;
}

}  // namespace marvena
