// Desktop services: clipboard and the default browser.
#pragma once

#include <string>

namespace marvena {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Puts UTF-8 text on the clipboard; false when no clipboard can be reached.
  virtual bool setText(const std::string& utf8, std::string* error) = 0;

  // Whether the platform has an 8-bit OEM text format (Windows has); old
  // programs read only that one.
  virtual bool offersOemText() const { return false; }
  // Puts 8-bit OEM text on the clipboard; false when it cannot.
  virtual bool setOemText(const std::string& bytes, std::string* error) {
    if (error) *error = "no OEM text format on this platform";
    (void)bytes;
    return false;
  }
};

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  virtual bool open(const std::string& url, std::string* error) = 0;
};

}  // namespace marvena
