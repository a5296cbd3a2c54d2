// A 1,000,000-cell *.slx job (mixed numbers and text) turned into an .XLS
// by the real job handler on the real file system, then the same cells
// written by python3-xlwt in the same run. Prints cells per second and peak
// memory of both, and their ratio.
//
// bench_slx [cells] [work directory]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "office/SlxJob.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixSystem.h"
#include "spool/JobStatus.h"

namespace {

constexpr int kColumns = 16;
// Best of several rounds: other work on the machine only ever adds time.
constexpr int kRounds = 7;

// CPU time of this process (user and system), seconds: unlike the clock on
// the wall it hardly moves when other programs load the machine.
double cpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakKb() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Written in small pieces so that the job's own memory shows in the peak.
bool writeJob(const std::string& path, long cells) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  for (long i = 0; i < cells; ++i) {
    const long row = i / kColumns, column = i % kColumns;
    if (column % 2)
      std::fprintf(f, "{%ld,%ld}%ld,%02ld\r\n", row, column, i * 7 % 1000003, i % 100);
    else
      std::fprintf(f, "{%ld,%ld}Prek\xEB %ld\r\n", row, column, i);
  }
  return std::fclose(f) == 0;
}

const char* kXlwt = R"PY(
import resource, sys, time, xlwt
job, out = sys.argv[1], sys.argv[2]
cells = []
for line in open(job, 'rb'):
    line = line.rstrip(b'\r\n')
    close = line.index(b'}')
    r, c = line[1:close].split(b',')
    v = line[close + 1:].decode('latin-1')
    try:
        number = float(v.replace(',', '.')) if ',' in v else None
    except ValueError:
        number = None
    cells.append((int(r) + 0, int(c), number if number is not None else v, number is not None))
text = xlwt.easyxf('font: name Arial, height 160, italic on')
num = xlwt.easyxf('font: name Arial, height 160, bold on; align: horiz right')
start = time.perf_counter()
book = xlwt.Workbook()
sheet = book.add_sheet('Marvena')
for c in range(16):
    sheet.col(c).width = 13 * 256
for r, c, v, isnum in cells:
    sheet.write(r, c, v, num if isnum else text)
book.save(out)
took = time.perf_counter() - start
print(len(cells) / took, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
)PY";

}  // namespace

int main(int argc, char** argv) {
  const long cells = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string dir = argc > 2 ? argv[2] : "";
  if (dir.empty()) {
    char tmpl[] = "/tmp/bench_slx.XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    dir = tmpl;
  }
  const std::string jobPath = dir + "/1BENCH.slx";
  if (!writeJob(jobPath, cells)) {
    std::fprintf(stderr, "cannot write %s\n", jobPath.c_str());
    return 1;
  }
  const long baseKb = peakKb();

  marvena::PosixFileSystem fs;
  marvena::PosixClock clock;
  marvena::PosixLocale locale;
  marvena::JobStatus status;
  marvena::SlxJob job(fs, clock, locale, status);
  const auto entry = fs.stat(jobPath);
  double best = 1e300, bestCpu = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    const marvena::JobResult r = job.run({jobPath, "1BENCH.slx", *entry});
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bestCpu = std::min(bestCpu, cpuSeconds() - cpuStart);
    if (r.kind != marvena::JobResult::Kind::Done) {
      std::fprintf(stderr, "job failed: %s\n", r.detail.c_str());
      return 1;
    }
    if (took < best) best = took;
  }
  const double ours = static_cast<double>(cells) / best;
  const auto out = fs.stat(dir + "/1BENCH.XLS");
  std::printf("slx job:  %ld cells, job file %.1f MB, .XLS %.1f MB\n", cells,
              static_cast<double>(entry->size) / 1e6,
              out ? static_cast<double>(out->size) / 1e6 : 0);
  std::printf("slx job:  %.2f M cells/s (%.3f s, best of %d, read + 2 passes + save with fsync)\n",
              ours / 1e6, best, kRounds);
  std::printf("slx job:  CPU time %.3f s (best of %d)\n", bestCpu, kRounds);
  std::printf("slx job:  peak memory %.1f MB (process), %.1f MB above the start\n",
              static_cast<double>(peakKb()) / 1024, static_cast<double>(peakKb() - baseKb) / 1024);
  std::fflush(stdout);

  // xlwt in a child process of its own, on the same job file.
  const std::string script = dir + "/xlwt_bench.py";
  if (std::FILE* f = std::fopen(script.c_str(), "w")) {
    std::fputs(kXlwt, f);
    std::fclose(f);
  }
  const std::string cmd = "/usr/bin/python3 " + script + " " + jobPath + " " + dir + "/xlwt.xls";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  double xlwtRate = 0;
  long xlwtKb = 0;
  const bool ok = p && std::fscanf(p, "%lf %ld", &xlwtRate, &xlwtKb) == 2;
  if (p) ::pclose(p);
  if (!ok || xlwtRate <= 0) {
    std::printf("xlwt:     not available (python3-xlwt missing?)\n");
    return 0;
  }
  std::printf("xlwt:     %.2f M cells/s (cells written + save), peak memory %.1f MB\n",
              xlwtRate / 1e6, static_cast<double>(xlwtKb) / 1024);
  std::printf("ratio:    %.1f x xlwt\n", ours / xlwtRate);
  if (argc <= 2) {
    std::remove(jobPath.c_str());
    std::remove((dir + "/1BENCH.XLS").c_str());
    std::remove((dir + "/xlwt.xls").c_str());
    std::remove(script.c_str());
    ::rmdir(dir.c_str());
  }
  return 0;
}
