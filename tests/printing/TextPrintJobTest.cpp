#include "printing/TextPrintJob.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/fake/Fakes.h"
#include "platform/fake/RecordingPrintDevice.h"
#include "spool/Dispatcher.h"
#include "spool/JobStatus.h"

namespace marvena {
namespace {

struct TextPrintJobTest : ::testing::Test {
  FakeFileSystem fs;
  FakeClock clock;
  RecordingMessages messages;
  JobStatus status;
  FakePrinters printers;
  PrintSettings ps;
  PrintSettingsOwner owner{ps};
  RecordingPrintDevice* device = nullptr;
  Dispatcher dispatcher{fs, clock, messages, status, "/spool"};

  void SetUp() override {
    fs.dirs.insert("/spool");
    printers.printerNames = {"Laser", "Matrix", "Marvena PDF"};
    printers.defaultPrinter = 0;
    printers.select(0);
    auto handler = std::make_unique<TextPrintJob>(
        fs, messages, status, owner, printers,
        [this] {
          auto d = std::make_unique<RecordingPrintDevice>();
          device = d.get();
          return d;
        },
        "/drive");
    dispatcher.addHandler(std::move(handler));
    dispatcher.setEnabled(true);
  }

  // A dispatch pass that finds the files ready: a job file is taken only
  // once it has stayed unchanged for the dispatcher's quiet period.
  void passOnce() {
    dispatcher.runPass();
    clock.nowMs += 5000;
    dispatcher.runPass();
  }

  std::vector<std::string> printedTitles() const {
    std::vector<std::string> out;
    if (!device) return out;  // no job ran
    for (const RecordedCall& c : device->calls)
      if (c.kind == RecordedCall::Begin) out.push_back(c.text);
    return out;
  }
};

TEST_F(TextPrintJobTest, AllPendingFilesInNameOrderInOnePass) {
  fs.put("/spool/b.txt", "B\n");
  fs.put("/spool/A.txt", "A\n");
  fs.put("/spool/c.TXT", "C\n");
  fs.put("/spool/d.www", "W\n");
  passOnce();
  EXPECT_EQ(printedTitles(),
            (std::vector<std::string>{"Marvena A.txt", "Marvena b.txt", "Marvena c.TXT"}));
  EXPECT_EQ(device->documents(), 3);
  EXPECT_EQ(device->outputName, "c");
  EXPECT_FALSE(fs.stat("/spool/A.txt"));
  EXPECT_FALSE(fs.stat("/spool/c.TXT"));
  EXPECT_TRUE(fs.stat("/spool/d.www"));
}

TEST_F(TextPrintJobTest, FontSizeAndMarginsStayForLaterJobsButPagesAndCopiesDoNot) {
  fs.put("/spool/1.txt", "@FONT=Arial\n@SIZE=12pt\n@MARGIN.LEFT=30\n@NCOPIES2=2\n@PAGE.TO=1\nx\n");
  fs.put("/spool/2.txt", "y\n");
  passOnce();
  const auto t = device->texts();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[2].text, "y");
  EXPECT_EQ(t[2].font.face, "Arial");
  EXPECT_EQ(t[2].font.points, 12);
  EXPECT_EQ(t[2].x + device->geometry.offsetX, 708);  // 30 mm
  EXPECT_EQ(ps.copies2, 1);
  EXPECT_EQ(ps.pageTo, 65535);
  EXPECT_FLOAT_EQ(ps.leftMargin, 30.0f);
}

TEST_F(TextPrintJobTest, PrinterIndexOutOfRangePrintsOnTheDefaultPrinter) {
  printers.select(1);
  fs.put("/spool/J.txt", "@PRINTER_INDEX=7\nx\n");
  passOnce();
  EXPECT_EQ(printers.selected, 0);
  EXPECT_EQ(device->documents(), 1);
  fs.put("/spool/K.txt", "@PRINTER_INDEX=-5\nx\n");
  printers.select(2);
  passOnce();
  EXPECT_EQ(printers.selected, 0);
}

TEST_F(TextPrintJobTest, ChosenPrinterStaysSelectedAndMarginsReachItsBorder) {
  ps.topMargin = ps.leftMargin = 1;
  fs.put("/spool/J.txt", "@PRINTER_INDEX=1\nx\n");
  passOnce();
  EXPECT_EQ(printers.selected, 1);
  EXPECT_FLOAT_EQ(ps.topMargin, 4.0f);
  EXPECT_FLOAT_EQ(ps.leftMargin, 4.0f);
  fs.put("/spool/K.txt", "y\n");
  passOnce();
  EXPECT_EQ(printers.selected, 1);
}

TEST_F(TextPrintJobTest, PaperOrientationAndUserSize) {
  ps.paperSize = 256;
  ps.paperLength = 120;
  ps.paperWidth = 80;
  fs.put("/spool/J.txt", "@ORIENTATION=LANDSCAPE\nx\n");
  passOnce();
  EXPECT_EQ(printers.paper, 256);
  EXPECT_EQ(printers.lengthTenths, 1200);
  EXPECT_EQ(printers.widthTenths, 800);
  EXPECT_EQ(printers.orient, Orientation::Landscape);
}

TEST_F(TextPrintJobTest, EmptyFileGivesAnEmptyDocumentAndIsDeleted) {
  fs.put("/spool/E.txt", "");
  passOnce();
  EXPECT_EQ(device->documents(), 1);
  EXPECT_TRUE(device->texts().empty());
  EXPECT_FALSE(fs.stat("/spool/E.txt"));
  EXPECT_TRUE(messages.errors.empty());
}

TEST_F(TextPrintJobTest, FailedPrintoutsGoToFailedWithTheErrorShown) {
  fs.dirs.insert("/spool/pics");
  fs.put("/spool/A.txt", "x\n");  // the device is made for the first job
  passOnce();
  const struct {
    const char* job;
    bool failEnd, failPage;
  } cases[] = {
      {"x\n", true, false},         // the print system refused the document
      {"x\n\f\ny\n", false, true},  // a page was refused
      {"@PICTURE=NONE.BMP\n", false, false},
      {"@PICTURE=pics\n", false, false},  // a directory
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "J" + std::to_string(++n) + ".txt";
    fs.put("/spool/" + name, c.job);
    device->failEnd = c.failEnd;
    device->failNewPage = c.failPage;
    passOnce();
    device->failEnd = device->failNewPage = false;
    EXPECT_FALSE(fs.stat("/spool/" + name)) << c.job;
    EXPECT_TRUE(fs.stat("/spool/FAILED/" + name)) << c.job;
  }
  ASSERT_EQ(messages.errors.size(), 4u);
  EXPECT_NE(messages.errors.back().find("Nepavyko atspausdinti J4.txt"), std::string::npos);
  EXPECT_EQ(device->calls.back().kind, RecordedCall::Abort);
  EXPECT_TRUE(dispatcher.anyFailure());
}

TEST_F(TextPrintJobTest, NoPrinterAtAllIsAClearError) {
  printers.printerNames.clear();
  printers.selected = -1;
  fs.put("/spool/J.txt", "x\n");
  passOnce();
  EXPECT_TRUE(fs.stat("/spool/FAILED/J.txt"));
  ASSERT_EQ(messages.errors.size(), 1u);
}

TEST_F(TextPrintJobTest, UnreadableFileWaitsSilently) {
  // The handler itself: the dispatcher claims a job before the handler reads it.
  TextPrintJob job(
      fs, messages, status, owner, printers,
      [] { return std::make_unique<RecordingPrintDevice>(); }, "/drive");
  fs.put("/spool/J.txt", "x\n");
  fs.unreadable.insert("/spool/J.txt");
  const JobResult r = job.run({"/spool/J.txt", "J.txt", *fs.stat("/spool/J.txt")});
  EXPECT_EQ(r.kind, JobResult::Kind::NotReady);
  EXPECT_TRUE(fs.stat("/spool/J.txt"));
  EXPECT_TRUE(messages.errors.empty());
}

TEST_F(TextPrintJobTest, TwentyThousandPages) {
  std::string job = "@PAGE.FROM=19999\n";
  for (int i = 0; i < 20000; ++i) job += "Page " + std::to_string(i + 1) + "\n\f\n";
  fs.put("/spool/BIG.txt", job);
  passOnce();
  EXPECT_EQ(device->documents(), 1);
  // Pages 19999 and 20000, then the trailing form feed's empty page.
  EXPECT_EQ(device->pages(), 3);
  EXPECT_EQ(device->texts().front().text, "Page 19999");
}

TEST(PicturePathTest, DosHostAndRelativeNames) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"LOGO.BMP", "/spool/LOGO.BMP"},
      {"pic\\LOGO.BMP", "/spool/pic/LOGO.BMP"},
      {"\\MARVENA\\LOGO.BMP", "/drive/MARVENA/LOGO.BMP"},
      {"C:\\MARVENA\\LOGO.BMP", "/drive/MARVENA/LOGO.BMP"},
      {"/srv/logo.bmp", "/srv/logo.bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(picturePath(c.name, "/spool", "/drive"), c.path);
}

}  // namespace
}  // namespace marvena

namespace marvena {
namespace {

// The window changes the settings on its own thread while jobs print: each
// job sees one consistent copy, and what a job's directives set still
// carries on to the next job. (Run under ThreadSanitizer by the tsan check.)
TEST_F(TextPrintJobTest, SettingsChangedFromTheWindowWhileJobsPrint) {
  for (int i = 0; i < 40; ++i)
    fs.put("/spool/J" + std::to_string(100 + i) + ".txt",
           "@SIZE=" + std::to_string(8 + i % 5) + "\nline\n");
  std::atomic<bool> stop{false};
  std::thread window([&] {
    while (!stop) owner.update([](PrintSettings& p) { p.bottomMargin = p.bottomMargin + 1; });
  });
  passOnce();
  stop = true;
  window.join();
  const auto t = device->texts();
  ASSERT_EQ(t.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(t[static_cast<std::size_t>(i)].font.points, 8 + i % 5);
  EXPECT_EQ(owner.snapshot().fontSize, 8 + 39 % 5);  // the last job's directive stays
}

}  // namespace
}  // namespace marvena
