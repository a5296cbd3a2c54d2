#include "app/StderrMessages.h"

#include <cstdio>

namespace marvena {

void StderrMessages::showMessage(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "marvena-spool: %s\n", text.c_str());
}

void StderrMessages::showError(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "marvena-spool: KLAIDA: %s\n", text.c_str());
}

void StderrMessages::log(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace marvena
