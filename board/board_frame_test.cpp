// The one transform of the board drawing: every label maps back to its own
// point at every scale, with and without the coordinates' bands.
#include "board/board_frame.h"

#include <gtest/gtest.h>

namespace sorabeku {
namespace {

TEST(BoardFrame, EveryLabelIsHitAtEveryScale) {
  for (double scale : {1.0, 1.25, 1.5, 2.0, 3.0}) {
    for (bool coordinates : {false, true}) {
      const BoardFrame frame{scale, coordinates};
      for (PointIndex p = 1; p <= kPointCount; ++p) {
        const Rect r = LabelRect(p);
        // The centre and the inner corners of the label, in widget pixels.
        const double inset = 0.5;
        const WidgetPoint corners[] = {
            frame.ToWidget(r.left + r.width / 2.0, r.top + r.height / 2.0),
            frame.ToWidget(r.left, r.top),
            frame.ToWidget(r.left + r.width - inset, r.top + r.height - inset)};
        for (const WidgetPoint& at : corners) {
          const auto hit = frame.LabelAtWidget(at.x + inset * 0.5, at.y + inset * 0.5);
          ASSERT_TRUE(hit) << "scale " << scale << " point " << p;
          EXPECT_EQ(*hit, p) << "scale " << scale << " coordinates " << coordinates;
        }
      }
    }
  }
}

TEST(BoardFrame, BandsAndGapsTakeNoClick) {
  const BoardFrame frame{2.0, true};
  EXPECT_FALSE(frame.LabelAtWidget(10, 200));   // the band of the row names
  EXPECT_FALSE(frame.LabelAtWidget(200, 10));   // the band of the column numbers
  EXPECT_FALSE(frame.LabelAtWidget(-4, -4));
  // Between two labels of a column (label height 16 of a pitch of 28).
  const WidgetPoint gap = frame.ToWidget(10, 9 + 16 + 4);
  EXPECT_FALSE(frame.LabelAtWidget(gap.x, gap.y));
  // Off, the frame is the board itself: today's mapping.
  const BoardFrame plain;
  EXPECT_EQ(plain.width(), kBoardPixels);
  EXPECT_EQ(plain.LabelAtWidget(4, 9), LabelAt(4, 9));
}

TEST(BoardFrame, NamesAsTheCommentsWriteThem) {
  EXPECT_EQ(ColumnName(2) + "の" + RowName(1), "2の一");
  EXPECT_EQ(RowName(10), "十");
  EXPECT_EQ(RowName(11), "十一");
  EXPECT_EQ(RowName(19), "十九");
  EXPECT_EQ(ColumnName(19), "19");
}

}  // namespace
}  // namespace sorabeku
