#include "yose/diagram.h"

#include <stdexcept>

namespace sorabeku::yose {

Diagram ParseDiagram(std::string_view text) {
  Diagram d;
  int x = 0, y = 0;
  bool any = false;
  for (char ch : text) {
    if (ch == '\n') {
      if (any) ++y;
      x = 0;
      any = false;
      continue;
    }
    if (ch == ' ') continue;
    if (x >= 19 || y >= 19) throw std::invalid_argument("diagram larger than the board");
    any = true;
    switch (ch) {
      case 'X': d.position[x][y] = Colour::kBlack; break;
      case 'O': d.position[x][y] = Colour::kWhite; break;
      case '.': d.region.push_back(CellAt(x, y)); break;
      case '+': break;
      default: throw std::invalid_argument(std::string("diagram: unknown character ") + ch);
    }
    ++x;
  }
  return d;
}

}  // namespace sorabeku::yose
