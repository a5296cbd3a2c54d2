// Messages of the headless tool: every box becomes one line on stderr.
#pragma once

#include <mutex>

#include "platform/MessageSink.h"

namespace marvena {

class StderrMessages final : public MessageSink {
 public:
  void showMessage(const std::string& text) override;
  void showError(const std::string& text) override;
  void log(const std::string& line) override;

 private:
  std::mutex mutex_;
};

}  // namespace marvena
