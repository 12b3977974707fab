#include "app/qt/stone_pictures.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

#include "board/click_map.h"

namespace sorabeku {

StonePictures::StonePictures(const QString& programDir) {
  black_ = LoadTransparent(programDir + "stB.bmp");
  blackFromFile_ = !black_.isNull();
  if (!blackFromFile_) black_ = PlainDisc(true);
  white_ = LoadTransparent(programDir + "stW.bmp");
  whiteFromFile_ = !white_.isNull();
  if (!whiteFromFile_) white_ = PlainDisc(false);
}

QPixmap StonePictures::LoadTransparent(const QString& path) {
  QImage image(path);
  if (image.isNull()) return {};
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb background = image.pixel(0, 0);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (line[x] == background) line[x] = qRgba(0, 0, 0, 0);
    }
  }
  return QPixmap::fromImage(image);
}

QPixmap StonePictures::PlainDisc(bool black) {
  QPixmap pixmap(kCellPitch, kCellPitch);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(black ? Qt::black : Qt::white);
  p.drawEllipse(QRectF(1.5, 1.5, kCellPitch - 3, kCellPitch - 3));
  return pixmap;
}

}  // namespace sorabeku
