#include "platform/win32/WinProcess.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/WinText.h"

namespace marvena {

namespace {

// The working directory as CreateProcess takes it: "\" separators, no
// "\\?\" prefix (a console program started there would inherit it).
std::wstring workingDirectoryOf(const std::string& path) {
  std::wstring dir = utf16From(path);
  for (wchar_t& c : dir)
    if (c == L'/') c = L'\\';
  return dir;
}

BOOL CALLBACK findInstallerWindow(HWND window, LPARAM found) {
  // Titles and class names longer than 255 characters are not the installer's.
  wchar_t title[256] = {}, windowClass[256] = {};
  GetWindowTextW(window, title, 256);
  GetClassNameW(window, windowClass, 256);
  if (!isInstallerWindow(title, windowClass)) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

}  // namespace

bool isInstallerWindow(const std::wstring& title, const std::wstring& windowClass) {
  return title == L"Setup" && windowClass == L"InstallShield_Win";
}

int WinProcessRunner::runAndWait(const std::string& commandLine,
                                 const std::string& workingDirectory, const StopWaiting& stop) {
  // CreateProcessW may write into the command line: a copy of its own, of
  // any length the system takes (no cut at 512 characters).
  std::wstring command = utf16From(commandLine);
  std::vector<wchar_t> buffer(command.begin(), command.end());
  buffer.push_back(L'\0');
  const std::wstring dir = workingDirectoryOf(workingDirectory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &startup, &process))
    return kNotStarted;
  Handle processHandle(process.hProcess);
  Handle thread(process.hThread);
  // This runs off the window's thread: the windows repaint on their own,
  // so the wait only looks at `stop` now and then.
  for (;;) {
    const DWORD r = WaitForSingleObject(process.hProcess, 50);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_FAILED) return kNotStarted;
    if (stop && stop()) return kNotWaited;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code)) return kNotStarted;
  // Exit codes are 32-bit: one that reads as -1 or -2 is not taken for
  // "not started" or "not waited".
  const int result = static_cast<int>(code);
  return result == kNotStarted || result == kNotWaited ? 255 : result;
}

void WinProcessRunner::waitForLeftInstaller(const StopWaiting& stop) {
  for (;;) {
    bool found = false;
    EnumWindows(findInstallerWindow, reinterpret_cast<LPARAM>(&found));
    if (!found || (stop && stop())) return;
    Sleep(200);
  }
}

}  // namespace marvena
