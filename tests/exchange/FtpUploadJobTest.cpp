#include <gtest/gtest.h>

#include "ExchangeFakes.h"
#include "exchange/FtpUploadJob.h"
#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"
#include "spool/Dispatcher.h"
#include "spool/JobStatus.h"

namespace marvena {
namespace {

constexpr const char* kExport = "/export";

struct FtpUploadJobTest : ::testing::Test {
  FakeFileSystem fs;
  FakeFtpClient ftp;
  FakeClock clock;
  FakeLocale locale;
  JobStatus status;
  FtpConnection connection;

  FtpUploadJobTest() {
    fs.dirs.insert(kExport);
    connection.host = "ftp.example.lt";
    connection.user = "buh";
    connection.password = "s3cret";
  }
  JobFile put(const std::string& name, std::string bytes) {
    const std::string path = std::string(kExport) + "/" + name;
    fs.put(path, std::move(bytes));
    return {path, name, *fs.stat(path)};
  }
  std::string log() { return fs.files.count("/export/ftp.log") ? fs.files["/export/ftp.log"] : ""; }
};

TEST_F(FtpUploadJobTest, UploadsUnchangedAndLogs) {
  FtpUploadJob job(fs, ftp, clock, locale, status, connection);
  const std::string doc = "<?xml?>\r\n<c>\xF0\x00\xFF</c>\r\n";
  const JobFile file = put("CUSTOMER.FTP", doc);
  const JobResult r = job.run(file);

  EXPECT_EQ(r.kind, JobResult::Kind::Done);
  ASSERT_EQ(ftp.calls.size(), 1u);
  const FtpUpload& up = ftp.calls[0].upload;
  EXPECT_EQ(ftp.calls[0].bytes, doc);
  EXPECT_EQ(up.host, "ftp.example.lt");
  EXPECT_EQ(up.user, "buh");
  EXPECT_EQ(up.password, "s3cret");
  EXPECT_EQ(up.directories, (std::vector<std::string>{"xml", "customer"}));
  EXPECT_EQ(up.fileName, "CUSTOMER.XML");
  EXPECT_EQ(log(), "CUSTOMER sent on 2026.12.09 10:30:05\r\n");
}

TEST_F(FtpUploadJobTest, FailedUploadKeepsFileWritesNoLogAndWaitsBeforeRetrying) {
  connection.retrySeconds = 30;
  FtpUploadJob job(fs, ftp, clock, locale, status, connection);
  ftp.failWith = "Login denied (last server reply 530)";
  const JobFile file = put("SALE.FTP", "<x/>");

  JobResult r = job.run(file);
  EXPECT_EQ(r.kind, JobResult::Kind::Kept);
  EXPECT_NE(r.message.find("SALE.FTP"), std::string::npos);
  EXPECT_NE(r.message.find("530"), std::string::npos);
  EXPECT_EQ(r.message.find("s3cret"), std::string::npos);
  EXPECT_EQ(r.detail.find("s3cret"), std::string::npos);
  EXPECT_TRUE(fs.files.count(file.path));
  EXPECT_EQ(log(), "");

  clock.nowMs += 29000;
  EXPECT_EQ(job.run(file).kind, JobResult::Kind::Kept);
  EXPECT_EQ(ftp.calls.size(), 1u);  // not tried again yet

  clock.nowMs += 1000;
  ftp.failWith.clear();
  EXPECT_EQ(job.run(file).kind, JobResult::Kind::Done);
  EXPECT_EQ(ftp.calls.size(), 2u);
  EXPECT_EQ(log(), "SALE sent on 2026.12.09 10:30:05\r\n");
}

TEST_F(FtpUploadJobTest, UnreadableFileIsNotReadyAndNothingIsSent) {
  FtpUploadJob job(fs, ftp, clock, locale, status, connection);
  const JobFile file = put("STOCK.FTP", "x");
  fs.unreadable.insert(file.path);
  EXPECT_EQ(job.run(file).kind, JobResult::Kind::NotReady);
  EXPECT_TRUE(ftp.calls.empty());
  EXPECT_TRUE(fs.files.count(file.path));
}

TEST_F(FtpUploadJobTest, ProgressReachesTheStatusAndConnectionKeysReachTheClient) {
  connection.connectTimeoutSeconds = 7;
  connection.stallTimeoutSeconds = 9;
  connection.tls = FtpTls::Required;
  connection.tlsVerifyPeer = false;
  connection.tlsCaFile = "/etc/ca.pem";
  FtpUploadJob job(fs, ftp, clock, locale, status, connection);
  std::int64_t seenTotal = -1, seenDone = -1;
  ftp.progressSteps = {4};
  ftp.onUpload = [&] {
    seenTotal = status.jobBytesTotal;
    seenDone = status.jobBytesDone;
  };
  job.run(put("STOCK.FTP", "12345678"));
  EXPECT_EQ(seenTotal, 8);
  EXPECT_EQ(seenDone, 4);
  const FtpUpload& up = ftp.calls.at(0).upload;
  EXPECT_EQ(up.connectTimeoutSeconds, 7);
  EXPECT_EQ(up.stallTimeoutSeconds, 9);
  EXPECT_EQ(up.tls, FtpTls::Required);
  EXPECT_FALSE(up.tlsVerifyPeer);
  EXPECT_EQ(up.tlsCaFile, "/etc/ca.pem");
}

TEST_F(FtpUploadJobTest, FailureIsReportedOncePerVersionThroughTheDispatcher) {
  connection.retrySeconds = 0;
  RecordingMessages messages;
  Dispatcher dispatcher(fs, clock, messages, status, "/spool");
  fs.dirs.insert("/spool");
  dispatcher.addHandler(std::make_unique<FtpUploadJob>(fs, ftp, clock, locale, status, connection),
                        kExport);
  dispatcher.setEnabled(true);
  ftp.failWith = "Connection refused";
  put("SALE.FTP", "<x/>");
  for (int i = 0; i < 3; ++i) dispatcher.runPass();
  EXPECT_EQ(ftp.calls.size(), 3u);  // tried on every pass
  EXPECT_EQ(messages.errors.size(), 1u);
  EXPECT_TRUE(fs.files.count("/export/SALE.FTP"));
  EXPECT_FALSE(fs.files.count("/export/FAILED/SALE.FTP"));

  put("SALE.FTP", "<x>new</x>");  // a new version is reported anew
  dispatcher.runPass();
  EXPECT_EQ(messages.errors.size(), 2u);
  EXPECT_EQ(log(), "");
}

TEST(ReadFtpConnectionTest, KeysDefaultsAndLimits) {
  FakeFileSystem fs;
  fs.dirs.insert("/cfg");
  fs.put("/cfg/MARVENA.INI",
         "[ESSVE]\r\nPath=C:\\X\\\r\nftp=h:2121\r\nuser=u\r\npassword=p\r\n"
         "ConnectTimeout=0\r\nStallTimeout=abc\r\nRetryDelay=5\r\nTLS=1\r\nTLSVerify=0\r\n"
         "TLSCAFile=/ca.pem\r\n");
  ProfileFile settings(fs, "/cfg/MARVENA.INI", ',');
  const FtpConnection c = ReadFtpConnection(ReadExportSettings(&settings), &settings);
  EXPECT_EQ(c.host, "h:2121");
  EXPECT_EQ(c.user, "u");
  EXPECT_EQ(c.password, "p");
  EXPECT_EQ(c.connectTimeoutSeconds, 1);  // raised to the least sensible value
  EXPECT_EQ(c.stallTimeoutSeconds, 60);   // unparsable: default
  EXPECT_EQ(c.retrySeconds, 5);
  EXPECT_EQ(c.tls, FtpTls::Required);
  EXPECT_FALSE(c.tlsVerifyPeer);
  EXPECT_EQ(c.tlsCaFile, "/ca.pem");

  const FtpConnection d = ReadFtpConnection({}, nullptr);
  EXPECT_EQ(d.connectTimeoutSeconds, 20);
  EXPECT_EQ(d.tls, FtpTls::Off);
  EXPECT_TRUE(d.tlsVerifyPeer);
}

}  // namespace
}  // namespace marvena
