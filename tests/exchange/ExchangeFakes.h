// Stand-ins for the FTP client, the clipboard and the browser.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Ftp.h"

namespace marvena {

class FakeFtpClient final : public FtpClient {
 public:
  struct Call {
    std::string op;  // "upload", "rename" or "remove"
    FtpUpload upload;
    std::string bytes;     // upload
    std::string from, to;  // rename; remove: `from`
  };
  std::vector<Call> calls;
  // The outcome of each call in turn; calls beyond the list succeed.
  std::deque<std::optional<FtpError>> outcomes;
  std::string failWith;  // non-empty: every upload fails with this text
  std::vector<std::uint64_t> progressSteps;
  std::function<void()> onUpload;  // runs while the upload is "in flight"

  bool upload(const FtpUpload& upload, std::string_view bytes, const Progress& progress,
              FtpError* error) override {
    calls.push_back({"upload", upload, std::string(bytes), {}, {}});
    for (std::uint64_t step : progressSteps)
      if (progress && !progress(step, bytes.size())) return false;
    if (onUpload) onUpload();
    if (!failWith.empty()) {
      error->message = failWith;
      return false;
    }
    return next(error);
  }
  bool rename(const FtpUpload& where, const std::string& from, const std::string& to,
              FtpError* error) override {
    calls.push_back({"rename", where, {}, from, to});
    return next(error);
  }
  bool remove(const FtpUpload& where, const std::string& name, FtpError* error) override {
    calls.push_back({"remove", where, {}, name, {}});
    return next(error);
  }

  // "upload .SALE.XML.xxxxxxxx.part>SALE.XML", "remove SALE.XML", "rename a>b"
  std::vector<std::string> script() const {
    std::vector<std::string> out;
    for (const Call& c : calls) {
      if (c.op == "upload")
        out.push_back("upload " + c.upload.fileName +
                      (c.upload.renameTo.empty() ? "" : ">" + c.upload.renameTo));
      else
        out.push_back(c.op + " " + c.from + (c.to.empty() ? "" : ">" + c.to));
    }
    return out;
  }

 private:
  bool next(FtpError* error) {
    if (outcomes.empty()) return true;
    std::optional<FtpError> outcome = std::move(outcomes.front());
    outcomes.pop_front();
    if (!outcome) return true;
    *error = std::move(*outcome);
    return false;
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
