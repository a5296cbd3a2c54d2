#include "platform/win32/WinSystem.h"

#include <windows.h>

#include <lmcons.h>

#include <cstdio>
#include <cwctype>

namespace marvena {

std::int64_t WinClock::monotonicMs() {
  return static_cast<std::int64_t>(GetTickCount64());
}

LocalTime WinClock::localNow() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

namespace {

SYSTEMTIME toSystemTime(const LocalTime& t) {
  SYSTEMTIME s{};
  s.wYear = static_cast<WORD>(t.year);
  s.wMonth = static_cast<WORD>(t.month);
  s.wDay = static_cast<WORD>(t.day);
  s.wHour = static_cast<WORD>(t.hour);
  s.wMinute = static_cast<WORD>(t.minute);
  s.wSecond = static_cast<WORD>(t.second);
  return s;
}

}  // namespace

char WinLocale::decimalSeparator() {
  wchar_t sep[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) > 0 &&
      (sep[0] == L',' || sep[0] == L'.'))
    return static_cast<char>(sep[0]);
  return '.';
}

std::string WinLocale::shortDate(const LocalTime& t) {
  const SYSTEMTIME s = toSystemTime(t);
  wchar_t buf[128] = {};
  const int n =
      GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &s, nullptr, buf, 128, nullptr);
  return n > 0 ? utf8From(std::wstring_view(buf, static_cast<std::size_t>(n - 1))) : std::string();
}

std::string WinLocale::longTime(const LocalTime& t) {
  const SYSTEMTIME s = toSystemTime(t);
  wchar_t buf[128] = {};
  const int n = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &s, nullptr, buf, 128);
  return n > 0 ? utf8From(std::wstring_view(buf, static_cast<std::size_t>(n - 1))) : std::string();
}

std::string WinLocale::userName() {
  wchar_t name[UNLEN + 1] = {};
  DWORD n = UNLEN + 1;
  if (!GetUserNameW(name, &n) || n <= 1) return {};
  return utf8From(std::wstring_view(name, n - 1));
}

std::string winHostName() {
  wchar_t name[256] = {};
  DWORD n = 256;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &n) || n == 0) return "localhost";
  return utf8From(std::wstring_view(name, n));
}

bool winProcessRunning(unsigned long pid) {
  if (pid == 0) return false;
  Handle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!h.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  return GetExitCodeProcess(h.get(), &code) && code == STILL_ACTIVE;
}

namespace {

// The final path of an existing file or directory; empty when it cannot be opened.
std::wstring finalPath(const std::wstring& longPath) {
  Handle h(CreateFileW(longPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return {};
  DWORD n = GetFinalPathNameByHandleW(h.get(), nullptr, 0, FILE_NAME_NORMALIZED);
  if (n == 0) return {};
  std::wstring out(n, L'\0');
  n = GetFinalPathNameByHandleW(h.get(), out.data(), n, FILE_NAME_NORMALIZED);
  out.resize(n);
  return out;
}

}  // namespace

std::string winRealPath(const std::string& path) {
  const std::wstring full = longPathOf(path);
  if (full.empty()) return path;
  std::wstring real = finalPath(full);
  if (real.empty()) {
    const std::size_t slash = full.rfind(L'\\');
    if (slash != std::wstring::npos && slash > 7) {
      const std::wstring dir = finalPath(full.substr(0, slash));
      if (!dir.empty()) real = dir + full.substr(slash);
    }
  }
  return toolPath(real.empty() ? full : real);
}

std::wstring instanceMutexName(const std::string& key) {
  std::wstring folded = utf16From(key);
  for (wchar_t& c : folded) c = c == L'\\' ? L'/' : static_cast<wchar_t>(std::towupper(c));
  // FNV-1a over the UTF-16 units: mutex names cannot hold "\".
  std::uint64_t h = 1469598103934665603ULL;
  for (wchar_t c : folded) {
    h ^= static_cast<std::uint16_t>(c);
    h *= 1099511628211ULL;
  }
  wchar_t digest[17] = {};
  std::swprintf(digest, 17, L"%016llx", static_cast<unsigned long long>(h));
  return L"Marvena Spool " + std::wstring(digest);
}

NamedMutex::NamedMutex(const std::wstring& name) : h_(CreateMutexW(nullptr, FALSE, name.c_str())) {
  acquired_ = h_.valid() && GetLastError() != ERROR_ALREADY_EXISTS;
  if (!acquired_) h_.reset();
}

WinFileLock::WinFileLock(const std::string& path) {
  HANDLE h = CreateFileW(longPathOf(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    made_ = true;
    h_.reset(h);
    return;
  }
  made_ = GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace marvena

namespace marvena {

std::string wordVersionFromRegistry() {
  wchar_t value[128] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, L"Word.Application\\CurVer", nullptr, RRF_RT_REG_SZ, nullptr,
                   value, &size) != ERROR_SUCCESS)
    return {};
  const std::wstring cur = value;  // "Word.Application.16"
  const std::size_t dot = cur.rfind(L'.');
  if (dot == std::wstring::npos || dot + 1 >= cur.size()) return {};
  return utf8From(cur.substr(dot + 1));
}

}  // namespace marvena
