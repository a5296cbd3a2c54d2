#include "ui/qt/PageSetupDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cmath>

#include "presentation/PageSetupModel.h"
#include "ui/qt/PrinterSetupDialog.h"

namespace marvena {

namespace {

QString captionOf(const char* role) {
  for (const PageSetupCaption& c : pageSetupCaptions())
    if (QLatin1String(c.role) == QLatin1String(role)) return QString::fromUtf8(c.text);
  return {};
}

}  // namespace

// The sheet as it lies, with the margins drawn in.
class PagePreview final : public QWidget {
 public:
  explicit PagePreview(PageSetupModel& model) : model_(model) { setFixedSize(150, 150); }

 protected:
  void paintEvent(QPaintEvent*) override {
    const double w = model_.pageWidth(), h = model_.pageHeight();
    if (w <= 0 || h <= 0) return;
    const double scale = std::min((width() - 20) / w, (height() - 20) / h);
    const QRectF sheet((width() - w * scale) / 2, (height() - h * scale) / 2, w * scale, h * scale);
    QPainter p(this);
    p.fillRect(sheet.translated(3, 3), Qt::darkGray);
    p.fillRect(sheet, Qt::white);
    p.setPen(Qt::black);
    p.drawRect(sheet);
    const MarginRect& m = model_.margins;
    const QRectF text =
        sheet.adjusted(m.left * scale, m.top * scale, -m.right * scale, -m.bottom * scale);
    if (text.width() <= 0 || text.height() <= 0) return;
    p.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    p.drawRect(text);
    p.setPen(Qt::lightGray);
    for (double y = text.top() + 4; y < text.bottom() - 1; y += 4)
      p.drawLine(QPointF(text.left() + 2, y), QPointF(text.right() - 2, y));
  }

 private:
  PageSetupModel& model_;
};

PageSetupDialog::PageSetupDialog(PageSetupModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QString::fromStdString(model_.title()));

  auto* paperGroup = new QGroupBox(captionOf("paperGroup"));
  auto* paperForm = new QFormLayout(paperGroup);
  paper_ = new QComboBox;
  source_ = new QComboBox;
  source_->addItem(QStringLiteral("Automati\u0161kai"));
  paperForm->addRow(captionOf("paperSize"), paper_);
  paperForm->addRow(captionOf("paperSource"), source_);

  auto* orientationGroup = new QGroupBox(captionOf("orientationGroup"));
  auto* o = new QVBoxLayout(orientationGroup);
  portrait_ = new QRadioButton(captionOf("portrait"));
  landscape_ = new QRadioButton(captionOf("landscape"));
  o->addWidget(portrait_);
  o->addWidget(landscape_);

  auto* marginGroup = new QGroupBox(captionOf("marginsGroup"));
  auto* grid = new QGridLayout(marginGroup);
  const char* roles[4] = {"left", "top", "right", "bottom"};
  const int rows[4] = {0, 1, 0, 1}, cols[4] = {0, 0, 2, 2};
  for (int side = 0; side < 4; ++side) {
    margins_[side] = new QDoubleSpinBox;
    margins_[side]->setDecimals(1);
    margins_[side]->setSingleStep(1);
    margins_[side]->setMaximum(kMaxPaperMm);
    auto* label = new QLabel(captionOf(roles[side]));
    label->setBuddy(margins_[side]);
    grid->addWidget(label, rows[side], cols[side]);
    grid->addWidget(margins_[side], rows[side], cols[side] + 1);
  }

  preview_ = new PagePreview(model_);
  message_ = new QLabel;
  message_->setWordWrap(true);
  message_->setStyleSheet(QStringLiteral("color: #b00000"));

  auto* left = new QVBoxLayout;
  left->addWidget(paperGroup);
  auto* middle = new QHBoxLayout;
  middle->addWidget(orientationGroup);
  middle->addWidget(marginGroup);
  left->addLayout(middle);
  auto* top = new QHBoxLayout;
  top->addWidget(preview_, 0, Qt::AlignTop);
  top->addLayout(left, 1);

  ok_ = new QPushButton(QString::fromUtf8(kOkCaption));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QString::fromUtf8(kCancelCaption));
  help_ = new QPushButton(QString::fromUtf8(kHelpCaption));
  printer_ = new QPushButton(captionOf("printer"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {ok_, cancel_, help_, printer_}) buttons->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  if (model_.withPaperFields()) {
    sizeGroup_ = new QGroupBox(QString::fromUtf8(kPaperGroupCaption));
    auto* row = new QHBoxLayout(sizeGroup_);
    width_ = new QLineEdit;
    length_ = new QLineEdit;
    for (QLineEdit* field : {width_, length_}) {
      // Three digits can be typed; what the settings held is shown as it is.
      field->setValidator(
          new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,3}")), field));
      field->setFixedWidth(50);
    }
    row->addWidget(new QLabel(QStringLiteral("Plotis")));
    row->addWidget(width_);
    row->addWidget(new QLabel(QStringLiteral("Ilgis")));
    row->addWidget(length_);
    row->addStretch();
    layout->addWidget(sizeGroup_);
    connect(width_, &QLineEdit::textEdited, this, [this] { toModel(); });
    connect(length_, &QLineEdit::textEdited, this, [this] { toModel(); });
  }
  layout->addWidget(message_);
  layout->addLayout(buttons);

  fillPapers();
  fromModel();
  connect(paper_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    model_.choosePaper(index);
    fromModel();
  });
  connect(landscape_, &QRadioButton::toggled, this, [this] { toModel(); });
  for (QDoubleSpinBox* box : margins_)
    connect(box, &QDoubleSpinBox::valueChanged, this, [this] { toModel(); });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(help_, &QPushButton::clicked, this, [this] {
    QMessageBox::information(
        this, windowTitle(),
        QStringLiteral("Para\u0161t\u0117s milimetrais, ne ma\u017Eesn\u0117s u\u017E "
                       "spausdintuvo nespausdinam\u0105 kra\u0161t\u0105. Plot\u012F ir "
                       "ilg\u012F galima keisti tik vartotojo popieriui."));
  });
  connect(printer_, &QPushButton::clicked, this, [this] { runPrinterChooser(); });
}

void PageSetupDialog::fillPapers() {
  filling_ = true;
  paper_->clear();
  for (const PaperInfo& p : model_.papers()) paper_->addItem(QString::fromStdString(p.name));
  paper_->setCurrentIndex(model_.paperIndex());
  filling_ = false;
}

void PageSetupDialog::fromModel() {
  filling_ = true;
  (model_.orientation == Orientation::Landscape ? landscape_ : portrait_)->setChecked(true);
  const MarginRect min = model_.minimumMargins();
  const int minimum[4] = {min.left, min.top, min.right, min.bottom};
  const int value[4] = {model_.margins.left, model_.margins.top, model_.margins.right,
                        model_.margins.bottom};
  for (int side = 0; side < 4; ++side) {
    margins_[side]->setMinimum(minimum[side] / 100.0);
    margins_[side]->setValue(value[side] / 100.0);
  }
  if (sizeGroup_) {
    width_->setText(QString::fromStdString(model_.widthText));
    length_->setText(QString::fromStdString(model_.lengthText));
    sizeGroup_->setEnabled(model_.paperFieldsEnabled());
  }
  filling_ = false;
  toModel();
}

void PageSetupDialog::toModel() {
  if (filling_) return;
  model_.orientation = landscape_->isChecked() ? Orientation::Landscape : Orientation::Portrait;
  auto hundredths = [this](int side) {
    return static_cast<int>(std::lround(margins_[side]->value() * 100));
  };
  model_.margins = {hundredths(0), hundredths(1), hundredths(2), hundredths(3)};
  if (sizeGroup_) {
    model_.widthText = width_->text().toStdString();
    model_.lengthText = length_->text().toStdString();
  }
  message_->clear();
  preview_->update();
}

bool PageSetupDialog::choosePrinter(int index) {
  if (!model_.choosePrinter(index)) {
    message_->setText(QStringLiteral("Spausdintuvas nebepasiekiamas."));
    return false;
  }
  setWindowTitle(QString::fromStdString(model_.title()));
  fillPapers();
  fromModel();
  return true;
}

void PageSetupDialog::runPrinterChooser() {
  if (!model_.printerButton()) return;
  PrinterSetupDialog chooser(model_.printerNames(), model_.printerIndex(), {}, 0,
                             model_.orientation, this);
  if (chooser.exec() == QDialog::Accepted) choosePrinter(chooser.printerIndex());
}

void PageSetupDialog::done(int result) {
  if (result == QDialog::Accepted) {
    toModel();
    const std::string error = model_.accept();
    if (!error.empty()) {
      message_->setText(QString::fromStdString(error));
      return;  // the window stays open; nothing was taken
    }
  } else {
    model_.cancel();
  }
  QDialog::done(result);
}

}  // namespace marvena
