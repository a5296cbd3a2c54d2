// The options window "Marvena Spool Parametrai": the printer page with the
// printer-setup, page-setup, "Parametrai" and "Sriftas" buttons, and the
// information page that shows what the choices give on paper. It draws
// OptionsModel and runs the page-setup, printer and font choosers.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "platform/PrintDevice.h"
#include "platform/Printers.h"
#include "presentation/OptionsModel.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace marvena {

// The window's own printer object, the device that measures on it and the
// model over both, kept together for the window's life.
struct OptionsDialogServices {
  std::unique_ptr<Printers> printers;
  std::unique_ptr<PrintDevice> device;
  std::unique_ptr<OptionsModel> model;
};

class OptionsDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit OptionsDialog(OptionsDialogServices services, QWidget* parent = nullptr);
  ~OptionsDialog() override;

  // The about box, opened by the caption button.
  std::function<void()> onAbout;
  // The choosers, run modally; tests replace them to answer for the user.
  // Each returns whether the user confirmed.
  std::function<bool(PageSetupModel&)> runPageSetup;
  std::function<bool(PrinterChoice&)> runPrinterSetup;
  std::function<bool(FontChoice&)> runFontDialog;

  OptionsModel& model() { return *services_.model; }
  QTabWidget* pages() const { return pages_; }
  QPushButton* parametersButton() const { return parameters_; }
  QPushButton* fontButton() const { return font_; }
  QToolButton* printerSetupButton() const { return printerSetup_; }
  QToolButton* pageSetupButton() const { return pageSetup_; }
  QToolButton* aboutButton() const { return about_; }
  // The nine value fields: page width and height, top, left, right and
  // bottom margin, printable width and height, font name.
  QLabel* valueField(int i) const { return values_[i]; }
  QListWidget* fontTable() const { return table_; }

  // "Parametrai" as the button runs it (also at start-up, before showing).
  void runParameters();
  void showInformation();

 private:
  QWidget* makePrinterPage();
  QWidget* makeInformationPage();

  OptionsDialogServices services_;
  QTabWidget* pages_;
  QPushButton* parameters_;
  QPushButton* font_;
  QToolButton* printerSetup_;
  QToolButton* pageSetup_;
  QToolButton* about_;
  QLabel* values_[9];
  QListWidget* table_;
};

}  // namespace marvena
