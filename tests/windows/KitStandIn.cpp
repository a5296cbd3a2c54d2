// Stands in for the spool kit's programs in the maintenance end-to-end test.
// Run as PKUNZIP.EXE it "unpacks" the kit by copying itself to SETUP.EXE in
// its working directory; run as SETUP.EXE it only records. Either way it
// appends "NAME arguments in DIRECTORY" to RAN.TXT there.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring name = self;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  wchar_t dir[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, dir);
  std::wstring line = name;
  for (int i = 1; i < argc; ++i) line += std::wstring(L" ") + argv[i];
  line += std::wstring(L" in ") + dir + L"\r\n";
  const std::string bytes(line.begin(), line.end());  // ASCII paths only in this test
  HANDLE record = CreateFileW(L"RAN.TXT", FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (record == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(record, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(record);
  if (CompareStringOrdinal(name.c_str(), -1, L"PKUNZIP.EXE", -1, TRUE) == CSTR_EQUAL)
    return CopyFileW(self, L"SETUP.EXE", FALSE) ? 0 : 4;
  return 0;
}
