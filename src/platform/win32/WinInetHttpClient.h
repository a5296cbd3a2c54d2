// HttpClient over WinINet, which every Windows has (no libcurl to ship): a
// fresh session per request, no proxy, nothing from or into the cache, the
// body handed on in pieces as it arrives. Certificates and names are
// checked by Windows against its own certificate store; HttpOptions::caFile
// cannot be honoured, since WinINet offers no way to trust a file of
// certificates for one request. Redirects are followed here rather than by
// WinINet, so that an https address never leads to plain http whatever the
// Windows version does. The connect time limit is WinINet's own: some
// Windows versions wait longer for an address that never answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Http.h"

namespace marvena {

class WinInetHttpClient final : public HttpClient {
 public:
  bool head(const std::string& url, const HttpOptions& options, HttpHead* out,
            HttpError* error) override;
  bool get(const std::string& url, const HttpOptions& options, const Sink& sink,
           const Progress& progress, HttpError* error) override;
};

// Whether a redirect from `from` may be followed to `to` (both absolute):
// only to http or https, and from https only to https.
bool httpRedirectAllowed(std::string_view from, std::string_view to);
// A Content-Length header's value; -1 for anything but plain digits that fit.
std::int64_t parseContentLength(std::string_view text);

}  // namespace marvena
