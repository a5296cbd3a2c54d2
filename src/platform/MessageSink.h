// Where the tool's messages go: message boxes in the GUI, stderr when headless.
#pragma once

#include <string>

namespace marvena {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A plain message box (start-up problems). Text is UTF-8.
  virtual void showMessage(const std::string& text) = 0;
  // The error box captioned "KLAIDA".
  virtual void showError(const std::string& text) = 0;
  // One line of the English run log.
  virtual void log(const std::string& line) = 0;
};

}  // namespace marvena
