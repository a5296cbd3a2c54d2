#include "ui/qt/FontDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/PrintSettings.h"

namespace marvena {

namespace {

// Style names by FontStyleBits (bold, italic).
const char* const kStyles[4] = {"Normalus", "Pusjuodis", "Kursyvas", "Pusjuodis kursyvas"};

QListWidgetItem* selectItem(QListWidget* list, const QString& text) {
  const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchFixedString);
  if (found.isEmpty()) return nullptr;
  list->setCurrentItem(found.front());
  return found.front();
}

}  // namespace

QStringList printableMonospacedFamilies(const QString& current) {
  QStringList out;
  for (QString family : QFontDatabase::families()) {
    // A family several foundries offer is one family to the printout.
    if (const qsizetype at = family.indexOf(QStringLiteral(" [")); at > 0 && family.endsWith(']'))
      family.truncate(at);
    if (out.contains(family)) continue;
    const bool toolFace =
        family.compare(QLatin1String("MARVENA"), Qt::CaseInsensitive) == 0 ||
        family.compare(QLatin1String("Courier Marvena"), Qt::CaseInsensitive) == 0;
    if (toolFace ||
        (QFontDatabase::isFixedPitch(family) && QFontDatabase::isSmoothlyScalable(family) &&
         !QFontDatabase::isPrivateFamily(family)))
      out << family;
  }
  if (!current.isEmpty() && !out.contains(current, Qt::CaseInsensitive)) out.prepend(current);
  return out;
}

FontDialog::FontDialog(const FontChoice& font, QWidget* parent) : QDialog(parent), given_(font) {
  setWindowTitle(QString::fromUtf8(kFontButtonCaption));
  const QString current = QString::fromStdString(font.name);

  families_ = new QListWidget;
  families_->addItems(printableMonospacedFamilies(current));
  selectItem(families_, current);
  styles_ = new QListWidget;
  for (const char* s : kStyles) styles_->addItem(QString::fromUtf8(s));
  styles_->setCurrentRow(static_cast<int>(font.style & (fsBold | fsItalic)));
  sizes_ = new QListWidget;
  for (int size = kSmallestFontSize; size <= kLargestFontSize; ++size)
    sizes_->addItem(QString::number(size));
  if (!selectItem(sizes_, QString::number(font.size))) sizes_->setCurrentRow(-1);

  auto* grid = new QGridLayout;
  const char* labels[3] = {"Sri&ftas:", "St&ilius:", "&Dydis:"};
  QListWidget* lists[3] = {families_, styles_, sizes_};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(QString::fromUtf8(labels[i]));
    label->setBuddy(lists[i]);
    grid->addWidget(label, 0, i);
    grid->addWidget(lists[i], 1, i);
  }
  families_->setMinimumWidth(190);
  styles_->setMinimumWidth(140);
  sizes_->setMaximumWidth(70);
  grid->setColumnStretch(0, 3);

  auto* effects = new QGroupBox(QStringLiteral("Efektai"));
  auto* e = new QGridLayout(effects);
  underline_ = new QCheckBox(QStringLiteral("Pabraukti"));
  underline_->setChecked((font.style & fsUnderline) != 0);
  auto* color = new QComboBox;
  color->addItem(QStringLiteral("Juoda"));
  color->setEnabled(false);  // the printout is black
  auto* colorLabel = new QLabel(QStringLiteral("&Spalva:"));
  colorLabel->setBuddy(color);
  e->addWidget(underline_, 0, 0, 1, 2);
  e->addWidget(colorLabel, 1, 0);
  e->addWidget(color, 1, 1);

  auto* sampleGroup = new QGroupBox(QStringLiteral("Pavyzdys"));
  auto* s = new QVBoxLayout(sampleGroup);
  sample_ = new QLabel(QStringLiteral("AaBb\u0104\u0105\u010C\u010D\u0160\u0161\u017D\u017E"));
  sample_->setAlignment(Qt::AlignCenter);
  sample_->setMinimumHeight(40);
  s->addWidget(sample_);
  auto* script = new QComboBox;
  script->addItem(QStringLiteral("Balt\u0173"));
  auto* scriptLabel = new QLabel(QStringLiteral("&Rastas:"));
  scriptLabel->setBuddy(script);
  s->addWidget(scriptLabel);
  s->addWidget(script);

  auto* lower = new QHBoxLayout;
  lower->addWidget(effects);
  lower->addWidget(sampleGroup, 1);

  auto* buttons = new QDialogButtonBox;
  auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  auto* cancel =
      buttons->addButton(QString::fromUtf8(kCancelCaption), QDialogButtonBox::RejectRole);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(lower);
  layout->addWidget(buttons);

  for (QListWidget* list : lists)
    connect(list, &QListWidget::currentRowChanged, this, [this] { showSample(); });
  connect(underline_, &QCheckBox::toggled, this, [this] { showSample(); });
  showSample();
}

FontChoice FontDialog::font() const {
  if (result() != QDialog::Accepted) return given_;
  FontChoice f = given_;
  if (const QListWidgetItem* item = families_->currentItem()) f.name = item->text().toStdString();
  if (const QListWidgetItem* item = sizes_->currentItem()) f.size = item->text().toInt();
  const int style = std::max(0, styles_->currentRow());
  f.style = static_cast<unsigned>(style) | (underline_->isChecked() ? fsUnderline : 0u) |
            (given_.style & fsStrikeOut);
  return f;
}

void FontDialog::showSample() {
  QFont f(families_->currentItem() ? families_->currentItem()->text()
                                   : QString::fromStdString(given_.name));
  const QListWidgetItem* size = sizes_->currentItem();
  f.setPointSize(size ? size->text().toInt() : given_.size);
  const int style = std::max(0, styles_->currentRow());
  f.setBold((style & fsBold) != 0);
  f.setItalic((style & fsItalic) != 0);
  f.setUnderline(underline_->isChecked());
  sample_->setFont(f);
}

}  // namespace marvena
