#include "yose/local_area.h"

#include <algorithm>
#include <set>

namespace sorabeku::yose {
namespace {

bool OnBoard(int cell) {
  const int x = ColumnOfCell(cell), y = RowOfCell(cell);
  return x >= 0 && x < 19 && y >= 0 && y < 19;
}
Colour ColourAt(const Position& p, int cell) {
  return p[ColumnOfCell(cell)][RowOfCell(cell)];
}

// The block of the stone at cell and its liberties.
void BlockOf(const Position& p, int cell, std::set<int>& stones, std::set<int>& liberties) {
  const Colour c = ColourAt(p, cell);
  std::vector<int> todo{cell};
  stones.insert(cell);
  while (!todo.empty()) {
    const int at = todo.back();
    todo.pop_back();
    for (int step : kSteps) {
      const int n = at + step;
      if (!OnBoard(n)) continue;
      const Colour v = ColourAt(p, n);
      if (v == Colour::kNone) {
        liberties.insert(n);
      } else if (v == c && stones.insert(n).second) {
        todo.push_back(n);
      }
    }
  }
}

// The owner of an empty point outside the area: flood over empty points
// that are outside the area; a lone colour on the border owns them.
Cell OutsideCell(const Position& p, int cell, const std::set<int>& area, std::vector<Cell>& memo) {
  if (memo[cell] != Cell::kEdge) return memo[cell];
  std::vector<int> todo{cell}, seen{cell};
  std::set<int> inSeen{cell};
  bool black = false, white = false;
  while (!todo.empty()) {
    const int at = todo.back();
    todo.pop_back();
    for (int step : kSteps) {
      const int n = at + step;
      if (!OnBoard(n)) continue;
      const Colour v = ColourAt(p, n);
      if (v == Colour::kBlack) black = true;
      if (v == Colour::kWhite) white = true;
      if (v == Colour::kNone && !area.count(n) && inSeen.insert(n).second) {
        todo.push_back(n);
        seen.push_back(n);
      }
    }
  }
  const Cell owner = black == white ? Cell::kOpen : black ? Cell::kBlackWall : Cell::kWhiteWall;
  for (int s : seen) memo[s] = owner;
  return owner;
}

}  // namespace

LocalArea MakeLocalArea(const Position& position, const std::vector<int>& region) {
  std::set<int> area;
  for (int cell : region) {
    if (OnBoard(cell) && ColourAt(position, cell) == Colour::kNone) area.insert(cell);
  }
  const std::set<int> empties = area;
  for (int cell : empties) {
    for (int step : kSteps) {
      const int n = cell + step;
      if (!OnBoard(n) || ColourAt(position, n) == Colour::kNone || area.count(n)) continue;
      std::set<int> stones, liberties;
      BlockOf(position, n, stones, liberties);
      const bool inside = std::all_of(liberties.begin(), liberties.end(),
                                      [&](int l) { return empties.count(l) > 0; });
      if (inside) area.insert(stones.begin(), stones.end());
    }
  }
  LocalArea out;
  out.emptyPoints = static_cast<int>(empties.size());
  if (out.emptyPoints > kMaxEmptyPoints || static_cast<int>(area.size()) > kMaxAreaPoints) {
    throw RegionTooLarge("the local region has " + std::to_string(out.emptyPoints) +
                         " empty points and " + std::to_string(area.size()) +
                         " points in all; at most " + std::to_string(kMaxEmptyPoints) + " and " +
                         std::to_string(kMaxAreaPoints) + " can be solved");
  }
  if (empties.empty()) throw RegionTooLarge("the local region has no empty point");
  std::vector<Cell> memo(kCells, Cell::kEdge);
  for (int x = 0; x < 19; ++x) {
    for (int y = 0; y < 19; ++y) {
      const int cell = CellAt(x, y);
      const Colour c = position[x][y];
      Cell v;
      if (area.count(cell)) {
        v = c == Colour::kBlack ? Cell::kBlack : c == Colour::kWhite ? Cell::kWhite : Cell::kEmpty;
      } else if (c != Colour::kNone) {
        v = c == Colour::kBlack ? Cell::kBlackWall : Cell::kWhiteWall;
      } else {
        v = OutsideCell(position, cell, area, memo);
      }
      out.board.Set(cell, v);
    }
  }
  out.cells.assign(area.begin(), area.end());
  return out;
}

std::vector<int> RegionAround(const Position& position, const std::vector<int>& points, int steps) {
  std::set<int> found;
  std::vector<int> frontier;
  for (int p : points) {
    if (OnBoard(p) && ColourAt(position, p) == Colour::kNone && found.insert(p).second) {
      frontier.push_back(p);
    }
  }
  for (int s = 0; s < steps; ++s) {
    std::vector<int> next;
    for (int at : frontier) {
      for (int step : kSteps) {
        const int n = at + step;
        if (OnBoard(n) && ColourAt(position, n) == Colour::kNone && found.insert(n).second) {
          next.push_back(n);
        }
      }
    }
    frontier.swap(next);
  }
  return {found.begin(), found.end()};
}

std::vector<int> EnclosedRegion(const Position& position, const std::vector<int>& points) {
  return RegionAround(position, points, 19 * 19);
}

}  // namespace sorabeku::yose
