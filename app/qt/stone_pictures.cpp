#include "app/qt/stone_pictures.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

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

namespace {

// The grey of a stone at (x, y) in -1..1 stone coordinates, lit from the
// upper left: a soft highlight and a darker rim.
QRgb Shade(bool black, double x, double y) {
  const double lx = x + 0.38, ly = y + 0.42;
  const double highlight = std::exp(-(lx * lx + ly * ly) * 3.0);
  const double rim = (x * x + y * y) * (x * x + y * y);
  const double v = black ? 18 + 95 * highlight - 10 * rim
                         : 212 + 43 * highlight - 45 * rim;
  const int g = std::clamp(static_cast<int>(std::lround(v)), 0, 255);
  return qRgb(g, g, black ? g : std::min(255, g + 2));
}

}  // namespace

QImage StonePictures::ShadedStone(bool black, int pixels) {
  constexpr int kSamples = 4;
  QImage image(pixels, pixels, QImage::Format_ARGB32);
  const double centre = pixels / 2.0;
  const double radius = pixels / 2.0 - pixels / 56.0;
  for (int py = 0; py < pixels; ++py) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
    for (int px = 0; px < pixels; ++px) {
      int inside = 0, r = 0, g = 0, b = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples - centre) / radius;
          const double y = (py + (sy + 0.5) / kSamples - centre) / radius;
          if (x * x + y * y > 1.0) continue;
          const QRgb c = Shade(black, x, y);
          ++inside;
          r += qRed(c);
          g += qGreen(c);
          b += qBlue(c);
        }
      }
      line[px] = inside == 0 ? qRgba(0, 0, 0, 0)
                             : qRgba(r / inside, g / inside, b / inside,
                                     255 * inside / (kSamples * kSamples));
    }
  }
  return image;
}

const QPixmap& StonePictures::Sized(bool black, int pixels) const {
  auto [it, made] = sized_.try_emplace({black, pixels});
  if (made) it->second = QPixmap::fromImage(ShadedStone(black, pixels));
  return it->second;
}

}  // namespace sorabeku
