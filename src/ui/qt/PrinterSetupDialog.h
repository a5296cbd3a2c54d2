// The printer chooser: the system's printers (and "Marvena PDF"), with the
// paper and orientation where the caller asks for them. It only chooses;
// the caller applies the choice.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/Printers.h"

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace marvena {

class PrinterSetupDialog final : public QDialog {
  Q_OBJECT
 public:
  // `papersOf` gives a printer's papers; without it the chooser offers no
  // paper and orientation.
  PrinterSetupDialog(const std::vector<std::string>& names, int current,
                     std::function<std::vector<PaperInfo>(int)> papersOf, int paperCode,
                     Orientation orientation, QWidget* parent = nullptr);

  int printerIndex() const;
  int paperCode() const;
  Orientation orientation() const;

  QComboBox* printerBox() const { return printer_; }
  QComboBox* paperBox() const { return paper_; }
  QRadioButton* landscapeButton() const { return landscape_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void fillPapers(int code);

  std::function<std::vector<PaperInfo>(int)> papersOf_;
  std::vector<PaperInfo> papers_;
  int givenCode_ = 9;
  QComboBox* printer_;
  QComboBox* paper_ = nullptr;
  QRadioButton* portrait_ = nullptr;
  QRadioButton* landscape_ = nullptr;
  QLabel* where_;
  QPushButton* ok_;
};

}  // namespace marvena
