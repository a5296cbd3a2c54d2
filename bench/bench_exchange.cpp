// The *.FTP job uploading one large document through the real handler,
// libcurl and the file system to a pyftpdlib server on loopback, then the
// same file sent by the curl program as a reference. Also the document scan
// of that file and the clipboard text of 10 MB. Prints MB/s and peak memory.
//
// bench_exchange [megabytes] [work directory]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exchange/FtpUploadJob.h"
#include "exchange/UploadTarget.h"
#include "office/ClipboardJob.h"
#include "platform/curl/CurlFtpClient.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSystem.h"
#include "spool/JobStatus.h"

namespace {

using Steady = std::chrono::steady_clock;

double Seconds(Steady::time_point since) {
  return std::chrono::duration<double>(Steady::now() - since).count();
}

long peakKb() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Starts the test server; its process id, and its port in *port.
pid_t startServer(const std::string& root, int* port) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::execl("/usr/bin/python3", "python3", MARVENA_FTP_SERVER, "--root", root.c_str(), "--password",
            "bench", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  char line[64] = {};
  std::size_t n = 0;
  while (n < sizeof line - 1 && ::read(fds[0], line + n, 1) == 1 && line[n] != '\n') ++n;
  ::close(fds[0]);
  *port = std::atoi(line + 5);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace marvena;
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  std::string work = argc > 2 ? argv[2] : "";
  const bool ownWork = work.empty();
  if (ownWork) {
    char pattern[] = "/tmp/bench-exchange-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    work = pattern;
  }
  const std::string root = work + "/root", exportDir = work + "/export";
  PosixFileSystem fs;
  std::string error;
  fs.makeDirectories(root + "/xml/sale", &error);
  fs.makeDirectories(exportDir, &error);

  // A document of short lines without a number line: the scan reads it
  // all. Written in pieces so that the handler's memory shows in the peak.
  const std::string job = exportDir + "/BENCH.FTP";
  {
    std::FILE* f = std::fopen(job.c_str(), "wb");
    if (!f) return 1;
    for (long i = 0; std::ftell(f) < (megabytes << 20); ++i)
      std::fprintf(f, "<row n=\"%ld\">Prek\xC4\x97 sales 12,50</row>\r\n", i);
    std::fclose(f);
  }
  const double mb = static_cast<double>(fs.stat(job)->size) / (1 << 20);

  int port = 0;
  const pid_t server = startServer(root, &port);
  if (server <= 0 || port <= 0) {
    std::fprintf(stderr, "the FTP server did not start\n");
    return 1;
  }
  CurlFtpClient ftp;
  PosixClock clock;
  PosixLocale locale;
  JobStatus status;
  FtpConnection connection;
  connection.host = "127.0.0.1:" + std::to_string(port);
  connection.user = "marvena";
  connection.password = "bench";
  FtpUploadJob handler(fs, ftp, clock, locale, status, connection);
  const long before = peakKb();
  auto t = Steady::now();
  const JobResult r = handler.run({job, "BENCH.FTP", *fs.stat(job)});
  const double ours = Seconds(t);
  std::printf(
      "*.FTP job:       %8.1f MB in %6.3f s = %7.1f MB/s, peak %ld MB (before %ld MB), %s\n", mb,
      ours, mb / ours, peakKb() / 1024, before / 1024,
      r.kind == JobResult::Kind::Done ? "done" : r.detail.c_str());

  const std::string copy = root + "/xml/BENCH.XML";
  const std::string cmd = "curl -sS -T " + copy +
                          " --user marvena:bench ftp://127.0.0.1:" + std::to_string(port) +
                          "/xml/REF.XML";
  t = Steady::now();
  const int rc = std::system(cmd.c_str());
  const double theirs = Seconds(t);
  std::printf("curl program:    %8.1f MB in %6.3f s = %7.1f MB/s (exit %d); ratio %.2f\n", mb,
              theirs, mb / theirs, rc, ours / theirs);

  const std::string document = *fs.readFile(copy, &error);
  t = Steady::now();
  const UploadTarget target = decideUploadTarget("BENCH", document);
  std::printf("document scan:   %8.1f MB in %6.3f s = %7.1f MB/s (%s)\n", mb, Seconds(t),
              mb / Seconds(t), target.fileName().c_str());

  const std::string clip = document.substr(0, 10u << 20);
  t = Steady::now();
  const std::size_t utf8 = clipboardUnicodeText(clip).size();
  std::printf("clipboard text:  %8.1f MB in %6.3f s = %7.1f MB/s (%zu bytes of UTF-8)\n", 10.0,
              Seconds(t), 10.0 / Seconds(t), utf8);

  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  if (ownWork) std::system(("rm -rf " + work).c_str());
  return 0;
}
