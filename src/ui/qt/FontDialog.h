// The font chooser of the options window: monospaced families that print,
// sizes 5 to 14, the style and underline, with the captions in Lithuanian.
#pragma once

#include <QDialog>

#include "presentation/OptionsModel.h"

class QCheckBox;
class QLabel;
class QListWidget;

namespace marvena {

// The families the chooser offers: the installed monospaced ones that
// scale, the tool's own faces where installed, and `current` in any case
// (so a face that printing replaces stays chosen until the user picks another).
QStringList printableMonospacedFamilies(const QString& current);

class FontDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit FontDialog(const FontChoice& font, QWidget* parent = nullptr);

  // What the chooser holds: after Cancel still the font it was given.
  FontChoice font() const;

  QListWidget* familyList() const { return families_; }
  QListWidget* styleList() const { return styles_; }
  QListWidget* sizeList() const { return sizes_; }
  QCheckBox* underlineBox() const { return underline_; }

 private:
  void showSample();

  FontChoice given_;
  QListWidget* families_;
  QListWidget* styles_;
  QListWidget* sizes_;
  QCheckBox* underline_;
  QLabel* sample_;
};

}  // namespace marvena
