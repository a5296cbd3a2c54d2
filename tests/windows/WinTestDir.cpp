#include "WinTestDir.h"

#include "platform/win32/WinText.h"

namespace marvena::test {

WinTestDir::WinTestDir() {
  wchar_t base[MAX_PATH] = {};
  const DWORD n = GetTempPathW(MAX_PATH, base);
  static int counter = 0;
  path_ = toolPath(std::wstring_view(base, n));
  while (!path_.empty() && path_.back() == '/') path_.pop_back();
  path_ +=
      "/marvena-šąžūtė-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
  CreateDirectoryW(longPathOf(path_).c_str(), nullptr);
}

WinTestDir::~WinTestDir() {
  removeTree(path_);
}

void removeTree(const std::string& path) {
  WIN32_FIND_DATAW data{};
  const std::wstring dir = longPathOf(path);
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::string child = path + "/" + utf8From(name);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        SetFileAttributesW(longPathOf(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(longPathOf(child).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

}  // namespace marvena::test
