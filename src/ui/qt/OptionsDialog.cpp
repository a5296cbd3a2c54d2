#include "ui/qt/OptionsDialog.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/qt/FontDialog.h"
#include "ui/qt/PageSetupDialog.h"
#include "ui/qt/PrinterSetupDialog.h"

namespace marvena {

namespace {

QString lith(const char* s) {
  return QString::fromUtf8(s);
}

QLabel* placeLabel(QWidget* parent, const QString& text, int x, int y, int w = 0) {
  auto* label = new QLabel(text, parent);
  if (w > 0) {
    label->setFixedWidth(w);
    label->setAlignment(Qt::AlignCenter);
  }
  label->move(x, y);
  return label;
}

QFrame* bevel(QWidget* parent, int x, int y, int w, int h) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Raised);
  frame->setGeometry(x, y, w, h);
  return frame;
}

}  // namespace

OptionsDialog::OptionsDialog(OptionsDialogServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
  setWindowTitle(lith(kOptionsCaption));
  pages_ = new QTabWidget;
  pages_->addTab(makePrinterPage(), lith(kPrinterPageCaption));
  pages_->addTab(makeInformationPage(), lith(kInformationPageCaption));
  // The information page is worked out afresh each time it is shown.
  connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == 1) showInformation();
  });

  // Where the window manager draws the caption, the about button sits at
  // the top right of the window itself.
  about_ = new QToolButton;
  about_->setText(QStringLiteral("?"));
  about_->setToolTip(QStringLiteral("Apie"));
  about_->setAutoRaise(true);
  connect(about_, &QToolButton::clicked, this, [this] {
    if (onAbout) onAbout();
  });
  pages_->setCornerWidget(about_, Qt::TopRightCorner);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(pages_);
  setFixedSize(sizeHint().expandedTo(QSize(557, 212)));

  runPageSetup = [this](PageSetupModel& m) {
    PageSetupDialog dialog(m, this);
    return dialog.exec() == QDialog::Accepted;
  };
  runPrinterSetup = [this](PrinterChoice& choice) {
    OptionsModel& m = *services_.model;
    PrinterSetupDialog dialog(
        m.printerNames(), choice.index, [&m](int i) { return m.papersOf(i); }, choice.paperCode,
        choice.orientation, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    choice = {dialog.printerIndex(), dialog.paperCode(), dialog.orientation()};
    return true;
  };
  runFontDialog = [this](FontChoice& font) {
    FontDialog dialog(font, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    font = dialog.font();
    return true;
  };
}

OptionsDialog::~OptionsDialog() = default;

QWidget* OptionsDialog::makePrinterPage() {
  auto* page = new QWidget;
  page->setFont(QFont(QStringLiteral("Courier New")));
  printerSetup_ = new QToolButton;
  printerSetup_->setIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  printerSetup_->setToolTip(QStringLiteral("Spausdintuvas"));
  pageSetup_ = new QToolButton;
  pageSetup_->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
  pageSetup_->setToolTip(QStringLiteral("Lapas ir para\u0161t\u0117s"));
  for (QToolButton* b : {printerSetup_, pageSetup_}) b->setIconSize(QSize(32, 32));
  parameters_ = new QPushButton(lith(kParametersCaption));
  font_ = new QPushButton(lith(kFontButtonCaption));
  auto* row = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{printerSetup_, pageSetup_, parameters_, font_})
    row->addWidget(w);
  row->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(row);
  layout->addStretch();

  connect(parameters_, &QPushButton::clicked, this, [this] { runParameters(); });
  connect(font_, &QPushButton::clicked, this, [this] {
    FontChoice font = services_.model->font();
    // After Cancel the chooser still holds what it was given.
    if (runFontDialog(font)) services_.model->setFont(font);
  });
  connect(printerSetup_, &QToolButton::clicked, this, [this] {
    PrinterChoice choice = services_.model->currentPrinter();
    if (runPrinterSetup(choice)) services_.model->choosePrinter(choice);
  });
  connect(pageSetup_, &QToolButton::clicked, this, [this] {
    std::unique_ptr<PageSetupModel> window = services_.model->beginPageSetup();
    if (runPageSetup(*window)) services_.model->finishPageSetup(*window);
  });
  return page;
}

QWidget* OptionsDialog::makeInformationPage() {
  auto* page = new QWidget;
  auto* title = placeLabel(page, QStringLiteral("Puslapis"), 8, 6);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  placeLabel(page, QStringLiteral("(mm)"), 8, 24);
  // The sheet, and inside it the area text is printed on.
  bevel(page, 90, 30, 170, 128);
  bevel(page, 128, 56, 94, 74);
  placeLabel(page, QStringLiteral("<-"), 92, 10);
  placeLabel(page, QStringLiteral("->"), 244, 10);
  placeLabel(page, QStringLiteral("^"), 62, 30);
  placeLabel(page, QStringLiteral("|"), 64, 50);
  placeLabel(page, QStringLiteral("|"), 64, 120);
  placeLabel(page, QStringLiteral("v"), 62, 140);
  placeLabel(page, QStringLiteral("x"), 170, 86);
  values_[0] = placeLabel(page, QString(), 140, 10, 70);   // page width
  values_[1] = placeLabel(page, QString(), 40, 86, 50);    // page height
  values_[2] = placeLabel(page, QString(), 140, 36, 70);   // top
  values_[3] = placeLabel(page, QString(), 92, 86, 34);    // left
  values_[4] = placeLabel(page, QString(), 224, 86, 34);   // right
  values_[5] = placeLabel(page, QString(), 140, 136, 70);  // bottom
  values_[6] = placeLabel(page, QString(), 130, 86, 40);   // printable width
  values_[7] = placeLabel(page, QString(), 180, 86, 40);   // printable height

  auto* box = new QGroupBox(lith(kFontBoxCaption), page);
  box->setGeometry(280, 2, 262, 166);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  values_[8] = new QLabel;  // the font name
  auto* header = new QLabel(lith(kFontTableHeader));
  header->setFont(fixed);
  table_ = new QListWidget;
  table_->setFont(fixed);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(2);
  layout->addWidget(values_[8]);
  layout->addWidget(header);
  layout->addWidget(table_);
  page->setMinimumSize(546, 170);
  return page;
}

void OptionsDialog::runParameters() {
  std::unique_ptr<PageSetupModel> window = services_.model->beginParameters();
  if (runPageSetup(*window))
    services_.model->finishParameters(*window);
  else
    services_.model->cancelParameters();
}

void OptionsDialog::showInformation() {
  const std::optional<InformationPage> info = services_.model->information();
  if (!info) return;  // the page keeps what it showed
  const int numbers[8] = {info->pageWidth,      info->pageHeight,     info->top,
                          info->left,           info->right,          info->bottom,
                          info->printableWidth, info->printableHeight};
  for (int i = 0; i < 8; ++i) values_[i]->setText(QString::number(numbers[i]));
  values_[8]->setText(QString::fromStdString(info->fontName));
  table_->clear();
  for (const std::string& row : info->rows) table_->addItem(QString::fromStdString(row));
}

}  // namespace marvena
