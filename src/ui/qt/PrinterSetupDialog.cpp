#include "ui/qt/PrinterSetupDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "presentation/PageSetupModel.h"

namespace marvena {

namespace {

QString qs(const char* s) {
  return QString::fromUtf8(s);
}

QString captionOf(const char* role) {
  for (const PageSetupCaption& c : printerDialogCaptions())
    if (QLatin1String(c.role) == QLatin1String(role)) return qs(c.text);
  return {};
}

}  // namespace

PrinterSetupDialog::PrinterSetupDialog(const std::vector<std::string>& names, int current,
                                       std::function<std::vector<PaperInfo>(int)> papersOf,
                                       int paperCode, Orientation orientation, QWidget* parent)
    : QDialog(parent), papersOf_(std::move(papersOf)), givenCode_(paperCode) {
  setWindowTitle(captionOf("group"));
  auto* group = new QGroupBox(captionOf("group"));
  auto* form = new QFormLayout(group);
  printer_ = new QComboBox;
  for (const std::string& name : names) printer_->addItem(QString::fromStdString(name));
  printer_->setCurrentIndex(current);
  form->addRow(captionOf("name"), printer_);
  form->addRow(captionOf("status"), new QLabel(QStringLiteral("Paruo\u0161tas")));
  form->addRow(captionOf("type"), new QLabel(QStringLiteral("CUPS")));
  where_ = new QLabel;
  form->addRow(captionOf("where"), where_);
  form->addRow(captionOf("comment"), new QLabel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  if (papersOf_) {
    auto* paperGroup = new QGroupBox(QStringLiteral("Popierius"));
    auto* paperLayout = new QFormLayout(paperGroup);
    paper_ = new QComboBox;
    paperLayout->addRow(QStringLiteral("Dydis"), paper_);
    auto* orientationGroup = new QGroupBox(QStringLiteral("Orientacija"));
    auto* o = new QHBoxLayout(orientationGroup);
    portrait_ = new QRadioButton(QStringLiteral("&Staciai"));
    landscape_ = new QRadioButton(QStringLiteral("&Gulsciai"));
    (orientation == Orientation::Landscape ? landscape_ : portrait_)->setChecked(true);
    o->addWidget(portrait_);
    o->addWidget(landscape_);
    auto* row = new QHBoxLayout;
    row->addWidget(paperGroup);
    row->addWidget(orientationGroup);
    layout->addLayout(row);
    fillPapers(paperCode);
  }
  auto update = [this] {
    const QString name = printer_->currentText();
    const qsizetype on = name.indexOf(QStringLiteral(" on "));
    where_->setText(on >= 0 ? name.mid(on + 4) : QString());
  };
  update();
  connect(printer_, &QComboBox::currentIndexChanged, this, [this, update](int) {
    update();
    if (paper_) fillPapers(this->paperCode());
  });
  auto* buttons = new QDialogButtonBox;
  ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  auto* cancel = buttons->addButton(qs(kCancelCaption), QDialogButtonBox::RejectRole);
  auto* properties = buttons->addButton(captionOf("properties"), QDialogButtonBox::ActionRole);
  properties->setEnabled(false);  // the driver's own settings are the print system's
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(buttons);
  ok_->setEnabled(printer_->count() > 0);
}

void PrinterSetupDialog::fillPapers(int code) {
  papers_ = papersOf_(printer_->currentIndex());
  paper_->clear();
  int chosen = -1;
  for (std::size_t i = 0; i < papers_.size(); ++i) {
    paper_->addItem(QString::fromStdString(papers_[i].name));
    if (chosen < 0 && papers_[i].code == code && !isUserPaper(papers_[i].name))
      chosen = static_cast<int>(i);
  }
  paper_->setCurrentIndex(chosen >= 0 ? chosen : 0);
}

int PrinterSetupDialog::printerIndex() const {
  return printer_->currentIndex();
}

int PrinterSetupDialog::paperCode() const {
  const int i = paper_ ? paper_->currentIndex() : -1;
  // A printer without a paper list keeps the paper it had.
  return i >= 0 && i < static_cast<int>(papers_.size()) ? papers_[static_cast<std::size_t>(i)].code
                                                        : givenCode_;
}

Orientation PrinterSetupDialog::orientation() const {
  return landscape_ && landscape_->isChecked() ? Orientation::Landscape : Orientation::Portrait;
}

}  // namespace marvena
