// The page-setup window over PageSetupModel: paper from the printer's own
// list, orientation, margins in millimetres no smaller than the printer's
// border, a small picture of the page, and (for "Parametrai") the paper
// width and length fields that only user-defined papers may change.
#pragma once

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace marvena {

class PageSetupModel;
class PagePreview;

class PageSetupDialog final : public QDialog {
  Q_OBJECT
 public:
  PageSetupDialog(PageSetupModel& model, QWidget* parent = nullptr);

  QComboBox* paperBox() const { return paper_; }
  QLineEdit* widthField() const { return width_; }
  QLineEdit* lengthField() const { return length_; }
  QRadioButton* landscapeButton() const { return landscape_; }
  QDoubleSpinBox* marginBox(int side) const { return margins_[side]; }  // left, top, right, bottom
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* printerButton() const { return printer_; }
  QLabel* messageLabel() const { return message_; }
  // Chooses another printer as its chooser would.
  bool choosePrinter(int index);

  void done(int result) override;

 private:
  void fillPapers();
  void fromModel();
  void toModel();
  void runPrinterChooser();

  PageSetupModel& model_;
  QComboBox* paper_;
  QComboBox* source_;
  QRadioButton* portrait_;
  QRadioButton* landscape_;
  QDoubleSpinBox* margins_[4];
  QGroupBox* sizeGroup_ = nullptr;
  QLineEdit* width_ = nullptr;
  QLineEdit* length_ = nullptr;
  PagePreview* preview_;
  QLabel* message_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* help_;
  QPushButton* printer_;
  bool filling_ = false;
};

}  // namespace marvena
