// The edge between the tool's strings and the Win32 wide-character calls:
// UTF-8 inside, UTF-16 outside; paths use "/" inside and become long
// ("\\?\") absolute paths outside, so that no path is cut at 260 characters.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace marvena {

std::wstring utf16From(std::string_view utf8);
std::string utf8From(std::wstring_view utf16);

// A path of the tool as the wide-character file calls take it: absolute,
// with "\" separators, "." and ".." resolved, and the "\\?\" (or
// "\\?\UNC\") prefix that lifts the length limit. Empty stays empty.
std::wstring longPathOf(const std::string& path);
// A path from Windows as the tool writes it: "/" separators, no "\\?\".
std::string toolPath(std::wstring_view path);

// The system's text for an error code, in English where the system has it.
std::string winErrorText(DWORD code);
// "what path: system text" for the last error.
std::string lastErrorText(const char* what, const std::string& path);

// Closes a handle when it goes out of scope.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(o.release()) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace marvena
