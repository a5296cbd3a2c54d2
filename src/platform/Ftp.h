// Uploading one file to an FTP server.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace marvena {

enum class FtpTls {
  Off,       // plain FTP
  Required,  // explicit TLS (AUTH TLS) on the control and data connections, or no upload
};

// One upload, start to end: connect and log in, change into each of
// `directories` in turn, store the bytes under `fileName` (replacing a file
// of that name), disconnect.
struct FtpUpload {
  std::string host;  // "name", "name:port" or "[v6-address]:port"; port 21 when left out
  std::string user;
  std::string password;
  std::vector<std::string> directories;
  std::string fileName;

  // Seconds to reach the server and log in.
  int connectTimeoutSeconds = 20;
  // Seconds without progress (no data moving, no reply from the server)
  // after which the upload is given up.
  int stallTimeoutSeconds = 60;

  FtpTls tls = FtpTls::Off;
  bool tlsVerifyPeer = true;  // check the server's certificate and name
  std::string tlsCaFile;      // trusted certificates (PEM) instead of the system's; may be empty
};

class FtpClient {
 public:
  virtual ~FtpClient() = default;

  // Bytes sent so far and the total; returning false aborts the upload.
  using Progress = std::function<bool(std::uint64_t sent, std::uint64_t total)>;

  // Passive mode, binary transfer. The connection is closed on every way
  // out. False and *error on any failure; the error text never holds the
  // password.
  virtual bool upload(const FtpUpload& upload, std::string_view bytes, const Progress& progress,
                      std::string* error) = 0;
};

}  // namespace marvena
