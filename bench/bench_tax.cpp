// The declaration jobs on large reports: a *.MFF job of 100,000 rows and a
// *.SAM job of 100,000 persons, each run through its handler against the
// real file system (read, build, write to a temporary name, rename). Each
// kind runs in its own process so that its peak memory is its own.
// Build with CMAKE_BUILD_TYPE=Release.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSystem.h"
#include "settings/ProfileFile.h"
#include "tax/MffJob.h"
#include "tax/SamJob.h"

namespace {

using namespace marvena;

constexpr int kRows = 100000;
constexpr int kRuns = 5;
const std::string kSep = "\xB3";

std::string mffJobBytes() {
  std::string s =
      "UAB \xDC\xFDuolas\r\n123456789\r\nVilniaus g. 1\r\n2009.03.31\r\n2009.03\r\n\r\n";
  for (int i = 1; i <= kRows; ++i)
    s += "Vardenis" + std::to_string(i) + kSep + "Pavard\xF3nas" + kSep + "LT" + kSep + "3800101" +
         std::to_string(1000 + i % 9000) + kSep + std::to_string(i % 5000) + ",56" + kSep +
         "01\r\n";
  return s;
}

std::string samJobBytes() {
  std::string s =
      "Draud\xF3jas\r\n1234567\r\n302000000\r\n852123456\r\nGedimino pr. 1\r\n2009.04.15\r\n"
      "30.98+3\r\n2009.03\r\n\r\n100000\r\n100000000\r\n31000000\r\n\r\n\r\n\r\n"
      "Direktorius Jonas Jonaitis\r\nVyr. buhalter\xF3 Ona Onait\xF3\r\n";
  for (int i = 1; i <= kRows; ++i)
    s += "Petraitis Petras " + std::to_string(i) + kSep + "3800101" +
         std::to_string(1000 + i % 9000) + kSep + "AB " + std::to_string(1000000 + i) + kSep +
         "1000,50" + kSep + "311,12\r\n";
  return s;
}

double cpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs one kind in this process: prints its figures.
int runKind(const std::string& kind, const std::string& dir) {
  PosixFileSystem fs;
  PosixClock clock;
  PosixLocale locale;
  ProfileFile settings(fs, dir + "/MARVENA.INI", '.');
  const bool mff = kind == "MFF";
  const std::string name = mff ? "BENCH.MFF" : "BENCH.SAM";
  const std::string path = dir + "/" + name;
  std::string error;
  const std::string bytes = mff ? mffJobBytes() : samJobBytes();

  std::vector<double> times, cpuTimes;
  std::uint64_t documentBytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    if (!fs.writeFileAtomic(path, bytes, &error)) {
      std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    const JobFile job{path, name, *fs.stat(path)};
    JobResult result;
    const double cpuStart = cpuSeconds();
    times.push_back(Seconds([&] {
      if (mff)
        result = MffJob(fs, clock, locale, settings).run(job);
      else
        result = SamJob(fs, clock, locale).run(job);
    }));
    cpuTimes.push_back(cpuSeconds() - cpuStart);
    if (result.kind != JobResult::Kind::Done) {
      std::fprintf(stderr, "%s job failed: %s\n", kind.c_str(), result.detail.c_str());
      return 1;
    }
    documentBytes = fs.stat(dir + "/BENCH.ffdata")->size;
  }
  std::sort(times.begin(), times.end());
  std::sort(cpuTimes.begin(), cpuTimes.end());
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const long jobPeakKb = usage.ru_maxrss;
  // The document alone, in memory, without reading and writing files.
  const JobLines lines{std::string(bytes)};
  std::vector<double> buildTimes;
  for (int run = 0; run < kRuns; ++run)
    buildTimes.push_back(Seconds([&] {
      if (mff)
        buildMffDocument(lines, {"bench", "2026-01-01"}, {});
      else
        buildSamDocument(lines, '.', "2026-01-01");
    }));
  std::sort(buildTimes.begin(), buildTimes.end());
  std::printf(
      "*.%s  %d %s, job %.1f MB, document %.1f MB: median %.3f s (best %.3f s), "
      "%.2f documents/s; CPU median %.3f s; peak memory of the job runs %.0f MB; "
      "building alone in memory %.3f s\n",
      kind.c_str(), kRows, mff ? "rows" : "persons", bytes.size() / 1e6, documentBytes / 1e6,
      times[kRuns / 2], times.front(), 1.0 / times[kRuns / 2], cpuTimes[kRuns / 2],
      jobPeakKb / 1024.0, buildTimes[kRuns / 2]);
  return 0;
}

}  // namespace

int main() {
  char dirTemplate[] = "/tmp/bench_tax.XXXXXX";
  const char* dir = ::mkdtemp(dirTemplate);
  if (!dir) return 1;
  int status = 0;
  for (const std::string kind : {"MFF", "SAM"}) {
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
      // A directory of its own: a document of the other kind under the same
      // name would send this one to another name.
      const std::string own = std::string(dir) + "/" + kind;
      ::mkdir(own.c_str(), 0700);
      const int rc = runKind(kind, own);
      std::fflush(stdout);
      std::_Exit(rc);
    }
    int childStatus = 1;
    ::waitpid(child, &childStatus, 0);
    if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) status = 1;
  }
  std::system((std::string("rm -rf ") + dir).c_str());
  return status;
}
