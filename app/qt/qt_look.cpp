#include "app/qt/qt_look.h"

#include <QFontDatabase>
#include <QStringList>
#include <cmath>

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

QFont WindowFont(bool bold, double scale) {
  QFont font(QString::fromUtf8(kWindowFontFamily));
  font.setPixelSize(Scaled(12, scale));
  font.setBold(bold);
  return font;
}

int Scaled(int length, double scale) {
  return static_cast<int>(std::lround(length * scale));
}

}  // namespace sorabeku
