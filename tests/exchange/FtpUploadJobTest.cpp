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
  // Stored under a temporary name in the same directory, renamed once confirmed.
  EXPECT_TRUE(up.fileName.starts_with(".CUSTOMER.XML.") && up.fileName.ends_with(".part"))
      << up.fileName;
  EXPECT_EQ(up.renameTo, "CUSTOMER.XML");
  EXPECT_EQ(log(), "CUSTOMER sent on 2026.12.09 10:30:05\r\n");

  // Every try has a name of its own.
  job.run(put("CUSTOMER.FTP", doc));
  ASSERT_EQ(ftp.calls.size(), 2u);
  EXPECT_NE(ftp.calls[1].upload.fileName, up.fileName);
}

FtpError Failure(FtpStep step, std::string command, int reply, std::string text,
                 bool partial = false) {
  FtpError e;
  e.step = step;
  e.command = std::move(command);
  e.reply = reply;
  e.replyText = std::move(text);
  e.partial = partial;
  e.message = "the server refused " + e.command + ": " + e.replyText;
  return e;
}

// The script with the random part of temporary names blotted out.
std::vector<std::string> Script(const FakeFtpClient& ftp) {
  std::vector<std::string> out = ftp.script();
  for (std::string& line : out) {
    const std::size_t part = line.find(".part");
    if (part != std::string::npos && part >= 9) line.replace(part - 8, 8, "*");
  }
  return out;
}

TEST_F(FtpUploadJobTest, RefusedRenameEndsInTheDocumentUnderItsFinalName) {
  struct Case {
    const char* what;
    std::vector<std::optional<FtpError>> outcomes;
    std::vector<std::string> script;
    const char* note;
  };
  const Case cases[] = {
      {"no rename on this server: stored directly",
       {Failure(FtpStep::Rename, "RNFR .SALE.XML.x.part", 502, "502 Command not implemented.")},
       {"upload .SALE.XML.*.part>SALE.XML", "remove .SALE.XML.*.part", "upload SALE.XML"},
       "stored directly"},
      {"no rename onto an existing file: the old one goes first",
       {Failure(FtpStep::Rename, "RNTO SALE.XML", 550, "550 Cannot create a file.")},
       {"upload .SALE.XML.*.part>SALE.XML", "remove SALE.XML", "rename .SALE.XML.*.part>SALE.XML"},
       "old file was deleted"},
      {"the second rename is refused too",
       {Failure(FtpStep::Rename, "RNTO SALE.XML", 550, "550 No."), std::nullopt,
        Failure(FtpStep::Rename, "RNTO SALE.XML", 550, "550 No.")},
       {"upload .SALE.XML.*.part>SALE.XML", "remove SALE.XML", "rename .SALE.XML.*.part>SALE.XML",
        "remove .SALE.XML.*.part", "upload SALE.XML"},
       "stored directly"},
  };
  for (const Case& c : cases) {
    FakeFtpClient client;
    client.outcomes.assign(c.outcomes.begin(), c.outcomes.end());
    FtpUploadJob job(fs, client, clock, locale, status, connection);
    fs.files.erase("/export/ftp.log");
    const JobResult r = job.run(put("SALE.FTP", "<x/>"));
    EXPECT_EQ(r.kind, JobResult::Kind::Done) << c.what;
    EXPECT_EQ(Script(client), c.script) << c.what;
    EXPECT_NE(r.detail.find(c.note), std::string::npos) << c.what << ": " << r.detail;
    EXPECT_EQ(log(), "SALE sent on 2026.12.09 10:30:05\r\n") << c.what;
    for (const auto& call : client.calls)
      EXPECT_EQ(call.upload.directories, (std::vector<std::string>{"xml", "sale"})) << c.what;
  }
}

TEST_F(FtpUploadJobTest, FailedUploadLeavesNoCutOffFileBehind) {
  struct Case {
    const char* what;
    bool temporaryName;
    FtpError failure;
    std::vector<std::string> script;
  };
  const Case cases[] = {
      {"stalled mid-file",
       true,
       Failure(FtpStep::Store, "STOR x", 150, "150 Ok.", true),
       {"upload .SALE.XML.*.part>SALE.XML", "remove .SALE.XML.*.part"}},
      {"no reply to the rename",
       true,
       Failure(FtpStep::Rename, "RNFR x", 0, ""),
       {"upload .SALE.XML.*.part>SALE.XML", "remove .SALE.XML.*.part"}},
      {"refused before any data",
       true,
       Failure(FtpStep::Login, "PASS", 530, "530 No."),
       {"upload .SALE.XML.*.part>SALE.XML"}},
      {"stored directly, stalled mid-file",
       false,
       Failure(FtpStep::Store, "STOR SALE.XML", 150, "150 Ok.", true),
       {"upload SALE.XML", "remove SALE.XML"}},
      {"stored directly, STOR refused",
       false,
       Failure(FtpStep::Store, "STOR SALE.XML", 553, "553 No."),
       {"upload SALE.XML"}},
  };
  for (const Case& c : cases) {
    FakeFtpClient client;
    client.outcomes = {c.failure};
    connection.temporaryName = c.temporaryName;
    FtpUploadJob job(fs, client, clock, locale, status, connection);
    EXPECT_EQ(job.run(put("SALE.FTP", "<x/>")).kind, JobResult::Kind::Kept) << c.what;
    EXPECT_EQ(Script(client), c.script) << c.what;
  }
  EXPECT_EQ(log(), "");
}

TEST(FtpHintTest, NamesTheMissingDirectoryAndTheTlsSetting) {
  FtpUpload where;
  where.directories = {"xml", "sale"};
  const FtpHint dir = hintFor(Failure(FtpStep::ChangeDirectory, "CWD sale", 550, "550 No."), where);
  EXPECT_NE(dir.user.find("katalogo xml/sale"), std::string::npos) << dir.user;
  EXPECT_NE(dir.user.find("550"), std::string::npos);
  EXPECT_NE(dir.log.find("xml/sale"), std::string::npos);

  struct Case {
    FtpTls tls;
    int reply;
    const char* text;
    bool demandsTls, mentionsTls;
  };
  const Case cases[] = {
      {FtpTls::Off, 530, "530 Non-anonymous sessions must use encryption.", true, true},
      {FtpTls::Off, 550, "550 SSL/TLS required on the control channel.", true, true},
      {FtpTls::Off, 534, "534 Policy requires SSL.", true, true},
      {FtpTls::Off, 530, "530 Login incorrect.", false, true},
      {FtpTls::Required, 530, "530 Login incorrect.", false, false},
  };
  for (const Case& c : cases) {
    where.tls = c.tls;
    const FtpHint h = hintFor(Failure(FtpStep::Login, "USER u", c.reply, c.text), where);
    EXPECT_EQ(h.user.find("user ir password") == std::string::npos, c.demandsTls) << c.text;
    EXPECT_EQ(h.user.find("TLS=1") != std::string::npos, c.mentionsTls) << c.text;
    EXPECT_EQ(h.log.find("TLS=1") != std::string::npos, c.mentionsTls) << c.text;
  }
  const FtpHint temporary =
      hintFor(Failure(FtpStep::Store, "STOR .SALE.XML.x.part", 553, "553 Not allowed."), where);
  EXPECT_NE(temporary.user.find("TempName=0"), std::string::npos);
  EXPECT_EQ(hintFor(Failure(FtpStep::Store, "STOR SALE.XML", 553, "553 No."), where).user, "");
  // Nothing to add to a data connection that failed.
  EXPECT_EQ(hintFor(Failure(FtpStep::Store, "EPSV", 229, "229 Ok."), where).user, "");
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
  fs.dirs.insert("/spool");
  Dispatcher dispatcher(fs, clock, messages, status, "/spool");
  dispatcher.addHandler(std::make_unique<FtpUploadJob>(fs, ftp, clock, locale, status, connection),
                        kExport);
  dispatcher.setEnabled(true);
  ftp.failWith = "Connection refused";
  put("SALE.FTP", "<x/>");
  for (int i = 0; i < 3; ++i) dispatcher.runPass();
  EXPECT_GE(ftp.calls.size(), 1u);  // how often again is the dispatcher's back-off
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
         "TLSCAFile=/ca.pem\r\nTempName=0\r\n");
  ProfileFile settings(fs, "/cfg/MARVENA.INI", ',');
  const FtpConnection c = readFtpConnection(readExportSettings(&settings), &settings);
  EXPECT_EQ(c.host, "h:2121");
  EXPECT_EQ(c.user, "u");
  EXPECT_EQ(c.password, "p");
  EXPECT_EQ(c.connectTimeoutSeconds, 1);  // raised to the least sensible value
  EXPECT_EQ(c.stallTimeoutSeconds, 60);   // unparsable: default
  EXPECT_EQ(c.retrySeconds, 5);
  EXPECT_EQ(c.tls, FtpTls::Required);
  EXPECT_FALSE(c.tlsVerifyPeer);
  EXPECT_EQ(c.tlsCaFile, "/ca.pem");
  EXPECT_FALSE(c.temporaryName);

  const FtpConnection d = readFtpConnection({}, nullptr);
  EXPECT_TRUE(d.temporaryName);
  EXPECT_EQ(d.connectTimeoutSeconds, 20);
  EXPECT_EQ(d.tls, FtpTls::Off);
  EXPECT_TRUE(d.tlsVerifyPeer);
}

}  // namespace
}  // namespace marvena
