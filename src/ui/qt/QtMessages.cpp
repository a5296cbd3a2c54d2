#include "ui/qt/QtMessages.h"

#include <QMessageBox>

namespace marvena {

void QtMessages::showMessage(const std::string& text) {
  stderr_.log(text);
  QMetaObject::invokeMethod(
      this, [this, t = QString::fromStdString(text)] { box(QStringLiteral("Marvena Spool"), t); });
}

void QtMessages::showError(const std::string& text) {
  stderr_.log("KLAIDA: " + text);
  QMetaObject::invokeMethod(
      this, [this, t = QString::fromStdString(text)] { box(QStringLiteral("KLAIDA"), t); });
}

void QtMessages::box(const QString& caption, const QString& text) {
  if (open_.contains(text)) return;  // already on the screen
  open_.insert(text);
  auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
  if (caption != QLatin1String("KLAIDA")) box->setIcon(QMessageBox::Information);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  connect(box, &QObject::destroyed, this, [this, text] { open_.remove(text); });
  box->show();
}

}  // namespace marvena
