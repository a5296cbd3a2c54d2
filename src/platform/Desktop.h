// Desktop services: clipboard and the default browser.
#pragma once

#include <string>

namespace marvena {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Puts UTF-8 text on the clipboard; false when no clipboard can be reached.
  virtual bool setText(const std::string& utf8, std::string* error) = 0;
};

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  virtual bool open(const std::string& url, std::string* error) = 0;
};

}  // namespace marvena
