#include "ui/qt/AboutDialog.h"

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QSysInfo>

#include "presentation/AboutModel.h"
#include "ui/qt/AnimationView.h"

namespace marvena {

namespace {

QPixmap drawPicture() {
  // The tool's own picture: a stack of printouts.
  QPixmap pm(120, 140);
  pm.fill(QColor(255, 255, 225));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 2; i >= 0; --i) {
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(20 + 8 * i, 20 + 8 * i, 70, 95);
  }
  p.setPen(QPen(QColor(30, 90, 200), 2));
  for (int y = 0; y < 7; ++y) p.drawLine(30, 32 + 11 * y, 78, 32 + 11 * y);
  return pm;
}

// The logo in the desktop's own button colours (face, light and shadow
// edges, text), so it sits right on any colour scheme.
QPixmap drawLogo(const QPalette& pal) {
  QPixmap pm(180, 35);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(0, 0, 179, 34), pal.color(QPalette::Button));
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(0, 0, 178, 0);
  p.drawLine(0, 0, 0, 33);
  p.setPen(pal.color(QPalette::Shadow));
  p.drawLine(179, 0, 179, 34);
  p.drawLine(0, 34, 179, 34);
  QFont f(QStringLiteral("DejaVu Sans"), 15, QFont::Bold);
  p.setFont(f);
  p.setPen(pal.color(QPalette::ButtonText));
  p.drawText(QRect(8, 0, 170, 35), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("MARVENA"));
  f.setPointSize(9);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(0, 0, 172, 33), Qt::AlignBottom | Qt::AlignRight, QStringLiteral("spool"));
  return pm;
}

}  // namespace

QString systemDescription() {
  QFile release(QStringLiteral("/etc/os-release"));
  std::string text;
  if (release.open(QIODevice::ReadOnly)) text = release.readAll().toStdString();
  return QString::fromStdString(linuxDescription(text, QSysInfo::kernelVersion().toStdString()));
}

QString memoryLine() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
  const std::uint64_t bytes =
      pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * pageSize : 0;
  const QString sep = QLocale().groupSeparator();
  return QString::fromStdString(
      memoryText(bytes, sep.size() == 1 && sep[0].unicode() < 128 ? sep[0].toLatin1() : ','));
}

AboutDialog::AboutDialog(const QString& version, const QString& spoolDir, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Apie"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(255, 255, 225));  // the info colour
  setPalette(pal);

  // The animation plays where the picture is; the picture comes back when
  // it ends or cannot be played.
  auto* picture = new QLabel;
  picture->setPixmap(drawPicture());
  auto* film = new AnimationView;
  film->setFixedWidth(218);
  stack_ = new QStackedWidget;
  stack_->addWidget(picture);
  stack_->addWidget(film);
  auto* grid = new QGridLayout(this);
  grid->addWidget(stack_, 0, 0, 7, 1);
  auto add = [&](const QString& text, int row, int col = 1, int span = 2) {
    auto* l = new QLabel(text);
    grid->addWidget(l, row, col, 1, span);
    return l;
  };
  auto* logo = new QLabel;
  logo->setPixmap(drawLogo(QApplication::palette()));
  logo->setAccessibleName(QStringLiteral("Marvena Spool"));
  grid->addWidget(logo, 0, 1, 1, 2, Qt::AlignRight);
  add(QStringLiteral("Programos versija %1").arg(version), 1);
  add(QStringLiteral("C++20, Qt %1").arg(QString::fromLatin1(qVersion())), 2);
  add(QStringLiteral("\u00a9 Marvena"), 3);
  add(QStringLiteral("info@marvena.lt"), 4);
  add(systemDescription(), 5);
  add(QStringLiteral("Windows atmintis:"), 6, 1, 1);
  auto* memory = add(memoryLine(), 6, 2, 1);
  memory->setAlignment(Qt::AlignRight);

  animation_ = new QPushButton(QStringLiteral("\u25B6"));
  animation_->setFixedSize(21, 21);
  const QString avi = spoolDir + QStringLiteral("/ALUSMRLE.AVI");
  animation_->setEnabled(QFileInfo(avi).isFile());
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setDefault(true);
  connect(animation_, &QPushButton::clicked, this, [this, ok, film, avi] {
    if (film->playing()) return;
    ok->setDefault(true);
    animation_->setEnabled(false);
    stack_->setCurrentIndex(1);
    film->play(avi, [this, avi](const QString& failure) {
      stack_->setCurrentIndex(0);
      animation_->setEnabled(QFileInfo(avi).isFile());
      if (failure.isEmpty()) return;
      // Not modal: the box stays usable and can try again.
      auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("KLAIDA"),
                                  QStringLiteral("Animacijos %1 parodyti nepavyko: %2.")
                                      .arg(QDir::toNativeSeparators(avi), failure),
                                  QMessageBox::Ok, this);
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->setObjectName(QStringLiteral("animationFailure"));
      box->open();
    });
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  grid->addWidget(animation_, 7, 0, Qt::AlignLeft);
  grid->addWidget(ok, 7, 2, Qt::AlignRight);
}

bool AboutDialog::showsAnimation() const {
  return stack_->currentIndex() == 1;
}

}  // namespace marvena
