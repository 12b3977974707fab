#include "yose/area_symmetry.h"

#include <algorithm>
#include <optional>

namespace sorabeku::yose {
namespace {

Cell Swapped(Cell v) {
  switch (v) {
    case Cell::kBlack: return Cell::kWhite;
    case Cell::kWhite: return Cell::kBlack;
    case Cell::kBlackWall: return Cell::kWhiteWall;
    case Cell::kWhiteWall: return Cell::kBlackWall;
    default: return v;
  }
}

struct Box {
  int x0 = 19, x1 = -1, y0 = 19, y1 = -1;
};

// The image of (x, y) under transform k of the box (0..7: the four
// mirrors and turns that keep an axis-parallel box in place when it is
// square; k >= 4 swaps the axes). Coordinates may lie on the border (-1, 19).
std::optional<int> Transform(const Box& b, int k, int x, int y) {
  if (k & 1) x = b.x0 + b.x1 - x;
  if (k & 2) y = b.y0 + b.y1 - y;
  if (k & 4) {
    const int tx = b.x0 + (y - b.y0), ty = b.y0 + (x - b.x0);
    x = tx;
    y = ty;
  }
  if (x < -1 || x > 19 || y < -1 || y > 19) return std::nullopt;
  return CellAt(x, y);
}

// Whether points around the area correspond under the transform, and with
// which colour rule; the area's cells must land on area cells.
std::optional<AreaSymmetry> Check(const LocalArea& area, const Box& b, int k, bool swap) {
  AreaSymmetry s;
  s.swapsColours = swap;
  for (int cell : area.cells) {
    const auto image = Transform(b, k, ColumnOfCell(cell), RowOfCell(cell));
    if (!image || !std::binary_search(area.cells.begin(), area.cells.end(), *image)) return std::nullopt;
    s.map.emplace_back(cell, *image);
    for (int step : kSteps) {
      const int n = cell + step;
      if (std::binary_search(area.cells.begin(), area.cells.end(), n)) continue;
      const auto m = Transform(b, k, ColumnOfCell(n), RowOfCell(n));
      if (!m) return std::nullopt;
      const Cell want = swap ? Swapped(area.board.at(n)) : area.board.at(n);
      if (area.board.at(*m) != want) return std::nullopt;
    }
  }
  return s;
}

}  // namespace

std::vector<AreaSymmetry> FindSymmetries(const LocalArea& area) {
  Box b;
  for (int cell : area.cells) {
    b.x0 = std::min(b.x0, ColumnOfCell(cell));
    b.x1 = std::max(b.x1, ColumnOfCell(cell));
    b.y0 = std::min(b.y0, RowOfCell(cell));
    b.y1 = std::max(b.y1, RowOfCell(cell));
  }
  const bool square = b.x1 - b.x0 == b.y1 - b.y0;
  std::vector<AreaSymmetry> out;
  for (int k = 0; k < 8; ++k) {
    if (k >= 4 && !square) break;
    for (bool swap : {false, true}) {
      if (k == 0 && !swap) continue;  // the identity
      if (auto s = Check(area, b, k, swap)) out.push_back(std::move(*s));
    }
  }
  return out;
}

std::uint64_t MappedHash(const LocalBoard& board, const AreaSymmetry& s) {
  std::uint64_t h = 0;
  for (const auto& [from, to] : s.map) {
    const Cell v = board.at(from);
    h ^= LocalBoard::KeyOf(to, s.swapsColours ? Swapped(v) : v);
  }
  return h;
}

LocalBoard Mapped(const LocalArea& area, const LocalBoard& board, const AreaSymmetry& s) {
  LocalBoard out = area.board;
  for (const auto& [from, to] : s.map) {
    const Cell v = board.at(from);
    out.Set(to, s.swapsColours ? Swapped(v) : v);
  }
  return out;
}

}  // namespace sorabeku::yose
