#include <gtest/gtest.h>

#include "platform/fake/Fakes.h"
#include "platform/fake/RecordingPrintDevice.h"
#include "presentation/OptionsModel.h"
#include "settings/PrintSettingsOwner.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsStore.h"

namespace marvena {
namespace {

constexpr const char* kIni = "/cfg/MARVENA.INI";

TEST(OptionsTables, ColumnNumbersAndFontRows) {
  struct Case {
    long long value;
    int width;
    const char* text;
  } cases[] = {{5, 2, " 5"},  {14, 2, "14"},    {80, 3, " 80"},   {7, 3, "  7"},
               {0, 3, "   "}, {1234, 3, "234"}, {1005, 3, "  5"}, {-12, 3, " 12"}};
  for (const Case& c : cases) EXPECT_EQ(columnNumber(c.value, c.width), c.text) << c.value;
  EXPECT_EQ(fontTableRow(5, 80, 7),
            " 5" + std::string(11, ' ') + " 80" + std::string(10, ' ') + "  7");
  EXPECT_EQ(fontTableRow(14, 190, 113).size(), 2u + 11 + 3 + 10 + 3);
}

TEST(OptionsTables, RoundingGoesToTheEvenNeighbour) {
  const std::pair<double, int> cases[] = {{12.5, 12}, {13.5, 14}, {12.6, 13}, {12.4, 12},
                                          {-0.5, 0},  {0.5, 0},   {1.5, 2},   {209.97, 210}};
  for (auto [value, expected] : cases) EXPECT_EQ(roundEven(value), expected) << value;
}

TEST(PageSetupTables, PaperFieldsReadAsTheWindowReadsThem) {
  const std::pair<const char*, int> cases[] = {{"210", 210}, {" 42", 42}, {"-5", -5},   {"+7", 7},
                                               {"", 0},      {"   ", 0},  {"12a", 12},  {"-5x", 5},
                                               {"abc", 0},   {"1.5", 1},  {"29 7", 29}, {"007", 7}};
  for (auto [text, expected] : cases) EXPECT_EQ(readPaperField(text), expected) << text;
}

TEST(PageSetupTables, TitlesUserPapersAndCaptions) {
  EXPECT_EQ(pageSetupTitle("Laser on server"), "Spausdintuvo Laser parametrai");
  EXPECT_EQ(pageSetupTitle("Marvena PDF"), "Spausdintuvo Marvena PDF parametrai");
  EXPECT_EQ(pageSetupTitle("A on B on C"), "Spausdintuvo A parametrai");
  for (const char* user : {"User defined", "Custom", "custom size", "USERSIZE"})
    EXPECT_TRUE(isUserPaper(user)) << user;
  for (const char* plain : {"A4", "Letter", "Env10", ""}) EXPECT_FALSE(isUserPaper(plain)) << plain;
  ASSERT_EQ(pageSetupCaptions().size(), 12u);
  EXPECT_STREQ(pageSetupCaptions().front().text, "Popierius");
  EXPECT_STREQ(pageSetupCaptions().back().text, "&Printeris");
  EXPECT_EQ(printerDialogCaptions().size(), 7u);
}

// Two printers with different papers and borders, and a third that reports
// no paper sizes at all.
struct OptionsTest : ::testing::Test {
  FakeFileSystem fs;
  FakePrinters printers;  // the window's own
  FakePrinters jobPrinters;
  RecordingPrintDevice device;
  std::vector<SettingsChange> published;
  std::vector<std::string> told;
  bool storeFailureTold = false;
  PrintSettings running;

  OptionsTest() {
    for (FakePrinters* p : {&printers, &jobPrinters}) {
      p->printerNames = {"Laser on server", "Marvena PDF", "Bare"};
      p->paperSizes[0] = {{"Letter", 1, 2159, 2794}, {"A4", 9, 2100, 2970}, {"User", 256, 0, 0}};
      p->paperSizes[1] = {{"A4", 9, 2100, 2970}, {"A5", 11, 1480, 2100}, {"Custom", 256, 0, 0}};
      // The PDF printer has no border at all.
      p->metricsOf[1] = PrinterMetrics{600, 600, 4961, 7016, 0, 0, 4961, 7016};
    }
    fs.dirs.insert("/cfg");
    running.printerIndex = 0;
  }
  ProfileFile settings{fs, kIni, ','};
  OptionsModel model(ProfileFile* file) {
    return OptionsModel(
        {printers, device, file, [this](const SettingsChange& c) { published.push_back(c); },
         [this](const std::string& m) { told.push_back(m); }, &storeFailureTold},
        running);
  }
  std::string stored() { return fs.files.count(kIni) ? fs.files[kIni] : std::string(); }
};

TEST_F(OptionsTest, ParametersReadsWholeMillimetreMarginsRaisedToTheBorder) {
  fs.put(kIni, "[Spool]\nmmTopMargin=2\nmmBottomMargin=12,6\nmmLeftMargin=12,5\n");
  running.rightMargin = 20;  // no key: the running value is the default
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  // The border of the fake printer is 4 mm on every side (100 dots at 600 dpi).
  EXPECT_EQ(window->margins, (MarginRect{1200, 400, 2000, 1300}));
  EXPECT_EQ(window->minimumMargins(), (MarginRect{400, 400, 400, 400}));
  // Not a user paper: the size comes from the printer's physical page.
  EXPECT_EQ(window->widthText, "210");
  EXPECT_EQ(window->lengthText, "297");
  EXPECT_EQ(window->title(), "Spausdintuvo Laser parametrai");
}

TEST_F(OptionsTest, ConfirmedParametersStoreTheKeysInTheirOrderAndReachTheJobs) {
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  window->choosePaper(0);  // Letter fills the fields from the driver
  EXPECT_EQ(window->widthText, "216");
  EXPECT_EQ(window->lengthText, "279");
  EXPECT_FALSE(window->paperFieldsEnabled());
  window->orientation = Orientation::Landscape;
  window->margins = {1500, 1000, 1500, 2000};
  ASSERT_EQ(window->accept(), "");
  m.finishParameters(*window);
  EXPECT_EQ(stored(),
            "[Spool]\nPrinterIndex=0\nPrinterInUse=Laser on server\n"
            "PrinterOrientation=poLandscape\nPaperSize=1\nmmPaperLength=279\nmmPaperWidth=216\n"
            "mmTopMargin=10\nmmBottomMargin=20\nmmLeftMargin=15\nmmRightMargin=15\n");
  ASSERT_FALSE(published.empty());
  const SettingsChange& c = published.back();
  EXPECT_TRUE(c.printer && c.margins && !c.font);
  EXPECT_EQ(c.printerName, "Laser on server");
  EXPECT_EQ(c.paperSize, 1);
  EXPECT_EQ(c.orientation, Orientation::Landscape);
  EXPECT_FLOAT_EQ(c.left, 15);
  EXPECT_FLOAT_EQ(c.bottom, 20);
}

TEST_F(OptionsTest, CancelAfterThePageSetupButtonReturnsToTheStoredMargins) {
  fs.put(kIni, "[Spool]\nmmTopMargin=10\nmmBottomMargin=10\nmmLeftMargin=2\nmmRightMargin=10\n");
  OptionsModel m = model(&settings);
  auto plain = m.beginPageSetup();
  EXPECT_FALSE(plain->withPaperFields());
  plain->margins = {3000, 3000, 3000, 3000};
  ASSERT_EQ(plain->accept(), "");
  m.finishPageSetup(*plain);
  EXPECT_FLOAT_EQ(m.settings().leftMargin, 30);
  EXPECT_EQ(stored().find("mmLeftMargin=30"), std::string::npos);  // not stored

  auto window = m.beginParameters();
  window->margins = {5000, 5000, 5000, 5000};
  window->cancel();
  EXPECT_EQ(window->margins, (MarginRect{400, 1000, 1000, 1000}));
  m.cancelParameters();
  EXPECT_FLOAT_EQ(m.settings().leftMargin, 4);  // stored 2, raised to the border
  EXPECT_FLOAT_EQ(m.settings().topMargin, 10);
  EXPECT_FLOAT_EQ(published.back().left, 4);
  EXPECT_EQ(stored().find("PrinterIndex"), std::string::npos);
}

TEST_F(OptionsTest, UserPaperKeepsItsSizeAndFieldsAreCheckedBeforeAnythingIsStored) {
  running.paperSize = 256;
  running.paperLength = 300;
  running.paperWidth = 150;
  OptionsModel m = model(&settings);
  // The custom size reaches the printer in tenths of a millimetre.
  EXPECT_EQ(printers.lengthTenths, 3000);
  EXPECT_EQ(printers.widthTenths, 1500);
  auto window = m.beginParameters();
  EXPECT_EQ(window->lengthText, "300");  // not recomputed from the printer
  EXPECT_EQ(window->widthText, "150");
  EXPECT_TRUE(window->paperFieldsEnabled());
  for (const char* bad : {"0", "10000", "", "abc"}) {
    window->widthText = bad;
    EXPECT_NE(window->accept(), "") << bad;
  }
  window->widthText = "10";
  window->margins = {600, 400, 600, 400};  // 12 mm of margins on 10 mm of paper
  EXPECT_NE(window->accept().find("Para\u0161t\u0117s netelpa"), std::string::npos);
  EXPECT_EQ(stored(), "");
  EXPECT_TRUE(published.empty());
  window->widthText = "100";
  ASSERT_EQ(window->accept(), "");
  m.finishParameters(*window);
  EXPECT_NE(stored().find("PaperSize=256\nmmPaperLength=300\nmmPaperWidth=100\n"),
            std::string::npos);
}

TEST_F(OptionsTest, MarginsWiderThanTheSheetAreRefusedWithNothingStored) {
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  window->margins = {10500, 1000, 10500, 1000};  // 105 + 105 mm on 210 mm
  EXPECT_NE(window->accept(), "");
  window->orientation = Orientation::Landscape;  // 297 mm wide lying
  EXPECT_EQ(window->accept(), "");
  window->margins = {1000, 15000, 1000, 15000};  // 300 mm on 210 mm high
  EXPECT_NE(window->accept(), "");
  EXPECT_EQ(stored(), "");
}

TEST_F(OptionsTest, AnUnwritableSettingsFileIsToldOnceAndTheRunningSettingsKeepTheValues) {
  fs.failWrites = true;
  OptionsModel m = model(&settings);
  for (int round = 0; round < 2; ++round) {
    auto window = m.beginParameters();
    window->margins = {2500, 2500, 2500, 2500};
    ASSERT_EQ(window->accept(), "");
    m.finishParameters(*window);
    EXPECT_FLOAT_EQ(m.settings().topMargin, 25);
    EXPECT_FLOAT_EQ(published.back().top, 25);
  }
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find(kIni), std::string::npos);
  // Without a settings file nothing is written and nobody is told.
  OptionsModel none = model(nullptr);
  auto window = none.beginParameters();
  ASSERT_EQ(window->accept(), "");
  none.finishParameters(*window);
  EXPECT_EQ(told.size(), 1u);
}

TEST_F(OptionsTest, APrinterWithoutPapersKeepsTheFieldsAndThePaperCode) {
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  ASSERT_TRUE(window->choosePrinter(2));
  EXPECT_EQ(window->title(), "Spausdintuvo Bare parametrai");
  EXPECT_TRUE(window->papers().empty());
  EXPECT_EQ(window->paperIndex(), -1);
  EXPECT_EQ(window->widthText, "210");
  EXPECT_FALSE(window->paperFieldsEnabled());
  window->choosePaper(0);  // nothing to choose: nothing happens
  ASSERT_EQ(window->accept(), "");
  m.finishParameters(*window);
  EXPECT_EQ(printers.currentIndex(), 2);
  EXPECT_NE(stored().find("PrinterInUse=Bare\nPrinterOrientation=poPortrait\nPaperSize=9\n"),
            std::string::npos);
}

TEST_F(OptionsTest, AnotherPrinterRenamesTheWindowAndTakesItsPaperOfTheSameName) {
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  window->choosePaper(1);  // A4 on the laser
  ASSERT_TRUE(window->choosePrinter(1));
  EXPECT_EQ(window->title(), "Spausdintuvo Marvena PDF parametrai");
  EXPECT_EQ(window->paperIndex(), 0);
  EXPECT_EQ(window->minimumMargins(), MarginRect{});  // the PDF printer has no border
  window->choosePaper(2);
  EXPECT_TRUE(window->paperFieldsEnabled());
  // Nothing reaches the printer object before OK, and Cancel leaves it.
  EXPECT_EQ(printers.currentIndex(), 0);
  window->cancel();
  EXPECT_EQ(printers.currentIndex(), 0);
}

TEST_F(OptionsTest, APrinterRemovedWhileTheWindowIsOpenIsNotApplied) {
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  ASSERT_TRUE(window->choosePrinter(1));
  printers.unselectable.insert(1);  // gone from the system
  EXPECT_NE(window->accept().find("nebepasiekiamas"), std::string::npos);
  EXPECT_FALSE(window->choosePrinter(1));
  EXPECT_EQ(stored(), "");
  // From the printer-setup button: told, nothing changes.
  EXPECT_FALSE(m.choosePrinter({1, 9, Orientation::Portrait}));
  EXPECT_EQ(told.size(), 1u);
  EXPECT_TRUE(published.empty());
  // Gone from the jobs' list by the time the change arrives: the jobs keep
  // their printer, the margins still apply.
  SettingsChange c;
  c.printer = c.margins = true;
  c.printerIndex = 1;
  c.printerName = "Marvena PDF";
  c.top = 30;
  jobPrinters.printerNames = {"Laser on server", "Bare"};
  jobPrinters.select(0);
  PrintSettings ps;
  EXPECT_FALSE(applySettingsChange(c, ps, jobPrinters));
  EXPECT_EQ(jobPrinters.currentIndex(), 0);
  EXPECT_FLOAT_EQ(ps.topMargin, 30);
}

TEST_F(OptionsTest, PrinterSetupAndFontChangeOnlyTheRunningSettings) {
  OptionsModel m = model(&settings);
  EXPECT_EQ(m.papersOf(1).size(), 3u);
  EXPECT_EQ(printers.currentIndex(), 0);  // asking did not change the choice
  ASSERT_TRUE(m.choosePrinter({1, 11, Orientation::Landscape}));
  EXPECT_EQ(m.settings().printerIndex, 1);
  EXPECT_EQ(m.settings().paperSize, 11);
  EXPECT_EQ(printers.orientation(), Orientation::Landscape);
  m.setFont({"Courier", 11, fsBold});
  EXPECT_EQ(stored(), "");  // neither is written
  ASSERT_EQ(published.size(), 2u);
  EXPECT_TRUE(published[0].printer && !published[0].font);
  EXPECT_TRUE(published[1].font && !published[1].printer && !published[1].margins);

  // The jobs get them by name, even when the list moved underneath.
  jobPrinters.printerNames = {"Marvena PDF", "Laser on server"};
  jobPrinters.metricsOf = {{0, PrinterMetrics{600, 600, 4961, 7016, 0, 0, 4961, 7016}}};
  PrintSettings ps;
  ps.leftMargin = 1;
  EXPECT_TRUE(applySettingsChange(published[0], ps, jobPrinters));
  EXPECT_EQ(jobPrinters.currentIndex(), 0);
  EXPECT_EQ(ps.printerIndex, 0);
  EXPECT_EQ(ps.paperSize, 11);
  EXPECT_EQ(ps.orientation, Orientation::Landscape);
  EXPECT_TRUE(applySettingsChange(published[1], ps, jobPrinters));
  EXPECT_EQ(ps.fontName, "Courier");
  EXPECT_EQ(ps.fontSize, 11);
  // Another printer with a border raises the margins to it.
  SettingsChange toLaser = published[0];
  toLaser.printerIndex = 1;
  toLaser.printerName = "Laser on server";
  EXPECT_TRUE(applySettingsChange(toLaser, ps, jobPrinters));
  EXPECT_FLOAT_EQ(ps.leftMargin, 4);
}

TEST_F(OptionsTest, InformationPageMeasuresAsAJobPrints) {
  running.fontName = "Courier";
  running.leftMargin = running.rightMargin = 25.4f;  // one inch
  OptionsModel m = model(&settings);
  const std::optional<InformationPage> page = m.information();
  ASSERT_TRUE(page);
  EXPECT_EQ(page->pageWidth, 210);  // 4960 dots at 600 dpi
  EXPECT_EQ(page->pageHeight, 297);
  EXPECT_EQ(page->left, 25);
  EXPECT_EQ(page->right, 25);
  EXPECT_EQ(page->top, 4);  // no margin: the printer's border
  EXPECT_EQ(page->printableWidth, 159);
  EXPECT_EQ(page->printableHeight, 289);
  EXPECT_EQ(page->fontName, "Courier");
  ASSERT_EQ(page->rows.size(), 10u);
  // Size 5: cells 25 dots wide, lines 60 dots: (4960 - 2 * 600) / 25 and
  // (7016 - 2 * 99) / 60.
  EXPECT_EQ(page->rows[0], fontTableRow(5, 150, 113));
  // Size 14: 70 and 150 dots.
  EXPECT_EQ(page->rows[9], fontTableRow(14, 53, 45));

  device.failMetrics = true;  // the printer cannot be measured: keep the page
  EXPECT_FALSE(m.information());
}

TEST_F(OptionsTest, PageSetupWindowContract) {
  OptionsModel m = model(&settings);
  auto window = m.beginParameters();
  window->margins = {1000, 1000, 1000, 1000};
  window->begin();
  window->margins = {2000, 2000, 2000, 2000};
  window->cancel();
  EXPECT_EQ(window->margins, (MarginRect{1000, 1000, 1000, 1000}));
  EXPECT_TRUE(window->printerButton());
  window->onPrinter = [](bool& show) { show = false; };
  EXPECT_FALSE(window->printerButton());
  EXPECT_EQ(window->pageWidth(), 21000);
  window->orientation = Orientation::Landscape;
  EXPECT_EQ(window->pageWidth(), 29700);
  EXPECT_EQ(window->pageHeight(), 21000);
}

}  // namespace
}  // namespace marvena

namespace marvena {
namespace {

TEST(OptionsAtStart, OpenWhenNoPrinterIsChosenOrAnotherIsInUse) {
  FakeFileSystem fs;
  FakePrinters printers;
  printers.printerNames = {"Laser", "Marvena PDF"};
  printers.select(1);
  EXPECT_EQ(optionsWantedAtStart(nullptr, printers), "");
  struct Case {
    const char* file;
    bool opens;
  } cases[] = {{"[Spool]\nPath=\\MARVENA\\SPOOL\n", true},
               {"[Spool]\nPrinterIndex=1\nPrinterInUse=Laser\n", true},
               {"[Spool]\nPrinterIndex=1\nPrinterInUse=Marvena PDF\n", false},
               {"[Spool]\nPrinterIndex=1\nPrinterInUse=\n", false}};
  for (const Case& c : cases) {
    fs.put(kIni, c.file);
    ProfileFile f(fs, kIni, ',');
    EXPECT_EQ(!optionsWantedAtStart(&f, printers).empty(), c.opens) << c.file;
  }
}

}  // namespace
}  // namespace marvena

namespace marvena {
namespace {

TEST(OptionsReachTheJobs, AChangeMadeWhileAJobRunsSurvivesItsCarryOverAndWaitsForTheNextJob) {
  PrintSettings storage;
  PrintSettingsOwner owner(storage);
  FakePrinters jobPrinters;
  jobPrinters.printerNames = {"Laser", "Marvena PDF"};
  jobPrinters.select(0);

  PrintSettings job = owner.snapshot();  // a job starts
  SettingsChange change;
  change.printer = change.margins = true;
  change.printerIndex = 1;
  change.printerName = "Marvena PDF";
  change.left = 50;
  owner.updateForNextJob(
      [change](PrintSettings& ps, Printers& p) { applySettingsChange(change, ps, p); });
  EXPECT_EQ(jobPrinters.currentIndex(), 0);  // the running job's printer stays
  job.fontSize = 12;                         // what its directives set
  owner.carryOver(job);
  EXPECT_FLOAT_EQ(owner.snapshot().leftMargin, 0);
  owner.applyPending(jobPrinters);  // the next job starts
  const PrintSettings next = owner.snapshot();
  EXPECT_FLOAT_EQ(next.leftMargin, 50);
  EXPECT_EQ(next.fontSize, 12);  // the job's own change is kept too
  EXPECT_EQ(jobPrinters.currentIndex(), 1);
  owner.applyPending(jobPrinters);  // applied once
  EXPECT_EQ(owner.snapshot().printerIndex, 1);
}

}  // namespace
}  // namespace marvena
