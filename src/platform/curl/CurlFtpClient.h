// FtpClient over libcurl: one fresh connection per upload, passive mode,
// binary, time-outs for connecting and for a transfer that stops moving,
// and explicit TLS when asked for.
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
              std::string* error) override;
};

// The address libcurl is given: "ftp://" + host + "/" + each directory and
// the file name, percent-escaped. Empty when the host is not a plain host
// name or address with an optional port.
std::string FtpUploadUrl(const FtpUpload& upload);

// `text` with every occurrence of `secret` replaced by "***".
std::string HideSecret(std::string text, const std::string& secret);

}  // namespace marvena
