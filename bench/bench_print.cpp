// Prints an N-page ledger (80 columns, box drawing, some bold and size tags)
// to "Marvena PDF" through the *.txt job, and the same text with
// `enscript | ps2pdf`, and reports pages per second for both, their ratio
// and the peak memory of this process (after a job a tenth as long and
// after the full job, to show whether memory grows with the pages).
//
//   bench_print [pages] [dir]   (default 2000 pages; the PDFs stay in dir when given;
//                                build with CMAKE_BUILD_TYPE=Release)
#include <sys/resource.h>

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/MessageSink.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/qt/QtPrintDevice.h"
#include "platform/qt/QtPrinters.h"
#include "printing/TextPrintJob.h"
#include "spool/JobStatus.h"

namespace {

using namespace marvena;

class QuietMessages final : public MessageSink {
 public:
  void showMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void showError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void log(const std::string&) override {}
};

constexpr int kRowsPerPage = 58;

// One ledger page in the job code page: a bold title, a larger heading, a
// framed table of 80 columns, a form feed.
std::string ledgerPage(int page) {
  auto rule = [](char l, char m, char r) {
    std::string s(1, l);
    for (int w : {10, 8, 26, 10, 10}) {
      s.append(static_cast<std::size_t>(w + 2), '\xC4');
      s += m;
    }
    s.back() = r;
    return s;
  };
  std::string s = "<b>UAB \"\xDC\xFDuolas\"</b> \xFBkini\xF9 operacij\xF9 \xFDurnalas";
  s += "            <font size=\"2\">Lapas " + std::to_string(page) + "</font>\r\n";
  s += rule('\xDA', '\xC2', '\xBF') + "\r\n";
  for (int r = 0; r < kRowsPerPage; ++r) {
    char line[160];
    const int n = page * kRowsPerPage + r;
    const char* what = r % 3 == 0   ? "Preki\xF9 pirkimas i\xF7 tiek\xF3jo"
                       : r % 3 == 1 ? "Mok\xF3tinas PVM, \xDF"
                                      "ekis"
                                    : "Gr\xDD\xFDinimas \xF5 kas\xDD";
    // Every fifth amount is bold; the tags take no room on paper.
    const char* credit = r % 5 == 0 ? "     <b>86,40</b>" : r % 2 ? "          " : "    604,35";
    std::snprintf(line, sizeof line,
                  "\xB3 2026-12-%02d \xB3 PVM-%04d \xB3 %-26s \xB3 %10s \xB3 %s \xB3", 1 + n % 28,
                  n % 10000, what, r % 2 ? "1 210,00" : "", credit);
    s += line;
    s += "\r\n";
  }
  s += rule('\xC0', '\xC1', '\xD9') + "\r\n";
  return s;
}

// The job file, written page by page so that the benchmark itself stays
// small. For enscript: no directive lines, its own line ends, and a form
// feed starting each page but the first.
void writeLedger(const std::string& path, int pages, bool forEnscript) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  if (!forEnscript)
    std::fputs(
        "@FONT=MARVENA\r\n@SIZE=9\r\n@MARGIN.LEFT=10\r\n@MARGIN.TOP=10\r\n"
        "@MARGIN.RIGHT=10\r\n@MARGIN.BOTTOM=10\r\n",
        f);
  for (int p = 1; p <= pages; ++p) {
    std::string page = ledgerPage(p);
    if (forEnscript) {
      std::string plain;
      for (char c : page)
        if (c != '\r') plain += c;
      page = (p > 1 ? "\f" : "") + plain;
    } else if (p > 1) {
      page = "\f\r\n" + page;
    }
    std::fwrite(page.data(), 1, page.size(), f);
  }
  std::fclose(f);
}

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int pdfPages(const std::string& pdf) {
  const std::string cmd = "pdfinfo '" + pdf + "' 2>/dev/null | sed -n 's/^Pages: *//p'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return 0;
  int pages = 0;
  if (std::fscanf(p, "%d", &pages) != 1) pages = 0;
  pclose(p);
  return pages;
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  if (!std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  QTemporaryDir tmp;
  const std::string dir = argc > 2 ? argv[2] : tmp.path().toStdString();
  QDir().mkpath(QString::fromStdString(dir) + "/pdf");

  PosixFileSystem fs;
  QuietMessages messages;
  JobStatus status;
  QtPrinters printers(dir + "/pdf");
  printers.select(static_cast<int>(printers.names().size()) - 1);  // "Marvena PDF"
  PrintSettings ps;
  PrintSettingsOwner owner(ps);
  TextPrintJob job(
      fs, messages, status, owner, printers,
      [&printers] { return std::make_unique<QtPrintDevice>(printers, ""); }, dir);

  auto printJob = [&](const std::string& name, int n, double* seconds) {
    const std::string path = dir + "/" + name;
    writeLedger(path, n, false);
    const auto entry = fs.stat(path);
    const auto start = std::chrono::steady_clock::now();
    const JobResult r = job.run({path, name, *entry});
    *seconds = Seconds(start);
    if (r.kind != JobResult::Kind::Done) {
      std::fprintf(stderr, "printing failed: %s\n", r.detail.c_str());
      std::exit(1);
    }
  };

  double warm = 0, seconds = 0;
  printJob("WARM.txt", std::max(1, pages / 10), &warm);
  const long peakSmall = peakKb();
  printJob("LEDGER.txt", pages, &seconds);
  const long peakLarge = peakKb();
  const std::string ours = dir + "/pdf/LEDGER.pdf";
  const int ourPages = pdfPages(ours);
  const double ourRate = ourPages / seconds;
  std::printf("Marvena Spool: %d pages in %.2f s = %.0f pages/s (PDF %.1f MB)\n", ourPages, seconds,
              ourRate, QFileInfo(QString::fromStdString(ours)).size() / 1048576.0);
  std::printf("peak memory: %.1f MB after %d pages, %.1f MB after %d pages\n", peakSmall / 1024.0,
              std::max(1, pages / 10), peakLarge / 1024.0, pages);

  writeLedger(dir + "/ledger-plain.txt", pages, true);
  // The pipe as the issue names it, and the same two programs through a
  // file: ghostscript reads a pipe much more slowly, so the ratio is taken
  // against the faster of the two.
  const std::string plain = "'" + dir + "/ledger-plain.txt'";
  const std::string enscript = "enscript -q -B -f Courier9 -L " + std::to_string(kRowsPerPage + 4);
  struct Run {
    const char* what;
    std::string cmd, pdf;
    double rate = 0;
  } runs[] = {
      {"enscript | ps2pdf", enscript + " -p - " + plain + " | ps2pdf - '" + dir + "/pipe.pdf'",
       dir + "/pipe.pdf"},
      {"enscript; ps2pdf (file)",
       enscript + " -p '" + dir + "/ledger.ps' " + plain + " && ps2pdf '" + dir + "/ledger.ps' '" +
           dir + "/file.pdf'",
       dir + "/file.pdf"},
  };
  double best = 0;
  for (Run& r : runs) {
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system(r.cmd.c_str());
    const double s = Seconds(start);
    const int n = rc == 0 ? pdfPages(r.pdf) : 0;
    if (n == 0) {
      std::printf("%s: not available (install enscript and ghostscript)\n", r.what);
      continue;
    }
    r.rate = n / s;
    best = std::max(best, r.rate);
    std::printf("%s: %d pages in %.2f s = %.0f pages/s\n", r.what, n, s, r.rate);
  }
  if (best > 0) std::printf("ratio: %.2f x (against the faster)\n", ourRate / best);
  return 0;
}
