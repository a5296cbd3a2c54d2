#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/curl/CurlFtpClient.h"

namespace marvena {
namespace {

TEST(FtpUploadUrlTest, EscapesEveryPartAndRejectsOddHosts) {
  struct Case {
    std::string host, file, url;
  };
  const Case cases[] = {
      {"ftp.example.lt", "SF123.XML", "ftp://ftp.example.lt/xml/sale/SF123.XML"},
      {"127.0.0.1:2121", "A B.XML", "ftp://127.0.0.1:2121/xml/sale/A%20B.XML"},
      {"ftp://h/", "a#b?c%d.XML", "ftp://h/xml/sale/a%23b%3Fc%25d.XML"},
      {"[::1]:21", "x;type=a.XML", "ftp://[::1]:21/xml/sale/x%3Btype%3Da.XML"},
      {"", "x.XML", ""},
      {"user:pw@host", "x.XML", ""},
      {"host/path", "x.XML", ""},
      {"host name", "x.XML", ""},
  };
  for (const Case& c : cases) {
    FtpUpload up;
    up.host = c.host;
    up.directories = {"xml", "sale"};
    up.fileName = c.file;
    EXPECT_EQ(ftpUploadUrl(up), c.url) << c.host;
  }
}

TEST(HideSecretTest, EveryOccurrence) {
  EXPECT_EQ(hideSecret("pw and pw", "pw"), "*** and ***");
  EXPECT_EQ(hideSecret("nothing", ""), "nothing");
  EXPECT_EQ(hideSecret("aaaa", "aa"), "******");
}

TEST(CurlFtpClientTest, UnusableHostFailsWithoutThePassword) {
  CurlFtpClient client;
  FtpUpload up;
  up.host = "h/zz9secret";
  up.password = "zz9secret";
  up.fileName = "x.XML";
  FtpError error;
  EXPECT_FALSE(client.upload(up, "data", {}, &error));
  EXPECT_EQ(error.message.find("zz9secret"), std::string::npos);
  EXPECT_NE(error.message.find("***"), std::string::npos);
}

// pyftpdlib on loopback in a process of its own, serving a fresh directory.
class TestServer {
 public:
  explicit TestServer(const char* mode) {
    char pattern[] = "/tmp/marvena-curl-ftp-XXXXXX";
    if (::mkdtemp(pattern)) root = pattern;
    std::filesystem::create_directories(root + "/xml/sale");
    int fds[2];
    if (root.empty() || ::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      ::execl("/usr/bin/python3", "python3", MARVENA_FTP_SERVER, "--root", root.c_str(),
              "--password", "pw", "--mode", mode, "--after", "262144", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char line[64] = {};
    std::size_t n = 0;
    while (n < sizeof line - 1 && ::read(fds[0], line + n, 1) == 1 && line[n] != '\n') ++n;
    ::close(fds[0]);
    port_ = std::atoi(line + 5);
  }
  ~TestServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (!root.empty()) std::filesystem::remove_all(root);
  }
  bool up() const { return port_ > 0; }
  FtpUpload session(std::vector<std::string> directories) const {
    FtpUpload up;
    up.host = "127.0.0.1:" + std::to_string(port_);
    up.user = "marvena";
    up.password = "pw";
    up.directories = std::move(directories);
    up.connectTimeoutSeconds = 5;
    up.stallTimeoutSeconds = 1;
    return up;
  }
  std::string read(const std::string& path) const {
    std::ifstream in(root + "/" + path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return in ? s.str() : "<missing>";
  }

  std::string root;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

TEST(CurlFtpClientTest, RefusalsNameTheRefusedCommandAndItsReply) {
  TestServer server("noreplace");
  ASSERT_TRUE(server.up());
  std::ofstream(server.root + "/xml/sale/SALE.XML") << "old";
  CurlFtpClient client;
  FtpError e;

  FtpUpload up = server.session({"xml", "nope"});
  up.fileName = "X.XML";
  EXPECT_FALSE(client.upload(up, "new", {}, &e));
  EXPECT_EQ(e.step, FtpStep::ChangeDirectory);
  EXPECT_EQ(e.command, "CWD nope");
  EXPECT_EQ(e.reply, 550);  // not the 221 that answered QUIT
  EXPECT_FALSE(e.partial);
  EXPECT_NE(e.message.find("CWD nope: 550"), std::string::npos) << e.message;

  // Stored, then the rename onto the existing file refused.
  up = server.session({"xml", "sale"});
  up.fileName = ".SALE.XML.t.part";
  up.renameTo = "SALE.XML";
  EXPECT_FALSE(client.upload(up, "new", {}, &e));
  EXPECT_EQ(e.step, FtpStep::Rename);
  EXPECT_EQ(e.command, "RNTO SALE.XML");
  EXPECT_EQ(e.reply, 550);
  EXPECT_EQ(server.read("xml/sale/.SALE.XML.t.part"), "new");
  EXPECT_EQ(server.read("xml/sale/SALE.XML"), "old");

  // Sessions of their own: delete, rename.
  EXPECT_TRUE(client.remove(up, "SALE.XML", &e)) << e.message;
  EXPECT_TRUE(client.rename(up, ".SALE.XML.t.part", "SALE.XML", &e)) << e.message;
  EXPECT_EQ(server.read("xml/sale/SALE.XML"), "new");
  EXPECT_FALSE(client.remove(up, ".SALE.XML.t.part", &e));
  EXPECT_EQ(e.step, FtpStep::Delete);
  EXPECT_EQ(e.reply, 550);
  EXPECT_FALSE(client.remove(up, "A\r\nDELE SALE.XML", &e));  // one command per name
  EXPECT_EQ(server.read("xml/sale/SALE.XML"), "new");
}

TEST(CurlFtpClientTest, StallMidFileIsReportedAsPartial) {
  TestServer server("stall-data");
  ASSERT_TRUE(server.up());
  CurlFtpClient client;
  FtpUpload up = server.session({"xml", "sale"});
  up.fileName = "SALE.XML";
  FtpError e;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.upload(up, std::string(8 << 20, 'x'), {}, &e));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(e.step, FtpStep::Store);
  EXPECT_EQ(e.command, "STOR SALE.XML");
  EXPECT_TRUE(e.partial);
  EXPECT_NE(e.message.find("no data moved and no reply from the server for 1 s"), std::string::npos)
      << e.message;
}

}  // namespace
}  // namespace marvena
