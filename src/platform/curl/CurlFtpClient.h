// FtpClient over libcurl: one fresh connection per session, passive mode,
// binary, a time limit for connecting and logging in, a stall watch for
// everything after, and explicit TLS when asked for.
//
// The stall watch counts as progress every reply of the server, every byte
// handed to the data connection and, once all data is handed over, every
// byte the server acknowledges: a slow server still reading what it was
// sent is not stalled, however late its final reply comes.
#pragma once

#include "platform/Ftp.h"

namespace marvena {

class CurlFtpClient final : public FtpClient {
 public:
  CurlFtpClient();
  ~CurlFtpClient() override;
  CurlFtpClient(const CurlFtpClient&) = delete;
  CurlFtpClient& operator=(const CurlFtpClient&) = delete;

  bool upload(const FtpUpload& upload, std::string_view bytes, const Progress& progress,
              FtpError* error) override;
  bool rename(const FtpUpload& where, const std::string& from, const std::string& to,
              FtpError* error) override;
  bool remove(const FtpUpload& where, const std::string& name, FtpError* error) override;
};

// The address libcurl is given: "ftp://" + host + "/" + each directory and
// the file name, percent-escaped. Empty when the host is not a plain host
// name or address with an optional port.
std::string ftpUploadUrl(const FtpUpload& upload);

// `text` with every occurrence of `secret` replaced by "***".
std::string hideSecret(std::string text, const std::string& secret);

}  // namespace marvena
