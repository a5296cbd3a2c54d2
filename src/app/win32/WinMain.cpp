// Entry point on Windows: the same command line and session as on Linux,
// without Qt. Until the Win32 windows exist the tool runs headless; started
// for the desktop it says so once in a message box.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MaintenanceSetup.h"
#include "app/SpoolSession.h"
#include "app/StderrMessages.h"
#include "app/win32/WinMessages.h"
#include "app/win32/WinSpoolLoop.h"
#include "platform/Platform.h"
#include "platform/win32/WinSystem.h"
#include "platform/win32/WinText.h"
#include "spool/Dispatcher.h"

#ifndef MARVENA_VERSION
#define MARVENA_VERSION "0.0.0"
#endif

namespace marvena {
namespace {

std::string envVar(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
  value.resize(got);
  return utf8From(value);
}

// The arguments as UTF-8, whatever the console's code page.
std::vector<std::string> commandLineArguments() {
  std::vector<std::string> args;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return args;
  for (int i = 1; i < argc; ++i) args.push_back(utf8From(argv[i]));
  LocalFree(argv);
  return args;
}

// MARVENA.INI lives in the Windows directory, where the profile API puts it.
std::string defaultConfigPath() {
  wchar_t dir[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  return toolPath(std::wstring_view(dir, n)) + "/MARVENA.INI";
}

// The command interpreter that runs the kits' batch files; the system's own
// when COMSPEC is not set.
std::string commandInterpreter() {
  std::string comspec = envVar(L"COMSPEC");
  if (!comspec.empty()) return comspec;
  wchar_t dir[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  return utf8From(std::wstring_view(dir, n)) + "\\cmd.exe";
}

HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD) {
  if (stopEvent) SetEvent(stopEvent);
  return TRUE;
}

int runTool() {
  const CommandLine cl = parseCommandLine(commandLineArguments());
  if (const std::optional<int> status = answerInfoOptions(cl, MARVENA_VERSION)) return *status;

  std::unique_ptr<Platform> platform = makePlatform();
  const std::string configPath =
      platform->realPath(cl.configPath.empty() ? defaultConfigPath() : cl.configPath);
  // Maintenance may run beside a running tool: it takes a lock of its own.
  // The kits' command lines name \MARVENA\INSTALL on the current drive, so
  // the files go there too, whatever MARVENA_DRIVE maps the spool onto.
  if (!cl.modify.empty()) {
    if (!envVar(L"MARVENA_DRIVE").empty())
      std::fprintf(stderr,
                   "maintenance: MARVENA_DRIVE is not used; the kits go to \\MARVENA\\INSTALL "
                   "on the current drive\n");
    return runModify(*platform, configPath, "", cl.modify, commandInterpreter());
  }
  const std::unique_ptr<InstanceGuard> instance = platform->claimInstance(configPath);
  if (!instance) return 0;  // already running for this settings file

  const bool headless = cl.headless || cl.once;
  StderrMessages stderrMessages;
  WinMessages boxes;
  MessageSink& messages = headless ? static_cast<MessageSink&>(stderrMessages) : boxes;
  if (!headless) {
    // A console of our own (started from the desktop) would only stand in the way.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
    boxes.showMessage(
        "Marvena Spool langas bus kitoje versijoje. Programa dirba be lango: užduotys "
        "vykdomos, klaidos rodomos pranešimuose.");
  }

  // Excel is driven through COM from this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  SessionEnvironment env;
  env.driveRoot = envVar(L"MARVENA_DRIVE");  // empty: DOS paths are this machine's own
  env.stateBase = envVar(L"LOCALAPPDATA");
  if (env.stateBase.empty()) env.stateBase = envVar(L"TEMP");
  env.stateBase = toolPath(utf16From(env.stateBase));
  env.processId = static_cast<long>(GetCurrentProcessId());
  env.stepHook = testStepHook(envVar(L"MARVENA_TEST_CRASH_AT"), [](bool stop) {
    if (stop) Sleep(INFINITE);
    TerminateProcess(GetCurrentProcess(), 9);
  });
  env.headless = headless;
  env.wordVersionText = wordVersionFromRegistry;
  int status = 0;
  {
    SpoolSession session(*platform, messages, env);
    if (session.start(configPath)) {
      if (cl.once) {
        status = session.runOnce();
      } else if (session.startup().timerEnabled) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        status = runSpoolLoop(session.dispatcher(), platform->makeDirectoryWatcher(), stopEvent);
      } else {
        // Nothing will be processed; wait to be ended as the tray tool would.
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        WaitForSingleObject(stopEvent, INFINITE);
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}

}  // namespace
}  // namespace marvena

int main() {
  return marvena::runTool();
}
