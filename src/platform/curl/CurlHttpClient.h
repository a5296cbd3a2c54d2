// HttpClient over libcurl: one fresh connection per request, http and https
// only, certificates and names checked, redirects followed only within the
// scheme class (an https address never leads to plain http), a time limit
// for connecting and a stall watch (no byte for the stall time) for the rest.
#pragma once

#include "platform/Http.h"

namespace marvena {

class CurlHttpClient final : public HttpClient {
 public:
  CurlHttpClient();
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  bool head(const std::string& url, const HttpOptions& options, HttpHead* out,
            HttpError* error) override;
  bool get(const std::string& url, const HttpOptions& options, const Sink& sink,
           const Progress& progress, HttpError* error) override;
};

}  // namespace marvena
