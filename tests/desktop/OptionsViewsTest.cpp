// The options, page-setup, printer and font windows under the offscreen
// platform, driven through their buttons and fields.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPageSize>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/fake/Fakes.h"
#include "platform/fake/RecordingPrintDevice.h"
#include "platform/qt/QtPrinters.h"
#include "settings/ProfileFile.h"
#include "ui/qt/FontDialog.h"
#include "ui/qt/OptionsDialog.h"
#include "ui/qt/PageSetupDialog.h"
#include "ui/qt/PrinterSetupDialog.h"

namespace marvena {
namespace {

constexpr const char* kIni = "/cfg/MARVENA.INI";

template <class W>
QStringList allTexts(QWidget* root) {
  QStringList out;
  for (W* w : root->findChildren<W*>()) {
    if constexpr (std::is_same_v<W, QGroupBox>)
      out << w->title();
    else
      out << w->text();
  }
  return out;
}

struct OptionsViews : ::testing::Test {
  FakeFileSystem fs;
  ProfileFile settings{fs, kIni, ','};
  std::vector<SettingsChange> published;
  std::vector<std::string> told;
  bool toldOnce = false;
  FakePrinters* printers = nullptr;  // owned by the window's services
  RecordingPrintDevice* device = nullptr;

  OptionsDialogServices services() {
    OptionsDialogServices p;
    auto fake = std::make_unique<FakePrinters>();
    fake->printerNames = {"Laser on server", "Marvena PDF"};
    fake->paperSizes[0] = {{"A4", 9, 2100, 2970}, {"Letter", 1, 2159, 2794}, {"User", 256, 0, 0}};
    fake->paperSizes[1] = {{"A4", 9, 2100, 2970}, {"Custom", 256, 0, 0}};
    fake->metricsOf[1] = PrinterMetrics{600, 600, 4961, 7016, 0, 0, 4961, 7016};
    printers = fake.get();
    auto dev = std::make_unique<RecordingPrintDevice>();
    device = dev.get();
    p.printers = std::move(fake);
    p.device = std::move(dev);
    PrintSettings running;
    running.printerIndex = 0;
    running.fontName = "Courier";
    p.model = std::make_unique<OptionsModel>(
        OptionsModel::Services{*p.printers, *p.device, &settings,
                               [this](const SettingsChange& c) { published.push_back(c); },
                               [this](const std::string& m) { told.push_back(m); }, &toldOnce},
        running);
    return p;
  }
  OptionsViews() { fs.dirs.insert("/cfg"); }
};

TEST_F(OptionsViews, TheWindowItsPagesAndTheInformationTable) {
  OptionsDialog dialog(services());
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Marvena Spool Parametrai");
  ASSERT_EQ(dialog.pages()->count(), 2);
  EXPECT_EQ(dialog.pages()->tabText(0), "Spausdintuvas");
  EXPECT_EQ(dialog.pages()->tabText(1), "Informacija");
  EXPECT_EQ(dialog.parametersButton()->text(), "Parametrai");
  EXPECT_EQ(dialog.fontButton()->text(), "Sriftas");
  EXPECT_GE(dialog.width(), 557);

  int abouts = 0;
  dialog.onAbout = [&] { ++abouts; };
  QTest::mouseClick(dialog.aboutButton(), Qt::LeftButton);
  EXPECT_EQ(abouts, 1);

  dialog.pages()->setCurrentIndex(1);  // shown: worked out afresh
  EXPECT_EQ(dialog.valueField(0)->text(), "210");
  EXPECT_EQ(dialog.valueField(1)->text(), "297");
  EXPECT_EQ(dialog.valueField(8)->text(), "Courier");
  ASSERT_EQ(dialog.fontTable()->count(), 10);
  EXPECT_EQ(dialog.fontTable()->item(0)->text().toStdString(), fontTableRow(5, 190, 113));
  QStringList labels = allTexts<QLabel>(&dialog);
  EXPECT_TRUE(labels.contains(QString::fromUtf8("Dydis  Simboli\u0173  Eilu\u010Di\u0173")));
  EXPECT_TRUE(labels.contains("Puslapis"));
  EXPECT_TRUE(allTexts<QGroupBox>(&dialog).contains(QString::fromUtf8("\u0160riftas")));

  // A printer that cannot be measured leaves the page as it was.
  device->failMetrics = true;
  dialog.pages()->setCurrentIndex(0);
  dialog.pages()->setCurrentIndex(1);
  EXPECT_EQ(dialog.valueField(0)->text(), "210");
  EXPECT_EQ(dialog.fontTable()->count(), 10);
}

TEST_F(OptionsViews, ParametersThroughThePageSetupWindowStoresOnOkOnly) {
  OptionsDialog dialog(services());
  std::function<void(PageSetupDialog&)> user;
  dialog.runPageSetup = [&](PageSetupModel& m) {
    PageSetupDialog window(m, &dialog);
    window.show();
    user(window);
    return window.result() == QDialog::Accepted;
  };
  user = [](PageSetupDialog& w) {
    EXPECT_EQ(w.windowTitle(), "Spausdintuvo Laser parametrai");
    EXPECT_EQ(w.paperBox()->currentText(), "A4");
    EXPECT_FALSE(w.widthField()->isEnabled());
    w.paperBox()->setCurrentIndex(2);  // "User": the fields open
    EXPECT_TRUE(w.widthField()->isEnabled());
    w.widthField()->clear();
    QTest::keyClicks(w.widthField(), "1500");  // three digits at most
    EXPECT_EQ(w.widthField()->text(), "150");
    w.marginBox(0)->setValue(15);
    w.landscapeButton()->setChecked(true);
    w.cancelButton()->click();
  };
  QTest::mouseClick(dialog.parametersButton(), Qt::LeftButton);
  EXPECT_FALSE(fs.files.count(kIni));

  user = [](PageSetupDialog& w) {
    // The border of the printer is the least a margin can be.
    EXPECT_DOUBLE_EQ(w.marginBox(1)->minimum(), 4.0);
    w.marginBox(0)->setValue(120);
    w.marginBox(2)->setValue(100);  // 220 mm of margins on 210 mm of paper
    w.okButton()->click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.messageLabel()->text().contains(QString::fromUtf8("netelpa")));
    w.marginBox(0)->setValue(20);
    w.marginBox(2)->setValue(20);
    w.paperBox()->setCurrentIndex(1);  // Letter from the driver's list
    EXPECT_EQ(w.widthField()->text(), "216");
    w.okButton()->click();
    EXPECT_FALSE(w.isVisible());
  };
  QTest::mouseClick(dialog.parametersButton(), Qt::LeftButton);
  const std::string stored = fs.files[kIni];
  EXPECT_NE(stored.find("PaperSize=1\nmmPaperLength=279\nmmPaperWidth=216\n"), std::string::npos);
  EXPECT_NE(stored.find("mmLeftMargin=20\n"), std::string::npos);
  ASSERT_FALSE(published.empty());
  EXPECT_FLOAT_EQ(published.back().left, 20);
}

TEST_F(OptionsViews, PrinterRemovedWhileThePageSetupWindowIsOpen) {
  OptionsDialog dialog(services());
  std::unique_ptr<PageSetupModel> window = dialog.model().beginParameters();
  PageSetupDialog view(*window);
  view.show();
  ASSERT_TRUE(view.choosePrinter(1));
  EXPECT_EQ(view.windowTitle(), "Spausdintuvo Marvena PDF parametrai");
  EXPECT_DOUBLE_EQ(view.marginBox(0)->minimum(), 0.0);  // the PDF printer has no border
  printers->unselectable.insert(1);
  view.okButton()->click();
  EXPECT_TRUE(view.isVisible());
  EXPECT_TRUE(view.messageLabel()->text().contains(QString::fromUtf8("nebepasiekiamas")));
  EXPECT_FALSE(view.choosePrinter(1));
  view.cancelButton()->click();
  EXPECT_FALSE(fs.files.count(kIni));
}

TEST_F(OptionsViews, PrinterSetupOffersTheListWithPaperAndOrientation) {
  OptionsDialog dialog(services());
  bool ran = false;
  dialog.runPrinterSetup = [&](PrinterChoice& choice) {
    OptionsModel& m = dialog.model();
    PrinterSetupDialog chooser(
        m.printerNames(), choice.index, [&m](int i) { return m.papersOf(i); }, choice.paperCode,
        choice.orientation);
    chooser.show();
    EXPECT_EQ(chooser.printerBox()->count(), 2);
    chooser.printerBox()->setCurrentIndex(1);
    EXPECT_EQ(chooser.paperBox()->count(), 2);  // the PDF printer's papers
    EXPECT_EQ(chooser.paperBox()->currentText(), "A4");
    chooser.landscapeButton()->setChecked(true);
    chooser.okButton()->click();
    choice = {chooser.printerIndex(), chooser.paperCode(), chooser.orientation()};
    ran = true;
    return chooser.result() == QDialog::Accepted;
  };
  QTest::mouseClick(dialog.printerSetupButton(), Qt::LeftButton);
  ASSERT_TRUE(ran);
  EXPECT_EQ(dialog.model().settings().printerIndex, 1);
  EXPECT_EQ(dialog.model().settings().orientation, Orientation::Landscape);
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0].printerName, "Marvena PDF");
  EXPECT_FALSE(fs.files.count(kIni));  // not stored
}

TEST_F(OptionsViews, TheFontChooserHasTheLithuanianCaptionsAndOnlyMonospacedSizesFiveToFourteen) {
  FontDialog chooser({"No Such Face", 9, 0});
  chooser.show();
  EXPECT_EQ(chooser.windowTitle(), "Sriftas");
  const QStringList labels = allTexts<QLabel>(&chooser);
  for (const char* text : {"Sri&ftas:", "St&ilius:", "&Dydis:", "&Spalva:", "&Rastas:"})
    EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
  const QStringList groups = allTexts<QGroupBox>(&chooser);
  EXPECT_TRUE(groups.contains("Efektai"));
  EXPECT_TRUE(groups.contains("Pavyzdys"));
  EXPECT_TRUE(allTexts<QPushButton>(&chooser).contains("Grizti"));
  EXPECT_EQ(chooser.underlineBox()->text(), "Pabraukti");
  ASSERT_EQ(chooser.sizeList()->count(), 10);
  EXPECT_EQ(chooser.sizeList()->item(0)->text(), "5");
  EXPECT_EQ(chooser.sizeList()->item(9)->text(), "14");
  // A face that is not installed stays chosen; the others are monospaced.
  EXPECT_EQ(chooser.familyList()->currentItem()->text(), "No Such Face");
  for (int i = 1; i < chooser.familyList()->count(); ++i) {
    const QString family = chooser.familyList()->item(i)->text();
    if (!family.contains("MARVENA", Qt::CaseInsensitive)) {
      EXPECT_TRUE(QFontDatabase::isFixedPitch(family)) << family.toStdString();
    }
  }

  chooser.sizeList()->setCurrentRow(9);
  chooser.underlineBox()->setChecked(true);
  chooser.reject();  // after Cancel it still holds what it was given
  EXPECT_EQ(chooser.font().size, 9);
  EXPECT_EQ(chooser.font().style, 0u);
  chooser.accept();
  EXPECT_EQ(chooser.font().size, 14);
  EXPECT_EQ(chooser.font().style, static_cast<unsigned>(fsUnderline));

  // Through the options window: the running font changes, nothing is stored.
  OptionsDialog dialog(services());
  dialog.runFontDialog = [](FontChoice& f) {
    f.size = 12;
    return true;
  };
  QTest::mouseClick(dialog.fontButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.model().settings().fontSize, 12);
  ASSERT_EQ(published.size(), 1u);
  EXPECT_TRUE(published[0].font);
  dialog.runFontDialog = [](FontChoice&) { return false; };
  QTest::mouseClick(dialog.fontButton(), Qt::LeftButton);
  EXPECT_EQ(published.size(), 1u);
  EXPECT_FALSE(fs.files.count(kIni));
}

TEST_F(OptionsViews, AFontFamilyThatIsGoneMeasuresAndPrintsInTheFallback) {
  std::unique_ptr<Platform> platform = makePlatform();
  platform->configure(PlatformConfig{settings, "/nonexistent-pdf-dir", "", true, {}});
  std::unique_ptr<Printers> own = platform->makePrinters();
  ASSERT_TRUE(own);
  std::unique_ptr<PrintDevice> dev = platform->makePrintDeviceFor(*own);
  ASSERT_TRUE(dev);
  PrintSettings running;
  running.printerIndex = static_cast<int>(own->names().size()) - 1;  // "Marvena PDF"
  OptionsModel model({*own, *dev, nullptr, {}, {}, nullptr}, running);
  model.setFont({"DejaVu Sans Mono", 9, 0});
  const std::optional<InformationPage> installed = model.information();
  model.setFont({"A Family Removed Since", 9, 0});
  const std::optional<InformationPage> gone = model.information();
  ASSERT_TRUE(installed && gone);
  EXPECT_EQ(gone->fontName, "A Family Removed Since");
  EXPECT_EQ(gone->rows, installed->rows);
}

TEST(UserPaperSizes, SizesNoSheetHasPrintOnA4) {
  struct Case {
    int code;
    double length, width;
    QSizeF mm;
  } cases[] = {{256, 297, 210, {210, 297}}, {256, 5080, 210, {210, 5080}},
               {256, 0, 210, {210, 297}},   {256, 10000, 210, {210, 297}},
               {256, 297, -5, {210, 297}},  {9, 100, 100, {210, 297}},
               {1, 0, 0, {215.9, 279.4}},   {12345, 0, 0, {210, 297}}};
  for (const Case& c : cases) {
    const QSizeF got =
        pageSizeFromWindowsCode(c.code, c.length, c.width).size(QPageSize::Millimeter);
    EXPECT_NEAR(got.width(), c.mm.width(), 0.1) << c.code << " " << c.length;
    EXPECT_NEAR(got.height(), c.mm.height(), 0.1) << c.code << " " << c.length;
  }
}

TEST_F(OptionsViews, AClosedWindowFreesItself) {
  QPointer<OptionsDialog> dialog = new OptionsDialog(services());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
  dialog->close();
  QTest::qWait(20);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

}  // namespace
}  // namespace marvena
