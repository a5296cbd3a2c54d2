#include "ui/qt/TrayPictures.h"

#include <QPainter>
#include <QPixmap>
#include <cmath>

namespace marvena {

namespace {

QPixmap drawSheet(int size, const QColor& sheet, const QColor& mark, int frame) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  // A sheet with lines: the spool's printouts.
  p.setPen(QPen(QColor(40, 40, 40), 1.2 * s));
  p.setBrush(sheet);
  p.drawRoundedRect(QRectF(5 * s, 2 * s, 20 * s, 27 * s), 2 * s, 2 * s);
  p.setPen(QPen(QColor(90, 90, 90), 1.4 * s));
  for (int i = 0; i < 4; ++i)
    p.drawLine(QPointF(9 * s, (8 + 5 * i) * s), QPointF(21 * s, (8 + 5 * i) * s));
  // The mark: a dot that goes round while a job runs.
  p.setPen(Qt::NoPen);
  p.setBrush(mark);
  const double angle = frame < 0 ? -M_PI / 4 : frame * 2 * M_PI / 10 - M_PI / 2;
  const QPointF centre(23 * s, 23 * s);
  p.drawEllipse(centre + QPointF(std::cos(angle), std::sin(angle)) * 5 * s, 4 * s, 4 * s);
  return pm;
}

}  // namespace

QIcon trayPicture(const QString& name) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) {
    if (name == QLatin1String("disabled"))
      icon.addPixmap(drawSheet(size, QColor(200, 200, 200), QColor(200, 40, 40), -1));
    else if (name == QLatin1String("idle"))
      icon.addPixmap(drawSheet(size, Qt::white, QColor(30, 140, 60), -1));
    else
      icon.addPixmap(drawSheet(size, Qt::white, QColor(30, 90, 200), name.mid(1).toInt()));
  }
  return icon;
}

}  // namespace marvena
