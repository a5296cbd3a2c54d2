#include "app/win32/WinMessages.h"

#include <cstdio>

#include "platform/win32/WinText.h"

namespace marvena {

void WinMessages::showMessage(const std::string& text) {
  MessageBoxW(nullptr, utf16From(text).c_str(), L"Marvena Spool", MB_OK | MB_ICONINFORMATION);
}

void WinMessages::showError(const std::string& text) {
  MessageBoxW(nullptr, utf16From(text).c_str(), L"KLAIDA", MB_OK | MB_ICONERROR);
}

void WinMessages::log(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "%s\n", line.c_str());
  OutputDebugStringW(utf16From(line + "\n").c_str());
}

}  // namespace marvena
