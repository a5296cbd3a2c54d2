// Messages of the Windows tool with its desktop: message boxes (the error
// box captioned "KLAIDA"), and the run log on stderr and the debugger.
#pragma once

#include <mutex>

#include "platform/MessageSink.h"

namespace marvena {

class WinMessages final : public MessageSink {
 public:
  void showMessage(const std::string& text) override;
  void showError(const std::string& text) override;
  void log(const std::string& line) override;

 private:
  std::mutex mutex_;
};

}  // namespace marvena
