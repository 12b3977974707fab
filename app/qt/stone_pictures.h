// The two stone bitmaps, loaded from the program directory with their
// background colour made transparent.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <map>
#include <utility>

namespace sorabeku {

class StonePictures {
 public:
  // Loads "stB.bmp" and "stW.bmp" from `programDir`. A bitmap that is
  // missing or unreadable is replaced by a plain disc of its colour, so
  // drawing a stone never fails.
  explicit StonePictures(const QString& programDir);

  const QPixmap& black() const { return black_; }
  const QPixmap& white() const { return white_; }
  bool blackFromFile() const { return blackFromFile_; }
  bool whiteFromFile() const { return whiteFromFile_; }

  // The bitmap at `path` with the colour of its top-left pixel transparent,
  // or a null pixmap when it cannot be read.
  static QPixmap LoadTransparent(const QString& path);
  // A plain 28 x 28 disc of the given stone colour.
  static QPixmap PlainDisc(bool black);
  // A shaded stone `pixels` wide, drawn for that size (the shading of the
  // shipped bitmaps), with a transparent outside: for scales other than 1x.
  static QImage ShadedStone(bool black, int pixels);
  // ShadedStone, kept once made.
  const QPixmap& Sized(bool black, int pixels) const;

 private:
  QPixmap black_;
  QPixmap white_;
  bool blackFromFile_ = false;
  bool whiteFromFile_ = false;
  mutable std::map<std::pair<bool, int>, QPixmap> sized_;
};

}  // namespace sorabeku
