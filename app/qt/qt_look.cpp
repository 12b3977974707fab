#include "app/qt/qt_look.h"

#include <QFontDatabase>
#include <QStringList>

namespace sorabeku {

QColor ToQColor(WinColour colour) {
  const Rgb rgb = RgbOf(colour);
  return QColor(rgb.red, rgb.green, rgb.blue);
}

void InstallFontSubstitutes() {
  const QString family = QString::fromUtf8(kWindowFontFamily);
  if (QFontDatabase::hasFamily(family)) return;
  QFont::insertSubstitutions(family, {"IPAPGothic", "IPAGothic"});
}

QFont WindowFont(bool bold) {
  QFont font(QString::fromUtf8(kWindowFontFamily));
  font.setPixelSize(12);
  font.setBold(bold);
  return font;
}

}  // namespace sorabeku
