#include "platform/qt/QtFonts.h"

#include <QFontDatabase>
#include <QRawFont>

#include "text/CodePage.h"

namespace marvena {

std::vector<int> QtFonts::charsets(const std::string& face) {
  const QString family = QString::fromStdString(face);
  // families() matches without regard to case, like the Windows font mapper.
  bool exists = false;
  for (const QString& f : QFontDatabase::families()) {
    if (f.compare(family, Qt::CaseInsensitive) == 0) {
      exists = true;
      break;
    }
  }
  if (!exists) return {};
  std::vector<int> out{0};  // ANSI
  const QRawFont raw = QRawFont::fromFont(QFont(family));
  bool baltic = raw.isValid();
  for (std::size_t i = 0; baltic && i < 18; ++i)
    baltic = raw.supportsCharacter(static_cast<uint>(jobCodePageRows()[i].unicode));
  if (baltic) out.push_back(186);
  return out;
}

}  // namespace marvena
