// Fetching files from a web server: what the server says about a file
// (HEAD), and its body streamed to the caller piece by piece (GET).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace marvena {

struct HttpOptions {
  // Seconds to reach the server (and finish the TLS handshake).
  int connectTimeoutSeconds = 20;
  // Seconds without a byte arriving after which a transfer is given up.
  int stallTimeoutSeconds = 60;
  // Trusted certificates (PEM) instead of the system's; may be empty.
  std::string caFile;
};

// What a HEAD told about a file.
struct HttpHead {
  // Last-Modified, seconds since the epoch (UTC); -1 when the server sent none.
  std::int64_t lastModified = -1;
  // Content-Length; -1 when the server sent none.
  std::int64_t contentLength = -1;
};

struct HttpError {
  // The server's status (404, 500, ...); 0 when no answer came.
  int status = 0;
  bool timedOut = false;
  bool cancelled = false;
  // The sink refused the bytes (a local file that could not be written).
  bool sinkFailed = false;
  std::string message;  // plain English, for the log
};

// Certificates and names are checked; redirects are followed, but an https
// address never leads to plain http.
class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Takes the next piece of the body; false stops the transfer.
  using Sink = std::function<bool(std::string_view bytes)>;
  // Bytes so far and the total the server announced (-1: unknown); false cancels.
  using Progress = std::function<bool(std::int64_t done, std::int64_t total)>;

  // Answers 2xx only; anything else is false with *error.
  virtual bool head(const std::string& url, const HttpOptions& options, HttpHead* out,
                    HttpError* error) = 0;
  // The body goes to `sink` as it arrives, never held whole. True only when
  // the server answered 2xx and the whole announced body arrived.
  virtual bool get(const std::string& url, const HttpOptions& options, const Sink& sink,
                   const Progress& progress, HttpError* error) = 0;
};

}  // namespace marvena
