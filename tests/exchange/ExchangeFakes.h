// Stand-ins for the FTP client, the clipboard and the browser.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Ftp.h"

namespace marvena {

class FakeFtpClient final : public FtpClient {
 public:
  struct Call {
    FtpUpload upload;
    std::string bytes;
  };
  std::vector<Call> calls;
  std::string failWith;  // non-empty: every upload fails with this text
  std::vector<std::uint64_t> progressSteps;
  std::function<void()> onUpload;  // runs while the upload is "in flight"

  bool upload(const FtpUpload& upload, std::string_view bytes, const Progress& progress,
              std::string* error) override {
    calls.push_back({upload, std::string(bytes)});
    for (std::uint64_t step : progressSteps)
      if (progress && !progress(step, bytes.size())) return false;
    if (onUpload) onUpload();
    if (!failWith.empty()) {
      *error = failWith;
      return false;
    }
    return true;
  }
};

class FakeClipboard final : public Clipboard {
 public:
  bool reachable = true;
  bool oem = false;
  std::vector<std::string> texts, oemTexts;

  bool setText(const std::string& utf8, std::string* error) override {
    if (!reachable) {
      *error = "no display";
      return false;
    }
    texts.push_back(utf8);
    return true;
  }
  bool offersOemText() const override { return oem; }
  bool setOemText(const std::string& bytes, std::string* error) override {
    if (!reachable) {
      *error = "no display";
      return false;
    }
    oemTexts.push_back(bytes);
    return true;
  }
};

class FakeUrlOpener final : public UrlOpener {
 public:
  bool works = true;
  std::vector<std::string> opened;
  bool open(const std::string& url, std::string* error) override {
    if (!works) {
      *error = "no browser";
      return false;
    }
    opened.push_back(url);
    return true;
  }
};

}  // namespace marvena
