// The libcurl client against a real web server on loopback: what HEAD
// tells, GET streamed in pieces, errors, certificates, redirects, stalls.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <fstream>

#include "KitServer.h"
#include "platform/curl/CurlHttpClient.h"

namespace marvena {
namespace {

void Write(const std::string& path, const std::string& bytes, std::int64_t mtime) {
  std::ofstream(path, std::ios::binary) << bytes;
  const utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
  ::utime(path.c_str(), &times);
}

struct Fetched {
  bool ok = false;
  std::string body;
  int pieces = 0;
  std::int64_t lastDone = 0, lastTotal = 0;
  HttpError error;
};

Fetched Get(const std::string& url, const HttpOptions& options = {}) {
  CurlHttpClient client;
  Fetched f;
  f.ok = client.get(
      url, options,
      [&](std::string_view bytes) {
        f.body.append(bytes);
        ++f.pieces;
        return true;
      },
      [&](std::int64_t done, std::int64_t total) {
        f.lastDone = done;
        f.lastTotal = total;
        return true;
      },
      &f.error);
  return f;
}

class CurlHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    std::filesystem::create_directories(dir.path + "/FILES");
    body = std::string(3 << 20, 'k');
    for (std::size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + i % 26);
    Write(dir.path + "/FILES/MARVENA1.ZIP", body, 1'700'000'000);
  }
  TempDir dir;
  std::string body;
};

TEST_F(CurlHttpClientTest, HeadAndStreamedGet) {
  KitServer server(dir.path);
  ASSERT_GT(server.port, 0);
  CurlHttpClient client;
  HttpHead head;
  HttpError error;
  ASSERT_TRUE(client.head(server.url() + "/FILES/MARVENA1.ZIP", {}, &head, &error))
      << error.message;
  EXPECT_EQ(head.lastModified, 1'700'000'000);
  EXPECT_EQ(head.contentLength, static_cast<std::int64_t>(body.size()));

  const Fetched f = Get(server.url() + "/FILES/MARVENA1.ZIP");
  ASSERT_TRUE(f.ok) << f.error.message;
  EXPECT_TRUE(f.body == body);
  EXPECT_GT(f.pieces, 10);  // never handed over whole
  EXPECT_EQ(f.lastTotal, static_cast<std::int64_t>(body.size()));
}

TEST_F(CurlHttpClientTest, ErrorsCarryTheStatusAndNoErrorPage) {
  KitServer server(dir.path, {"--status", "GONE=500"});
  CurlHttpClient client;
  HttpHead head;
  HttpError error;
  EXPECT_FALSE(client.head(server.url() + "/FILES/MODIFY", {}, &head, &error));
  EXPECT_EQ(error.status, 404);
  const Fetched f = Get(server.url() + "/FILES/GONE");
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.error.status, 500);
  EXPECT_TRUE(f.body.empty());

  // Nobody listens: no status, a message.
  KitServer closed(dir.path);
  const std::string deadUrl = closed.url() + "/FILES/MODIFY";
  closed.stop();
  const Fetched dead = Get(deadUrl);
  EXPECT_FALSE(dead.ok);
  EXPECT_EQ(dead.error.status, 0);
  EXPECT_FALSE(dead.error.message.empty());
}

TEST_F(CurlHttpClientTest, HttpsChecksTheCertificate) {
  ASSERT_TRUE(makeCertificate(dir.path));
  KitServer server(dir.path, {"--cert", dir.path + "/cert.pem", "--key", dir.path + "/key.pem"});
  ASSERT_GT(server.port, 0);
  const std::string url = server.url("https") + "/FILES/MARVENA1.ZIP";
  const Fetched untrusted = Get(url);
  EXPECT_FALSE(untrusted.ok);
  EXPECT_EQ(untrusted.error.status, 0);
  EXPECT_TRUE(untrusted.body.empty());

  HttpOptions trusted;
  trusted.caFile = dir.path + "/cert.pem";
  const Fetched f = Get(url, trusted);
  ASSERT_TRUE(f.ok) << f.error.message;
  EXPECT_TRUE(f.body == body);
}

TEST_F(CurlHttpClientTest, HttpsNeverRedirectsToPlainHttp) {
  ASSERT_TRUE(makeCertificate(dir.path));
  KitServer plain(dir.path);
  const std::string target = plain.url() + "/FILES/MARVENA1.ZIP";
  KitServer tls(dir.path,
                {"--cert", dir.path + "/cert.pem", "--key", dir.path + "/key.pem", "--redirect",
                 "DOWN=" + target, "--redirect", "SAME=/FILES/MARVENA1.ZIP"});
  HttpOptions options;
  options.caFile = dir.path + "/cert.pem";
  const Fetched down = Get(tls.url("https") + "/FILES/DOWN", options);
  EXPECT_FALSE(down.ok);
  EXPECT_TRUE(down.body.empty());
  const Fetched same = Get(tls.url("https") + "/FILES/SAME", options);
  EXPECT_TRUE(same.ok) << same.error.message;

  KitServer plainRedirect(dir.path, {"--redirect", "MOVED=" + target});
  EXPECT_TRUE(Get(plainRedirect.url() + "/FILES/MOVED").ok);
}

TEST_F(CurlHttpClientTest, AStalledTransferTimesOut) {
  KitServer server(dir.path, {"--stall", "MARVENA1.ZIP"});
  HttpOptions options;
  options.stallTimeoutSeconds = 2;
  const auto start = std::chrono::steady_clock::now();
  const Fetched f = Get(server.url() + "/FILES/MARVENA1.ZIP", options);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
          .count();
  EXPECT_FALSE(f.ok);
  EXPECT_TRUE(f.error.timedOut) << f.error.message;
  EXPECT_LT(seconds, 30);
}

TEST_F(CurlHttpClientTest, RefusingSinkAndCancelStopTheTransfer) {
  KitServer server(dir.path);
  CurlHttpClient client;
  const std::string url = server.url() + "/FILES/MARVENA1.ZIP";
  HttpError error;
  EXPECT_FALSE(client.get(
      url, {}, [](std::string_view) { return false; }, {}, &error));
  EXPECT_TRUE(error.sinkFailed);

  HttpError cancelled;
  std::int64_t received = 0;
  EXPECT_FALSE(client.get(
      url, {},
      [&](std::string_view bytes) {
        received += static_cast<std::int64_t>(bytes.size());
        return true;
      },
      [&](std::int64_t done, std::int64_t) { return done < 100000; }, &cancelled));
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_LT(received, static_cast<std::int64_t>(body.size()));
}

}  // namespace
}  // namespace marvena
