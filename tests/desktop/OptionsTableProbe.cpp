// Prints the options window's information page for a settings file, as the
// window works it out on the platform's own printer objects, so that the
// end-to-end test can print jobs against it. argv: settings file, PDF
// directory. Output: "page W H", "margins L T R B", then one line per font
// size: "row SIZE CHARS LINES", then the printer's papers as the page-setup
// window lists them: "paper CODE WIDTH LENGTH NAME" (tenths of a mm).
#include <QApplication>
#include <cstdio>

#include "platform/Platform.h"
#include "presentation/OptionsModel.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsStore.h"

int main(int argc, char** argv) {
  using namespace marvena;
  if (argc != 3) return 2;
  QApplication app(argc, argv);
  std::unique_ptr<Platform> platform = makePlatform();
  ProfileFile settings(platform->fileSystem(), argv[1], platform->locale().decimalSeparator());
  platform->configure(PlatformConfig{settings, argv[2], "", true, {}});
  std::unique_ptr<Printers> printers = platform->makePrinters();
  std::unique_ptr<PrintDevice> device = platform->makePrintDeviceFor(*printers);
  if (!printers || !device) return 2;
  PrintSettings ps;
  ps.printerIndex = settings.readInteger("Spool", "PrinterIndex", -1);
  loadPaperAndMargins(&settings, ps);
  OptionsModel model({*printers, *device, nullptr, {}, {}, nullptr}, ps);
  const std::optional<InformationPage> page = model.information();
  if (!page) return 1;
  std::printf("page %d %d\nmargins %d %d %d %d\n", page->pageWidth, page->pageHeight, page->left,
              page->top, page->right, page->bottom);
  int size = kSmallestFontSize;
  for (const std::string& row : page->rows) {
    int chars = 0, lines = 0;
    std::sscanf(row.c_str() + 2, "%d %d", &chars, &lines);
    std::printf("row %d %d %d |%s|\n", size++, chars, lines, row.c_str());
  }
  PageSetupModel window(*printers, true);
  for (const PaperInfo& p : window.papers())
    std::printf("paper %d %d %d %s\n", p.code, p.widthTenthMm, p.lengthTenthMm, p.name.c_str());
  const MarginRect min = window.minimumMargins();
  std::printf("minimum %d %d %d %d\n", min.left, min.top, min.right, min.bottom);
  return 0;
}
