#include "platform/win32/WinDesktop.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/WinText.h"

namespace marvena {

namespace {

// Another program may hold the clipboard for a moment.
bool openClipboardPatiently() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(25);
  }
  return false;
}

// Hands `size` bytes to the clipboard in `format`; the clipboard owns the
// block once SetClipboardData took it.
bool putOnClipboard(UINT format, const void* data, std::size_t size, std::string* error) {
  if (!openClipboardPatiently()) {
    if (error) *error = "cannot open the clipboard: " + winErrorText(GetLastError());
    return false;
  }
  bool ok = false;
  HGLOBAL block = nullptr;
  if (EmptyClipboard() && (block = GlobalAlloc(GMEM_MOVEABLE, size)) != nullptr) {
    if (void* p = GlobalLock(block)) {
      std::memcpy(p, data, size);
      GlobalUnlock(block);
      ok = SetClipboardData(format, block) != nullptr;
    }
  }
  if (!ok) {
    if (error) *error = "cannot set the clipboard: " + winErrorText(GetLastError());
    if (block) GlobalFree(block);
  }
  CloseClipboard();
  return ok;
}

}  // namespace

bool WinClipboard::setText(const std::string& utf8, std::string* error) {
  const std::wstring text = utf16From(utf8);
  return putOnClipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t), error);
}

bool WinClipboard::setOemText(const std::string& bytes, std::string* error) {
  // The text ends at its first NUL, whatever follows.
  const std::string text = bytes.substr(0, bytes.find('\0'));
  return putOnClipboard(CF_OEMTEXT, text.c_str(), text.size() + 1, error);
}

bool WinUrlOpener::open(const std::string& url, std::string* error) {
  // Only web addresses: ShellExecute would start a program named here.
  const std::string lower = [&] {
    std::string s = url.substr(0, 8);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
  }();
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    if (error) *error = "not a web address: " + url;
    return false;
  }
  const std::wstring file = utf16From(url);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) return true;
  if (error) *error = "cannot open " + url + ": " + winErrorText(GetLastError());
  return false;
}

namespace {

int CALLBACK collectCharset(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM out) {
  auto* sets = reinterpret_cast<std::vector<int>*>(out);
  const int set = font->lfCharSet;
  if (std::find(sets->begin(), sets->end(), set) == sets->end()) sets->push_back(set);
  return 1;
}

}  // namespace

std::vector<int> faceCharsets(void* dc, const std::string& face) {
  std::vector<int> sets;
  const std::wstring name = utf16From(face);
  if (name.empty() || name.size() >= LF_FACESIZE) return sets;
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::wcsncpy(query.lfFaceName, name.c_str(), LF_FACESIZE - 1);
  EnumFontFamiliesExW(static_cast<HDC>(dc), &query, collectCharset, reinterpret_cast<LPARAM>(&sets),
                      0);
  return sets;
}

std::vector<int> WinFonts::charsets(const std::string& face) {
  HDC screen = GetDC(nullptr);
  if (!screen) return {};
  std::vector<int> sets = faceCharsets(screen, face);
  ReleaseDC(nullptr, screen);
  return sets;
}

}  // namespace marvena
