// The DOS side still writing a job: holds a file open for writing, letting
// others only read it, until killed. Prints "held" once it has it.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HANDLE h = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
