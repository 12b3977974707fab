#include "board/board_frame.h"

#include <cmath>

namespace sorabeku {

std::optional<PointIndex> BoardFrame::LabelAtWidget(double x, double y) const {
  if (scale <= 0) return std::nullopt;
  const double bx = std::floor(x / scale) - left();
  const double by = std::floor(y / scale) - top();
  if (bx < 0 || by < 0 || bx > kBoardPixels || by > kBoardPixels) return std::nullopt;
  return LabelAt(static_cast<int>(bx), static_cast<int>(by));
}

std::string ColumnName(int n) { return std::to_string(n); }

std::string RowName(int n) {
  static const char* const kDigits[] = {"", "一", "二", "三", "四", "五",
                                        "六", "七", "八", "九"};
  if (n < 1 || n > 99) return std::to_string(n);
  std::string name;
  if (n >= 20) name += kDigits[n / 10];
  if (n >= 10) name += "十";
  name += kDigits[n % 10];
  return name;
}

}  // namespace sorabeku
