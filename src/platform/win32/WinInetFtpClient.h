// FtpClient over WinINet, which every Windows has (no libcurl to ship):
// one session per call, passive mode, binary, the connect and stall time
// limits as WinINet's connect, send and receive time-outs. WinINet has no
// FTP over TLS, so an upload that requires TLS is refused, never sent plain.
#pragma once

#include <string>

#include "platform/Ftp.h"

namespace marvena {

class WinInetFtpClient final : public FtpClient {
 public:
  bool upload(const FtpUpload& upload, std::string_view bytes, const Progress& progress,
              FtpError* error) override;
  bool rename(const FtpUpload& where, const std::string& from, const std::string& to,
              FtpError* error) override;
  bool remove(const FtpUpload& where, const std::string& name, FtpError* error) override;
};

// "name", "name:port", "[v6]:port" -> host and port (21 when left out);
// false for anything else (a path, a user part, a bad port).
bool splitFtpHost(const std::string& host, std::string* name, int* port);

}  // namespace marvena
