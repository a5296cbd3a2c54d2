#include <gtest/gtest.h>

#include "platform/Shell.h"
#include "platform/fake/Fakes.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsStore.h"
#include "spool/JobStatus.h"
#include "startup/Startup.h"

namespace marvena {
namespace {

constexpr const char* kIni = "/etc/MARVENA.INI";

struct SettingsTest : ::testing::Test {
  FakeFileSystem fs;
  FakePrinters printers;
  FakeFonts fonts;
  RecordingMessages messages;
  JobStatus status;
  std::vector<std::string> dialogReasons;

  SettingsTest() { printers.printerNames = {"HP", "Epson", "Marvena PDF"}; }
  ProfileFile ini(std::string text) {
    fs.put(kIni, std::move(text));
    return ProfileFile(fs, kIni, ',');
  }
  OpenOptionsDialog dialog() {
    return [this](const std::string& r) { dialogReasons.push_back(r); };
  }
  NoShellHousekeeping shell;
  StartupEnvironment env() {
    return {fs, printers, fonts, messages, status, shell, "/dos", dialog(), {}};
  }
};

TEST_F(SettingsTest, InvalidPrinterIndexFallsBackToTheDefaultAndIsRewritten) {
  printers.defaultPrinter = 1;
  for (const char* index : {"7", "-2", "3"}) {
    ProfileFile f = ini(std::string("[Spool]\nPrinterIndex=") + index + "\nPrinterInUse=Epson\n");
    loadSpoolAndPrinter(&f, printers, dialog());
    EXPECT_EQ(f.readInteger("Spool", "PrinterIndex", 99), 1) << index;
    EXPECT_EQ(f.readString("Spool", "PrinterInUse", ""), "Epson");
    EXPECT_TRUE(dialogReasons.empty());
  }
  // An unreadable index reads as -1, the default printer: nothing to fix.
  ProfileFile f = ini("[Spool]\nPrinterIndex=abc\nPrinterInUse=Epson\n");
  loadSpoolAndPrinter(&f, printers, dialog());
  EXPECT_EQ(printers.currentIndex(), 1);
  EXPECT_EQ(f.readString("Spool", "PrinterIndex", ""), "abc");
}

TEST_F(SettingsTest, UnselectablePrinterAndNoDefaultRemovePrinterInUse) {
  printers.printerNames = {"HP"};
  printers.unselectable = {0};
  ProfileFile f = ini("[Spool]\nPrinterIndex=0\nPrinterInUse=HP\n");
  loadSpoolAndPrinter(&f, printers, dialog());
  EXPECT_EQ(f.readInteger("Spool", "PrinterIndex", 99), -1);
  EXPECT_FALSE(f.keyExists("Spool", "PrinterInUse"));
}

TEST_F(SettingsTest, FirstRunAndForeignPrinterOpenTheOptionsDialog) {
  ProfileFile first = ini("[Spool]\nPath=\\X\n");
  EXPECT_EQ(loadSpoolAndPrinter(&first, printers, dialog()).spoolPath, "\\X");
  EXPECT_EQ(dialogReasons.size(), 1u);

  dialogReasons.clear();
  ProfileFile other = ini("[Spool]\nPrinterIndex=0\nPrinterInUse=Epson\n");
  loadSpoolAndPrinter(&other, printers, dialog());
  EXPECT_EQ(dialogReasons.size(), 1u);

  dialogReasons.clear();
  ProfileFile same = ini("[Spool]\nPrinterIndex=1\nPrinterInUse=Epson\n");
  loadSpoolAndPrinter(&same, printers, dialog());
  EXPECT_TRUE(dialogReasons.empty());
}

TEST_F(SettingsTest, PrinterListFollowsTheInstalledPrinters) {
  ProfileFile f =
      ini("[Spool]\nPrinterIndex=0\nPrinter0=A\nPrinter1=B\nPrinter2=C\nPrinter3=D\nPrinter4=E\n"
          "Printer07=keep\n");
  printers.printerNames = {"HP", "Epson"};
  loadSpoolAndPrinter(&f, printers, dialog());
  EXPECT_EQ(f.readString("Spool", "Printer0", ""), "HP");
  EXPECT_EQ(f.readString("Spool", "Printer1", ""), "Epson");
  for (const char* gone : {"Printer2", "Printer3", "Printer4"})
    EXPECT_FALSE(f.keyExists("Spool", gone)) << gone;
  EXPECT_EQ(f.readString("Spool", "Printer07", ""), "keep");  // not a name we write
}

TEST_F(SettingsTest, OrientationPaperAndMargins) {
  ProfileFile f =
      ini("[Spool]\nPrinterIndex=0\nPrinterOrientation=poLandscape\nPaperSize=256\n"
          "mmPaperLength=100\nmmPaperWidth=x\nmmTopMargin=2,5\nmmLeftMargin=3.25\n");
  loadSpoolAndPrinter(&f, printers, dialog());
  EXPECT_EQ(printers.orient, Orientation::Landscape);
  PrintSettings ps;
  ps.bottomMargin = 7;
  loadPaperAndMargins(&f, ps);
  EXPECT_EQ(ps.paperSize, 256);
  EXPECT_EQ(ps.paperLength, 100);
  EXPECT_EQ(ps.paperWidth, 210);
  EXPECT_EQ(ps.topMargin, 2.5f);
  EXPECT_EQ(ps.leftMargin, 3.25f);
  EXPECT_EQ(ps.bottomMargin, 7);  // missing key: the current value stays

  PrintSettings none;
  none.paperSize = 5;
  loadPaperAndMargins(nullptr, none);
  EXPECT_EQ(none.paperSize, 9);
  EXPECT_EQ(none.topMargin, 0);
}

TEST_F(SettingsTest, RestoreDefaultsAndStoreAfterPageSetup) {
  ProfileFile f = ini("[Spool]\nPrinterIndex=2\nPrinterOrientation=poLandscape\nPaperSize=5\n");
  printers.defaultPrinter = 1;
  PrintSettings ps;
  ps.printerIndex = 2;
  ps.paperSize = 5;
  ps.topMargin = 9;
  restorePrintDefaults(&f, printers, ps);
  EXPECT_EQ(f.readInteger("Spool", "PrinterIndex", 99), 1);
  EXPECT_EQ(f.readString("Spool", "PrinterInUse", ""), "Epson");
  EXPECT_EQ(f.readString("Spool", "PrinterOrientation", ""), "poPortrait");
  EXPECT_EQ(f.readInteger("Spool", "PaperSize", 0), 9);
  EXPECT_EQ(ps.printerIndex, -1);
  EXPECT_EQ(ps.paperSize, 9);
  EXPECT_EQ(ps.topMargin, 9);  // margins are left alone

  printers.papers = {"Letter"};  // no A4: PaperSize is not written
  ProfileFile g = ini("[Spool]\nPaperSize=5\n");
  restorePrintDefaults(&g, printers, ps);
  EXPECT_EQ(g.readInteger("Spool", "PaperSize", 0), 5);

  ps.topMargin = 4.5f;
  storeAfterPageSetup(g, printers, ps);
  EXPECT_EQ(g.readString("Spool", "mmTopMargin", ""), "4,5");
  EXPECT_EQ(g.readInteger("Spool", "mmPaperLength", 0), 297);
}

TEST(Psd, OneOrTwoDecimals) {
  struct Case {
    const char* text;
    double first, second;
  } cases[] = {
      {"", 15, 0},     {"abc", 15, 0},    {"12.5/3", 12.5, 3}, {"20", 20, 0}, {"x/3", 15, 0},
      {"12/y", 15, 0}, {"12,5/3", 15, 0}, {"10/5/2", 15, 0},   {"0/0", 0, 0},
  };
  for (const Case& c : cases) {
    const auto [a, b] = parsePsd(c.text);
    EXPECT_EQ(a, c.first) << c.text;
    EXPECT_EQ(b, c.second) << c.text;
  }
}

TEST(DosPaths, DriveRootMapping) {
  EXPECT_EQ(mapDosPath("\\MARVENA\\SPOOL", "/home/a"), "/home/a/MARVENA/SPOOL");
  EXPECT_EQ(mapDosPath("C:\\MARVENA\\SPOOL\\", "/home/a/"), "/home/a/MARVENA/SPOOL");
  EXPECT_EQ(mapDosPath("/srv/spool", "/home/a"), "/srv/spool");
  EXPECT_EQ(mapDosPath("relative", "/home/a"), "relative");
}

TEST(WordVersion, MajorNumberBeforeThePoint) {
  EXPECT_EQ(wordVersionFromText("11.0", false), 11);
  EXPECT_EQ(wordVersionFromText("9.0", true), 8);
  EXPECT_EQ(wordVersionFromText("9.0", false), 9);
  EXPECT_EQ(wordVersionFromText("", false), 0);
  EXPECT_EQ(wordVersionFromText("x.1", false), 0);
}

TEST_F(SettingsTest, StartupWithoutPrintersShowsDisabledButOtherJobsStillRun) {
  printers.printerNames.clear();
  ProfileFile f = ini("[Spool]\nPath=\\MARVENA\\SPOOL\nPrinterIndex=-1\n");
  StartupEnvironment e = env();
  const StartupResult r = runStartup(&f, e);
  EXPECT_EQ(messages.messages.front(), "Nera nei vieno printerio");
  EXPECT_EQ(status.state(), DispatchState::Disabled);
  EXPECT_FALSE(r.havePrinter);
  EXPECT_TRUE(r.timerEnabled);
  EXPECT_TRUE(fs.isDirectory("/dos/MARVENA/SPOOL"));
}

TEST_F(SettingsTest, StartupWhenTheSpoolDirectoryCannotBeMade) {
  ProfileFile f = ini("[Spool]\nPath=\\S\nPrinterIndex=0\n");
  fs.failWrites = true;
  fonts.faces["Courier Marvena"] = {0, 186};
  printers.faces = {"Marvena"};
  StartupEnvironment e = env();
  const StartupResult r = runStartup(&f, e);
  EXPECT_EQ(messages.messages, (std::vector<std::string>{"Nepavyko sukurti katalogo \\S\\",
                                                         "Failed To Create \"\\S\" !"}));
  EXPECT_EQ(status.state(), DispatchState::Disabled);
  EXPECT_FALSE(r.timerEnabled);
}

TEST_F(SettingsTest, StartupFontChecksMarginsAndExport) {
  ProfileFile f =
      ini("[Spool]\nPath=/spool\nPrinterIndex=1\nmmTopMargin=1\n"
          "[ESSVE]\nPath=\\EXPORT\nftp=ftp.example\nuser=u\npassword=\n");
  printers.metricsValue = {254, 254, 2100, 2970, 30, 42, 2040, 2900};
  StartupEnvironment e = env();
  StartupResult r = runStartup(&f, e);
  EXPECT_EQ(messages.messages,
            (std::vector<std::string>{"Epson: \xC5\xA0riftas MARVENA.TTF nerastas",
                                      "Nera BALTIC_CHARSET"}));
  EXPECT_EQ(r.printSettings.topMargin, 4);  // raised from 1 to the 4.2 mm border
  EXPECT_EQ(r.printSettings.fontName, "MARVENA");
  EXPECT_EQ(r.printSettings.fontSize, 9);
  EXPECT_FALSE(r.ftpExportEnabled);  // password empty
  EXPECT_TRUE(r.timerEnabled);

  messages.messages.clear();
  f.writeString("ESSVE", "password", "p");
  printers.faces = {"marvena"};
  fonts.faces["Courier Marvena"] = {0, 186};
  r = runStartup(&f, e);
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_TRUE(r.printSettings.balticCharset);
  EXPECT_TRUE(r.ftpExportEnabled);
  EXPECT_EQ(r.exportDir, "/dos/EXPORT");
}

}  // namespace
}  // namespace marvena
