// The about box: version, system and memory, copyright and contact lines,
// a picture; the animation button is usable only when the spool directory
// holds the animation file.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QStackedWidget;

namespace marvena {

class AboutDialog final : public QDialog {
 public:
  AboutDialog(const QString& version, const QString& spoolDir, QWidget* parent = nullptr);
  QPushButton* animationButton() const { return animation_; }
  bool showsAnimation() const;

 private:
  QPushButton* animation_;
  QStackedWidget* stack_;
};

// The system's description and memory line as the box shows them.
QString systemDescription();
QString memoryLine();

}  // namespace marvena
