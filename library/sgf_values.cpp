#include "library/sgf_values.h"

#include <charconv>

namespace sorabeku {

int SgfInteger(const SgfProperty& p, const std::string& value) {
  int n = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (value.empty() || ec != std::errc() || ptr != end) {
    throw SgfError(p.place, p.id + " needs a whole number, not \"" + value + "\"");
  }
  return n;
}

int SgfBoardPoint(const SgfProperty& p, const std::string& value) {
  const int point = PointFromSgf(value);
  if (point == 0) {
    throw SgfError(p.place, p.id + "[" + value + "] is not a point of the 19×19 board");
  }
  return point;
}

std::vector<int> SgfPointList(const SgfProperty& p) {
  std::vector<int> points;
  for (const std::string& v : p.values) {
    const std::size_t colon = v.find(':');
    if (colon == std::string::npos) {
      points.push_back(SgfBoardPoint(p, v));
      continue;
    }
    const int a = SgfBoardPoint(p, v.substr(0, colon));
    const int b = SgfBoardPoint(p, v.substr(colon + 1));
    const int c0 = (a - 1) / 19, r0 = (a - 1) % 19, c1 = (b - 1) / 19, r1 = (b - 1) % 19;
    if (c1 < c0 || r1 < r0) {
      throw SgfError(p.place, p.id + "[" + v + "] is not a rectangle from top-left to bottom-right");
    }
    for (int c = c0; c <= c1; ++c) {
      for (int r = r0; r <= r1; ++r) points.push_back(c * 19 + r + 1);
    }
  }
  return points;
}

std::pair<int, std::string> SgfLabel(const SgfProperty& p, const std::string& value) {
  const std::size_t colon = value.find(':');
  if (colon == std::string::npos) {
    throw SgfError(p.place, p.id + "[" + value + "] needs a point and a text (\"pt:text\")");
  }
  return {SgfBoardPoint(p, value.substr(0, colon)), value.substr(colon + 1)};
}

}  // namespace sorabeku
