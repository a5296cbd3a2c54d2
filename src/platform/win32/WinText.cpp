#include "platform/win32/WinText.h"

#include <vector>

namespace marvena {

std::wstring utf16From(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string utf8From(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring longPathOf(const std::string& path) {
  if (path.empty()) return {};
  std::wstring w = utf16From(path);
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  if (w.rfind(L"\\\\?\\", 0) == 0) return w;
  // The wide-character form of GetFullPathNameW takes paths of any length.
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // devices keep their form
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string toolPath(std::wstring_view path) {
  std::wstring w(path);
  if (w.rfind(L"\\\\?\\UNC\\", 0) == 0)
    w = L"\\\\" + w.substr(8);
  else if (w.rfind(L"\\\\?\\", 0) == 0)
    w = w.substr(4);
  for (wchar_t& c : w)
    if (c == L'\\') c = L'/';
  return utf8From(w);
}

std::string winErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text),
      0, nullptr);
  std::string out;
  if (n > 0 && text) {
    out = utf8From(std::wstring_view(text, n));
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
      out.pop_back();
  }
  if (text) LocalFree(text);
  if (out.empty()) out = "error " + std::to_string(code);
  return out;
}

std::string lastErrorText(const char* what, const std::string& path) {
  const DWORD code = GetLastError();
  return std::string(what) + " " + path + ": " + winErrorText(code);
}

}  // namespace marvena
