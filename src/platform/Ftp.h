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

// One session with the server: connect and log in, change into each of
// `directories` in turn, do the work, disconnect.
struct FtpUpload {
  std::string host;  // "name", "name:port" or "[v6-address]:port"; port 21 when left out
  std::string user;
  std::string password;
  std::vector<std::string> directories;
  // The name the bytes are stored under (replacing a file of that name).
  std::string fileName;
  // When set: once the server has confirmed the stored file, it is renamed
  // (RNFR/RNTO) to this name on the same connection.
  std::string renameTo;

  // Seconds to reach the server and log in.
  int connectTimeoutSeconds = 20;
  // Seconds without progress (no data moving, no reply from the server)
  // after which the session is given up.
  int stallTimeoutSeconds = 60;

  FtpTls tls = FtpTls::Off;
  bool tlsVerifyPeer = true;  // check the server's certificate and name
  std::string tlsCaFile;      // trusted certificates (PEM) instead of the system's; may be empty
};

// Where a session broke off.
enum class FtpStep {
  Connect,          // reaching the server, TLS, the greeting
  Login,            // USER, PASS
  ChangeDirectory,  // CWD
  Store,            // the data connection, STOR, the transfer and its final reply
  Rename,           // RNFR, RNTO
  Delete,           // DELE
};

struct FtpError {
  FtpStep step = FtpStep::Connect;
  // The command the server refused or left unanswered, e.g. "CWD sale";
  // never the password. Empty when it broke off before any command.
  std::string command;
  int reply = 0;          // the server's reply code to it; 0 when none came
  std::string replyText;  // that reply line
  // STOR went out and was not refused at once: part of the data may lie on
  // the server under the stored name.
  bool partial = false;
  std::string message;  // plain English, for the log; never the password
};

class FtpClient {
 public:
  virtual ~FtpClient() = default;

  // Bytes sent so far and the total; returning false aborts the upload.
  using Progress = std::function<bool(std::uint64_t sent, std::uint64_t total)>;

  // Passive mode, binary transfer; stores `bytes` under upload.fileName and,
  // when upload.renameTo is set, renames the file after the server confirmed
  // it. The connection is closed on every way out. False and *error on any
  // failure.
  virtual bool upload(const FtpUpload& upload, std::string_view bytes, const Progress& progress,
                      FtpError* error) = 0;

  // A session of its own that renames `from` to `to` in where.directories
  // (where.fileName and where.renameTo are not used).
  virtual bool rename(const FtpUpload& where, const std::string& from, const std::string& to,
                      FtpError* error) = 0;

  // A session of its own that deletes `name` in where.directories.
  virtual bool remove(const FtpUpload& where, const std::string& name, FtpError* error) = 0;
};

}  // namespace marvena
