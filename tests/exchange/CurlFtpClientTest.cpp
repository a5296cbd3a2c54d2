#include <gtest/gtest.h>

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
    EXPECT_EQ(FtpUploadUrl(up), c.url) << c.host;
  }
}

TEST(HideSecretTest, EveryOccurrence) {
  EXPECT_EQ(HideSecret("pw and pw", "pw"), "*** and ***");
  EXPECT_EQ(HideSecret("nothing", ""), "nothing");
  EXPECT_EQ(HideSecret("aaaa", "aa"), "******");
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

}  // namespace
}  // namespace marvena
