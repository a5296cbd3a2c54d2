// The small rules of maintenance, table by table: SHA-256 against published
// vectors, when a local copy is current, the server address, the digest
// list and the command lines of the kits.
#include <gtest/gtest.h>

#include "maintenance/KitRules.h"
#include "maintenance/Sha256.h"

namespace marvena {
namespace {

TEST(Sha256Test, KnownVectorsWholeAndInPieces) {
  struct Case {
    std::string input, digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // Lengths around the padding boundary.
      {std::string(55, 'x'), ""},
      {std::string(56, 'x'), ""},
      {std::string(64, 'x'), ""},
  };
  for (const Case& c : cases) {
    const std::string whole = sha256Hex(c.input);
    if (!c.digest.empty()) {
      EXPECT_EQ(whole, c.digest) << c.input.size();
    }
    for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 4096u}) {
      Sha256 h;
      for (std::size_t at = 0; at < c.input.size(); at += piece)
        h.update(std::string_view(c.input).substr(at, piece));
      EXPECT_EQ(h.hexDigest(), whole) << c.input.size() << " in pieces of " << piece;
    }
  }
}

TEST(LocalCopyCurrentTest, TimeToleranceAndSize) {
  const std::int64_t server = 1'700'000'000;
  struct Case {
    const char* what;
    LocalCopy local;
    HttpHead remote;
    bool current;
  };
  const Case cases[] = {
      {"10 minutes older, same size", {true, server - 600, 100}, {server, 100}, true},
      {"20 minutes older, same size", {true, server - 1200, 100}, {server, 100}, false},
      {"exactly 0.01 day older", {true, server - 864, 100}, {server, 100}, true},
      {"one second beyond 0.01 day", {true, server - 865, 100}, {server, 100}, false},
      {"newer than the server", {true, server + 5000, 100}, {server, 100}, true},
      {"same time, other size", {true, server, 99}, {server, 100}, false},
      {"no Content-Length", {true, server, 100}, {server, -1}, false},
      {"no Last-Modified, same size", {true, 0, 100}, {-1, 100}, true},
      {"missing file, server has a date", {false, 0, 0}, {server, 0}, false},
      {"missing file, server says nothing", {false, 0, 0}, {-1, 0}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(localCopyCurrent(c.local, c.remote), c.current) << c.what;
}

TEST(ServerAddressTest, HttpsByDefaultPlainOnlyWhenWritten) {
  struct Case {
    const char* setting;
    const char* base;  // nullptr: refused
    bool plain;
  };
  const Case cases[] = {
      {"", "https://www.marvena.lt", false},
      {"  ", "https://www.marvena.lt", false},
      {"https://www.marvena.lt/", "https://www.marvena.lt", false},
      {"HTTPS://Host:8443/kits//", "https://Host:8443/kits", false},
      {"http://192.168.1.5", "http://192.168.1.5", true},
      {"http://[::1]:8080", "http://[::1]:8080", true},
      {"ftp://host", nullptr, false},
      {"www.marvena.lt", nullptr, false},
      {"https://", nullptr, false},
      {"https://:443", nullptr, false},
      {"https://user:pw@host", nullptr, false},
      {"https://host/a b", nullptr, false},
      {"https://host/?x=1", nullptr, false},
      {"https://host/#x", nullptr, false},
      {"https://host\\x", nullptr, false},
      {"file:///etc/passwd", nullptr, false},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<ServerAddress> a = parseServerAddress(c.setting, &error);
    if (!c.base) {
      EXPECT_FALSE(a) << c.setting;
      EXPECT_FALSE(error.empty()) << c.setting;
      continue;
    }
    ASSERT_TRUE(a) << c.setting << ": " << error;
    EXPECT_EQ(a->base, c.base);
    EXPECT_EQ(a->plainHttp, c.plain) << c.setting;
  }
  EXPECT_EQ(kitFileUrl({"https://h", false}, "MODIFY"), "https://h/FILES/MODIFY");
}

TEST(DigestListTest, ParsesWhatSha256sumWritesAndRefusesTheRest) {
  const std::string a(64, 'a'), b(64, 'B');
  std::string error;
  const std::optional<DigestList> list =
      DigestList::parse("# kits\r\n" + a + "  MODIFY\r\n" + b + " *PKUNZIP\n\n" + a +
                            "  ./marvena1.zip\n" + a + "  MODIFY\n",
                        &error);
  ASSERT_TRUE(list) << error;
  EXPECT_EQ(list->size(), 3u);
  ASSERT_TRUE(list->find("modify"));
  EXPECT_EQ(*list->find("MODIFY"), a);
  EXPECT_EQ(*list->find("PKUNZIP"), std::string(64, 'b'));  // lower case
  EXPECT_TRUE(list->find("MARVENA1.ZIP"));
  EXPECT_FALSE(list->find("MARVENA2.ZIP"));

  const std::string bad[] = {
      "",
      "# only a comment\n",
      a + "MODIFY\n",                       // no blank
      std::string(63, 'a') + "  MODIFY\n",  // short digest
      std::string(64, 'g') + "  MODIFY\n",  // not hex
      a + "  \n",                           // no name
      a + "  ../MODIFY\n",                  // not a plain name
      a + "  FILES/MODIFY\n",
      a + "  MODIFY\n" + b + "  modify\n",  // twice, different digests
      a + "  MODIFY\n<html>not found</html>\n",
  };
  for (const std::string& text : bad) EXPECT_FALSE(DigestList::parse(text, &error)) << text;
}

TEST(KitCommandsTest, TheBatchFileThroughTheDosCommand) {
  struct Case {
    const char* dos;
    const char* program;
  };
  const Case cases[] = {
      {"dosemu -dumb -E \"CALL {bat}\"", "dosemu -dumb -E \"CALL \\MARVENA\\INSTALL\\modify.bat\""},
      {"dosbox -c {bat} -c {bat}",
       "dosbox -c \\MARVENA\\INSTALL\\modify.bat -c \\MARVENA\\INSTALL\\modify.bat"},
      {"  rundos  ", "rundos \\MARVENA\\INSTALL\\modify.bat"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hostKitCommands(c.dos, "/bin/sh SETUP.SH").program, c.program) << c.dos;
  const KitCommands host = hostKitCommands("x", " /bin/sh SETUP.SH ");
  EXPECT_EQ(host.spoolUnpack, "");
  EXPECT_EQ(host.spoolSetup, "/bin/sh SETUP.SH");

  const KitCommands win = windowsKitCommands("C:\\WINDOWS\\COMMAND.COM");
  EXPECT_EQ(win.program, "C:\\WINDOWS\\COMMAND.COM /C CALL \\MARVENA\\INSTALL\\modify.bat ");
  EXPECT_EQ(win.spoolUnpack,
            "C:\\WINDOWS\\COMMAND.COM /C CALL \\MARVENA\\INSTALL\\SPOOL\\PKUNZIP -o SPOOL");
  EXPECT_EQ(win.spoolSetup, "\\MARVENA\\INSTALL\\SPOOL\\SETUP.EXE");
}

}  // namespace
}  // namespace marvena
