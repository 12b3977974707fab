// Test support: positions written as ASCII diagrams in the top-left
// corner of the board (first row = the top edge, first column = the left
// edge). 'X' black, 'O' white, '.' an empty point of the local region,
// '+' an empty point outside it; spaces are ignored. Points the diagram
// does not reach are empty and outside the region.
#pragma once

#include <string_view>
#include <vector>

#include "yose/local_area.h"

namespace sorabeku::yose {

struct Diagram {
  Position position{};
  std::vector<int> region;
  LocalArea Area() const { return MakeLocalArea(position, region); }
};

Diagram ParseDiagram(std::string_view text);

}  // namespace sorabeku::yose
