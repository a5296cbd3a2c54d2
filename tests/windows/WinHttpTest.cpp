// The maintenance downloads on Windows under Wine: WinINet against web
// servers on loopback that http_driver.py starts (their addresses come in
// the environment), and the file times the saved kits take.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "WinTestDir.h"
#include "platform/win32/WinFileSystem.h"
#include "platform/win32/WinFileTimes.h"
#include "platform/win32/WinInetHttpClient.h"
#include "platform/win32/WinText.h"

namespace marvena::test {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The served file as the driver wrote it, read through Wine's Z: drive.
std::string Served(const std::string& name) {
  std::string error;
  return WinFileSystem()
      .readFile(Env("MARVENA_TEST_HTTP_ROOT") + "/FILES/" + name, &error)
      .value_or("");
}

struct Fetched {
  bool ok = false;
  std::string body;
  int pieces = 0;
  std::int64_t lastDone = -1, lastTotal = 0;
  HttpError error;
};

Fetched Get(const std::string& url, HttpOptions options = {}) {
  WinInetHttpClient client;
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

TEST(WinHttpRules, RedirectsNeverLeadFromHttpsToPlainHttp) {
  struct Case {
    const char* from;
    const char* to;
    bool allowed;
  } cases[] = {
      {"https://a/FILES/X", "https://b/FILES/X", true},
      {"HTTPS://a/FILES/X", "HTTPS://b/X", true},
      {"https://a/FILES/X", "http://a/FILES/X", false},
      {"https://a/FILES/X", "HTTP://a/FILES/X", false},
      {"http://a/FILES/X", "https://a/FILES/X", true},
      {"http://a/FILES/X", "http://b/FILES/X", true},
      {"http://a/FILES/X", "ftp://a/FILES/X", false},
      {"https://a/FILES/X", "file:///C:/X", false},
      {"http://a/FILES/X", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(httpRedirectAllowed(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
}

TEST(WinHttpRules, ContentLengthIsPlainDigitsThatFit) {
  struct Case {
    const char* text;
    std::int64_t want;
  } cases[] = {
      {"0", 0},     {"524288000", 524288000},
      {" 12 ", 12}, {"5000000000", 5000000000LL},
      {"", -1},     {"-1", -1},
      {"12a", -1},  {"1 2", -1},
      {"+5", -1},   {"9999999999999999999", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(parseContentLength(c.text), c.want) << c.text;
}

TEST(WinFileTimes, TheModificationTimeIsSetAndReadBack) {
  WinTestDir dir;
  const std::string path = dir.path() + "/MODIFY.BAT";
  WinFileSystem fs;
  ASSERT_TRUE(fs.writeFileAtomic(path, "@echo off\r\n", nullptr));
  WinFileTimes times;
  for (const std::int64_t seconds : {1'765'000'000LL, 0LL, 4'102'444'800LL, -86'400LL}) {
    ASSERT_TRUE(times.setModified(path, seconds)) << seconds;
    EXPECT_EQ(winModifiedSeconds(path), seconds);
  }
  // Outside what a FILETIME holds: refused, the time stays.
  EXPECT_FALSE(times.setModified(path, -20'000'000'000LL));
  EXPECT_FALSE(times.setModified(path, 1'000'000'000'000LL));
  EXPECT_EQ(winModifiedSeconds(path), -86'400);
  EXPECT_FALSE(times.setModified(dir.path() + "/NERA.BAT", 1'765'000'000));
  EXPECT_FALSE(times.setModified(dir.path(), 1'765'000'000)) << "a directory";

  // Another process's handle without sharing: the time stays as it is.
  Handle held(
      CreateFileW(longPathOf(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());
  EXPECT_FALSE(times.setModified(path, 1'700'000'000));
  held.reset();
  EXPECT_EQ(winModifiedSeconds(path), -86'400);
}

class WinInetHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plain = Env("MARVENA_TEST_HTTP");
    if (plain.empty()) GTEST_SKIP() << "no web server: run through http_driver.py";
    body = Served("MARVENA1.ZIP");
    ASSERT_GT(body.size(), 1u << 20);
  }
  std::string plain;
  std::string body;
};

TEST_F(WinInetHttpTest, HeadTellsTheServersDateAndSize) {
  WinInetHttpClient client;
  HttpHead head;
  HttpError error;
  ASSERT_TRUE(client.head(plain + "/FILES/MARVENA1.ZIP", {}, &head, &error)) << error.message;
  EXPECT_EQ(head.lastModified, 1'700'000'000);
  EXPECT_EQ(head.contentLength, static_cast<std::int64_t>(body.size()));

  ASSERT_TRUE(client.head(plain + "/FILES/EMPTY", {}, &head, &error)) << error.message;
  EXPECT_EQ(head.lastModified, 1'765'000'000);
  EXPECT_EQ(head.contentLength, 0);
}

TEST_F(WinInetHttpTest, ErrorsCarryTheStatusAndNoErrorPage) {
  WinInetHttpClient client;
  HttpHead head;
  HttpError error;
  EXPECT_FALSE(client.head(plain + "/FILES/NERA", {}, &head, &error));
  EXPECT_EQ(error.status, 404);
  EXPECT_NE(error.message.find("404"), std::string::npos) << error.message;
  const Fetched gone = Get(plain + "/FILES/GONE");
  EXPECT_FALSE(gone.ok);
  EXPECT_EQ(gone.error.status, 500);
  EXPECT_TRUE(gone.body.empty());

  // Nobody listens: no status, a message naming the address.
  const Fetched dead = Get(Env("MARVENA_TEST_HTTP_DEAD") + "/FILES/MODIFY");
  EXPECT_FALSE(dead.ok);
  EXPECT_EQ(dead.error.status, 0);
  EXPECT_NE(dead.error.message.find("/FILES/MODIFY"), std::string::npos) << dead.error.message;

  const Fetched notHttp = Get("ftp://127.0.0.1/FILES/MODIFY");
  EXPECT_FALSE(notHttp.ok);
  EXPECT_EQ(notHttp.error.status, 0);
}

TEST_F(WinInetHttpTest, GetStreamsTheBodyIntoAFile) {
  WinTestDir dir;
  WinFileSystem fs;
  const std::string path = dir.path() + "/MARVENA1.ZIP";
  std::string error;
  std::unique_ptr<AtomicFile> out = fs.createAtomic(path, &error);
  ASSERT_TRUE(out) << error;
  WinInetHttpClient client;
  int pieces = 0;
  std::int64_t lastDone = 0, lastTotal = 0;
  HttpError httpError;
  ASSERT_TRUE(client.get(
      plain + "/FILES/MARVENA1.ZIP", {},
      [&](std::string_view bytes) {
        ++pieces;
        return out->write(bytes);
      },
      [&](std::int64_t done, std::int64_t total) {
        lastDone = done;
        lastTotal = total;
        return true;
      },
      &httpError))
      << httpError.message;
  ASSERT_TRUE(out->commit(&error)) << error;
  EXPECT_GT(pieces, 10);  // never handed over whole
  EXPECT_EQ(lastDone, static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(lastTotal, static_cast<std::int64_t>(body.size()));
  EXPECT_TRUE(fs.readFile(path, &error) == body);
}

TEST_F(WinInetHttpTest, RedirectsWithinPlainHttpAreFollowed) {
  const Fetched same = Get(plain + "/FILES/SAME");
  ASSERT_TRUE(same.ok) << same.error.message;
  EXPECT_TRUE(same.body == body);
  const Fetched away = Get(plain + "/FILES/AWAY");
  EXPECT_FALSE(away.ok) << "a redirect to ftp://";
  EXPECT_TRUE(away.body.empty());
}

TEST_F(WinInetHttpTest, RefusingSinkAndCancelStopTheTransfer) {
  WinInetHttpClient client;
  const std::string url = plain + "/FILES/MARVENA1.ZIP";
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

TEST_F(WinInetHttpTest, AStalledTransferTimesOut) {
  const std::string stalling = Env("MARVENA_TEST_HTTP_STALL");
  ASSERT_FALSE(stalling.empty());
  HttpOptions options;
  options.stallTimeoutSeconds = 2;
  const auto start = std::chrono::steady_clock::now();
  const Fetched f = Get(stalling + "/FILES/MARVENA1.ZIP", options);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
          .count();
  EXPECT_FALSE(f.ok);
  EXPECT_TRUE(f.error.timedOut) << f.error.message;
  EXPECT_LT(f.body.size(), body.size());
  EXPECT_LT(seconds, 30);
}

TEST_F(WinInetHttpTest, AnUntrustedCertificateIsAFailure) {
  const std::string tls = Env("MARVENA_TEST_HTTPS");
  if (tls.empty()) GTEST_SKIP() << "no TLS server (openssl missing)";
  WinInetHttpClient client;
  HttpHead head;
  HttpError error;
  EXPECT_FALSE(client.head(tls + "/FILES/MARVENA1.ZIP", {}, &head, &error));
  EXPECT_EQ(error.status, 0);
  const Fetched f = Get(tls + "/FILES/MARVENA1.ZIP");
  EXPECT_FALSE(f.ok);
  EXPECT_TRUE(f.body.empty());
}

}  // namespace
}  // namespace marvena::test
