// Our settings reader beside the system's profile API on the same hostile
// files: where Windows and we read a file the same way, a settings file a
// user edited by hand means the same to the tool on both systems.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "platform/win32/WinFileSystem.h"
#include "platform/win32/WinText.h"
#include "settings/ProfileFile.h"

namespace marvena::test {
namespace {

struct Query {
  const char* section;
  const char* key;
};

struct Case {
  const char* name;
  std::string bytes;
  std::vector<Query> queries;
  // Why the two read this file differently; empty when they must agree.
  const char* differs = "";
};

std::string systemRead(const std::string& ansiPath, const Query& q) {
  char buf[4096] = {};
  GetPrivateProfileStringA(q.section, q.key, "<default>", buf, sizeof buf, ansiPath.c_str());
  return buf;
}

TEST(ProfileCompare, OurReaderAgreesWithGetPrivateProfileStringOnHostileFiles) {
  const std::string many(3000, 'v');
  const std::vector<Case> cases = {
      {"plain",
       "[Spool]\r\nPath=C:\\SPOOL\r\nPrinterIndex=2\r\n",
       {{"Spool", "Path"}, {"Spool", "PrinterIndex"}, {"Spool", "Missing"}, {"None", "Path"}}},
      {"case", "[sPoOl]\nPATH=x\n", {{"Spool", "Path"}, {"SPOOL", "path"}}},
      {"spaces", "  [Spool]  \n  Path  =  x y  \n", {{"Spool", "Path"}}},
      {"duplicate keys", "[S]\nA=1\nA=2\n", {{"S", "A"}}},
      {"equals in value", "[S]\nA=b=c\n", {{"S", "A"}}},
      {"empty value", "[S]\nA=\n", {{"S", "A"}}},
      {"no equals", "[S]\nnoequals\nB=2\n", {{"S", "noequals"}, {"S", "B"}}},
      {"no final newline", "[S]\nA=last", {{"S", "A"}}},
      {"unclosed section", "[S\nA=1\n[T]\nA=2\n", {{"S", "A"}, {"T", "A"}}},
      {"high bytes", "[S]\nA=\xfd\xe0\xff\x80\n", {{"S", "A"}}},
      {"long value", "[S]\nA=" + many + "\n", {{"S", "A"}}},
      {"junk before sections", std::string("\x01\x02garbage\nA=0\n[S]\nA=1\n"), {{"S", "A"}}},
      {"cr only", "[S]\rA=1\rB=2\r", {{"S", "A"}, {"S", "B"}}},
      {"utf-16 mark",
       std::string("\xff\xfe[\0S\0]\0\r\0\n\0A\0=\0\x31\0\r\0\n\0B\0=\0x\0\n\0", 30),
       {{"S", "A"}, {"S", "B"}}},
  };
  char tmp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, tmp);
  const std::string ansiPath =
      std::string(tmp) + "marvena-profile-" + std::to_string(GetCurrentProcessId()) + ".ini";
  WinFileSystem fs;
  int compared = 0;
  for (const Case& c : cases) {
    {
      std::FILE* f = std::fopen(ansiPath.c_str(), "wb");
      ASSERT_TRUE(f);
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    }
    // Windows caches profile files; a write of nothing flushes that cache.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ansiPath.c_str());
    ProfileFile ours(fs, toolPath(utf16From(ansiPath)), '.');
    for (const Query& q : c.queries) {
      if (*c.differs) {
        std::printf("differs on purpose: %s: %s\n", c.name, c.differs);
        continue;
      }
      EXPECT_EQ(ours.readString(q.section, q.key, "<default>"), systemRead(ansiPath, q))
          << c.name << ": [" << q.section << "] " << q.key;
      ++compared;
    }
  }
  std::remove(ansiPath.c_str());
  EXPECT_GE(compared, 22);
}

}  // namespace
}  // namespace marvena::test
