#include "ui/qt/AboutDialog.h"

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSysInfo>

#include "presentation/AboutModel.h"

namespace marvena {

namespace {

QPixmap Picture() {
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

}  // namespace

QString SystemDescription() {
  QFile release(QStringLiteral("/etc/os-release"));
  std::string text;
  if (release.open(QIODevice::ReadOnly)) text = release.readAll().toStdString();
  return QString::fromStdString(LinuxDescription(text, QSysInfo::kernelVersion().toStdString()));
}

QString MemoryLine() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
  const std::uint64_t bytes =
      pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * pageSize : 0;
  const QString sep = QLocale().groupSeparator();
  return QString::fromStdString(
      MemoryText(bytes, sep.size() == 1 && sep[0].unicode() < 128 ? sep[0].toLatin1() : ','));
}

AboutDialog::AboutDialog(const QString& version, const QString& spoolDir, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Apie"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(255, 255, 225));  // the info colour
  setPalette(pal);

  auto* picture = new QLabel;
  picture->setPixmap(Picture());
  auto* grid = new QGridLayout(this);
  grid->addWidget(picture, 0, 0, 7, 1);
  auto add = [&](const QString& text, int row, int col = 1, int span = 2) {
    auto* l = new QLabel(text);
    grid->addWidget(l, row, col, 1, span);
    return l;
  };
  QFont bold = font();
  bold.setBold(true);
  add(QStringLiteral("Marvena Spool"), 0)->setFont(bold);
  add(QStringLiteral("Programos versija %1").arg(version), 1);
  add(QStringLiteral("C++20, Qt %1").arg(QString::fromLatin1(qVersion())), 2);
  add(QStringLiteral("\u00a9 Marvena"), 3);
  add(QStringLiteral("info@marvena.lt"), 4);
  add(SystemDescription(), 5);
  add(QStringLiteral("Windows atmintis:"), 6, 1, 1);
  auto* memory = add(MemoryLine(), 6, 2, 1);
  memory->setAlignment(Qt::AlignRight);

  animation_ = new QPushButton(QStringLiteral("\u25B6"));
  animation_->setFixedSize(21, 21);
  const QString avi = spoolDir + QStringLiteral("/ALUSMRLE.AVI");
  animation_->setEnabled(QFileInfo(avi).isFile());
  connect(animation_, &QPushButton::clicked, this, [this, avi] {
    // Playback is not built yet: say so rather than fail silently.
    QMessageBox::information(this, QStringLiteral("Apie"),
                             QStringLiteral("Animacijos %1 parodyti nepavyko.").arg(avi));
  });
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  grid->addWidget(animation_, 7, 0, Qt::AlignLeft);
  grid->addWidget(ok, 7, 2, Qt::AlignRight);
}

}  // namespace marvena
