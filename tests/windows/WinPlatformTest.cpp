// The rest of the Win32 layer: path forms, the instance and file locks, the
// change notification, the clipboard, the Word version, the FTP host, and
// printing without a printer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "WinTestDir.h"
#include "platform/win32/ExcelSpreadsheet.h"
#include "platform/win32/GdiPrinting.h"
#include "platform/win32/WinDesktop.h"
#include "platform/win32/WinDirectoryWatcher.h"
#include "platform/win32/WinFileSystem.h"
#include "platform/win32/WinInetFtpClient.h"
#include "platform/win32/WinSystem.h"
#include "platform/win32/WinText.h"
#include "text/Paths.h"

namespace marvena::test {
namespace {

TEST(WinPaths, ToolPathsBecomeLongWin32PathsAndBack) {
  struct Case {
    const char* tool;
    const wchar_t* win32;
  } cases[] = {
      {"C:/MARVENA/SPOOL", L"\\\\?\\C:\\MARVENA\\SPOOL"},
      {"C:\\MARVENA\\..\\SPOOL\\.\\A.txt", L"\\\\?\\C:\\SPOOL\\A.txt"},
      {"//server/share/SPOOL", L"\\\\?\\UNC\\server\\share\\SPOOL"},
      {"C:/Šiauliai/ąčę", L"\\\\?\\C:\\\u0160iauliai\\\u0105\u010d\u0119"},
      {"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(longPathOf(c.tool), c.win32) << c.tool;
  EXPECT_EQ(toolPath(L"\\\\?\\C:\\A\\B"), "C:/A/B");
  EXPECT_EQ(toolPath(L"\\\\?\\UNC\\srv\\sh\\x"), "//srv/sh/x");
  EXPECT_EQ(utf8From(utf16From("žąsis ūkis")), "žąsis ūkis");
}

TEST(WinPaths, DosPathsKeepTheirDriveWithoutADriveRoot) {
  struct Case {
    const char* dos;
    const char* root;
    const char* want;
  } cases[] = {
      {"D:\\MARVENA\\SPOOL\\", "", "D:/MARVENA/SPOOL"},
      {"\\MARVENA\\SPOOL", "", "/MARVENA/SPOOL"},
      {"C:\\X", "E:/dos", "E:/dos/X"},
      {"relative", "", "relative"},
  };
  for (const Case& c : cases) EXPECT_EQ(mapDosPath(c.dos, c.root), c.want) << c.dos;
}

TEST(WinSystem, OneInstancePerSettingsFileWhateverTheCaseOrSlashes) {
  EXPECT_EQ(instanceMutexName("C:/Windows/MARVENA.INI"),
            instanceMutexName("c:\\windows\\marvena.ini"));
  EXPECT_NE(instanceMutexName("C:/A/MARVENA.INI"), instanceMutexName("C:/B/MARVENA.INI"));
  EXPECT_EQ(instanceMutexName("x").rfind(L"Marvena Spool ", 0), 0u);
  const std::wstring name = instanceMutexName("test:" + std::to_string(GetCurrentProcessId()));
  {
    NamedMutex first(name);
    EXPECT_TRUE(first.acquired());
    NamedMutex second(name);
    EXPECT_FALSE(second.acquired());
  }
  NamedMutex again(name);
  EXPECT_TRUE(again.acquired());
}

TEST(WinSystem, TheSpoolLockFileIsHeldAgainstOthers) {
  WinTestDir dir;
  const std::string path = dir.path() + "/instance.lock";
  {
    WinFileLock first(path);
    EXPECT_TRUE(first.made() && first.acquired());
    WinFileLock second(path);
    EXPECT_TRUE(second.made());
    EXPECT_FALSE(second.acquired());
  }
  WinFileLock again(path);
  EXPECT_TRUE(again.acquired());
  WinFileLock nowhere(dir.path() + "/no/such/dir/instance.lock");
  EXPECT_FALSE(nowhere.made());
}

TEST(WinSystem, RealPathsAreAbsoluteAndResolved) {
  WinTestDir dir;
  CreateDirectoryW(longPathOf(dir.path() + "/a").c_str(), nullptr);
  const std::string real = winRealPath(dir.path() + "/a/../a/not-yet.ini");
  EXPECT_EQ(real.substr(real.size() - 14), "/a/not-yet.ini");
  EXPECT_EQ(real.find(".."), std::string::npos);
  EXPECT_EQ(winRealPath(dir.path() + "/a"), winRealPath(dir.path() + "/A/"));
  EXPECT_TRUE(winProcessRunning(GetCurrentProcessId()));
  EXPECT_FALSE(winProcessRunning(0));
  EXPECT_FALSE(winHostName().empty());
  WinLocale locale;
  EXPECT_TRUE(locale.decimalSeparator() == '.' || locale.decimalSeparator() == ',');
  EXPECT_FALSE(locale.shortDate(LocalTime{2009, 3, 31, 12, 0, 0}).empty());
}

TEST(WinSystem, WordVersionComesFromTheRegistryWithoutStartingWord) {
  HKEY existing = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Word.Application", 0, KEY_READ, &existing) ==
      ERROR_SUCCESS) {
    RegCloseKey(existing);
    GTEST_SKIP() << "Word is installed here; its own version would be read";
  }
  EXPECT_EQ(wordVersionFromRegistry(), "");
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Word.Application\\CurVer", 0, nullptr, 0, KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    GTEST_SKIP() << "no right to register a class here";
  const wchar_t value[] = L"Word.Application.16";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
  EXPECT_EQ(wordVersionFromRegistry(), "16");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Word.Application");
}

TEST(WinFtp, HostsAreCheckedBeforeAnyConnection) {
  struct Case {
    const char* host;
    bool ok;
    const char* name;
    int port;
  } cases[] = {
      {"ftp.vmi.lt", true, "ftp.vmi.lt", 21},
      {"127.0.0.1:2121", true, "127.0.0.1", 2121},
      {"[::1]:21", true, "::1", 21},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:21x", false, "", 0},
      {"user@host", false, "", 0},
      {"host/dir", false, "", 0},
      {"", false, "", 0},
      {"[::1", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string name;
    int port = 0;
    EXPECT_EQ(splitFtpHost(c.host, &name, &port), c.ok) << c.host;
    if (c.ok) {
      EXPECT_EQ(std::make_pair(name, port), std::make_pair(std::string(c.name), c.port));
    }
  }
  WinInetFtpClient ftp;
  FtpUpload tls;
  tls.host = "127.0.0.1:9";
  tls.tls = FtpTls::Required;
  FtpError error;
  EXPECT_FALSE(ftp.upload(tls, "data", {}, &error));
  EXPECT_EQ(error.step, FtpStep::Connect);
  EXPECT_NE(error.message.find("TLS"), std::string::npos);
  FtpUpload bad;
  bad.host = "a b";
  bad.password = "secret";
  EXPECT_FALSE(ftp.remove(bad, "x", &error));
  EXPECT_EQ(error.message.find("secret"), std::string::npos);
}

TEST(WinDesktop, ClipboardHoldsUnicodeAndOemText) {
  WinClipboard clipboard;
  std::string error;
  if (!clipboard.setText("Ąžuolas ūkis", &error))
    GTEST_SKIP() << "no clipboard on this desktop: " << error;
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(utf8From(static_cast<const wchar_t*>(GlobalLock(data))), "Ąžuolas ūkis");
  GlobalUnlock(data);
  CloseClipboard();

  ASSERT_TRUE(clipboard.setOemText(std::string("\xb5\xd0 ok\0tail", 9), &error)) << error;
  ASSERT_TRUE(OpenClipboard(nullptr));
  data = GetClipboardData(CF_OEMTEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(data))), "\xb5\xd0 ok");
  GlobalUnlock(data);
  CloseClipboard();
}

TEST(WinDesktop, OnlyWebAddressesAreOpened) {
  WinUrlOpener opener;
  std::string error;
  for (const char* url : {"C:\\Windows\\notepad.exe", "calc", "file:///C:/x", ""}) {
    EXPECT_FALSE(opener.open(url, &error)) << url;
    EXPECT_NE(error.find("not a web address"), std::string::npos);
  }
}

TEST(WinWatcher, NamesOfNewJobsAreReportedAndAVanishedDirectoryAsAWhole) {
  WinTestDir dir;
  const std::string spool = dir.path() + "/SPOOL";
  CreateDirectoryW(longPathOf(spool).c_str(), nullptr);
  WinDirectoryWatcher watcher;
  ASSERT_TRUE(watcher.watch(spool));
  EXPECT_TRUE(watcher.watch(spool));  // once is enough
  EXPECT_FALSE(watcher.watch(dir.path() + "/missing"));
  WinFileSystem fs;
  std::string error;
  ASSERT_TRUE(fs.appendFile(spool + "/ŽINIA.CLB", "x", &error));
  std::vector<DirectoryWatcher::Event> events;
  for (int i = 0; i < 50 && events.empty(); ++i) {
    WaitForSingleObject(watcher.wakeEvent(), 100);
    events = watcher.read();
  }
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].dir, spool);
  EXPECT_EQ(events[0].name, "ŽINIA.CLB");

  fs.remove(spool + "/ŽINIA.CLB");
  ASSERT_TRUE(RemoveDirectoryW(longPathOf(spool).c_str()));
  // The loop's one-second rewatch finds the directory gone (or pending its
  // removal while the watch held it) and lets go of it.
  EXPECT_FALSE(watcher.watch(spool));
  bool whole = false;
  for (int i = 0; i < 50 && !whole; ++i) {
    WaitForSingleObject(watcher.wakeEvent(), 100);
    for (const auto& e : watcher.read()) whole = whole || e.name.empty();
  }
  EXPECT_TRUE(whole) << "the directory's end is reported as a whole-directory event";
  // Made again, it is watched again.
  ASSERT_TRUE(CreateDirectoryW(longPathOf(spool).c_str(), nullptr));
  EXPECT_TRUE(watcher.watch(spool));
  ASSERT_TRUE(fs.appendFile(spool + "/B.CLB", "x", &error));
  events.clear();
  for (int i = 0; i < 50 && events.empty(); ++i) {
    WaitForSingleObject(watcher.wakeEvent(), 100);
    events = watcher.read();
  }
  ASSERT_FALSE(events.empty()) << "the new directory is watched";
  EXPECT_EQ(events[0].name, "B.CLB");
}

TEST(WinPrinting, WithoutAPrinterNothingIsPrintedAndTheErrorSaysSo) {
  GdiPrinters printers;
  if (!printers.names().empty()) GTEST_SKIP() << "this system has printers";
  EXPECT_EQ(printers.defaultIndex(), -1);
  EXPECT_FALSE(printers.select(-1));
  EXPECT_FALSE(printers.select(3));
  PrinterMetrics m;
  EXPECT_FALSE(printers.metrics(&m));
  EXPECT_TRUE(printers.paperList().empty());
  GdiPrintDevice device(printers, "", {});
  std::string error;
  device.setDocumentName("KVITAS.txt", "KVITAS");
  EXPECT_FALSE(device.beginDocument(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(device.printing());
  EXPECT_FALSE(device.newPage(&error));
  EXPECT_FALSE(device.endDocument(&error));
  device.drawText(0, 0, "x");  // harmless without a context
  EXPECT_EQ(device.textWidth("abc"), 0);
}

TEST(WinExcel, WithoutExcelEveryCallFailsAsUnreachableAndNothingCrashes) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    ExcelSpreadsheet excel;
    SpreadsheetError error;
    if (excel.connect(&error)) GTEST_SKIP() << "Excel is installed here";
    EXPECT_EQ(error.fault, SpreadsheetFault::Unreachable);
    EXPECT_FALSE(error.detail.empty());
    // A job that goes on regardless meets refusals, never a null object.
    WorkbookState state;
    EXPECT_FALSE(excel.workbookState("C:/x.xls", &state, &error));
    EXPECT_FALSE(excel.openWorkbook("C:/x.xls", &error));
    EXPECT_FALSE(excel.activateSheet("Lapas1", &error));
    EXPECT_FALSE(excel.setCellText("A1", "x", &error));
    EXPECT_FALSE(excel.show(&error));
    excel.disconnect();
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
}  // namespace marvena::test
