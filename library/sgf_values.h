// Reading the values of SGF properties the problem mapping uses: whole
// numbers, points and labels, each refused with the place of the property
// when it does not parse.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "library/sgf_parser.h"

namespace sorabeku {

// A whole number in 32 bits ("-1", "12"); SgfError otherwise.
int SgfInteger(const SgfProperty& p, const std::string& value);
// The first value of `p` as a whole number.
inline int SgfInteger(const SgfProperty& p) { return SgfInteger(p, p.values.front()); }
// A point of the 19×19 board (1..361); SgfError for a pass or anything off
// the board.
int SgfBoardPoint(const SgfProperty& p, const std::string& value);
// Every point of a point list, compressed rectangles ("aa:cc") expanded, in
// the order written.
std::vector<int> SgfPointList(const SgfProperty& p);
// "pt:text" of LB: the point and the text.
std::pair<int, std::string> SgfLabel(const SgfProperty& p, const std::string& value);

}  // namespace sorabeku
