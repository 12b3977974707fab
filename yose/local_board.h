// The solver's own board: a 19×19 position with a border, in which only
// the cells of the local area can change. Cells outside the area are
// walls (stones and settled territory that local play cannot capture or
// enter) or open space (a liberty for both colours, not playable).
// The capture rule: a stone placed takes off every adjacent block of the
// other colour left without a liberty; a move that leaves its own block
// without a liberty and captures nothing is illegal.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sorabeku::yose {

enum class Colour : std::uint8_t { kNone = 0, kBlack = 1, kWhite = 2 };

constexpr Colour Opponent(Colour c) {
  return c == Colour::kBlack ? Colour::kWhite : c == Colour::kWhite ? Colour::kBlack : Colour::kNone;
}
// +1 for Black, -1 for White: the sign of a point in Black's favour.
constexpr int SignOf(Colour c) { return c == Colour::kBlack ? 1 : c == Colour::kWhite ? -1 : 0; }

enum class Cell : std::uint8_t {
  kEmpty = 0,
  kBlack = 1,
  kWhite = 2,
  kEdge = 3,
  kBlackWall = 4,  // outside the area: a black stone or black territory that never changes
  kWhiteWall = 5,
  kOpen = 6,       // outside the area: neutral empty space, a liberty for both
};

inline constexpr int kSide = 21;  // 19 points and a border on each side
inline constexpr int kCells = kSide * kSide;

// The cell of column x and row y (both 0..18).
constexpr int CellAt(int x, int y) { return (x + 1) * kSide + (y + 1); }
constexpr int ColumnOfCell(int cell) { return cell / kSide - 1; }
constexpr int RowOfCell(int cell) { return cell % kSide - 1; }
inline constexpr std::array<int, 4> kSteps = {-1, 1, -kSide, kSide};

// True when the cell holds or stands for a stone of colour c (walls included).
constexpr bool IsColour(Cell cell, Colour c) {
  if (c == Colour::kBlack) return cell == Cell::kBlack || cell == Cell::kBlackWall;
  if (c == Colour::kWhite) return cell == Cell::kWhite || cell == Cell::kWhiteWall;
  return false;
}

struct PlayResult {
  bool legal = false;
  int captured = 0;         // stones taken off
  bool koCapture = false;   // one stone taken by a lone stone left in atari
};

class LocalBoard {
 public:
  // Every cell on the board open, the border edge.
  LocalBoard();

  Cell at(int cell) const { return cells_[cell]; }
  // Sets a cell (used while the position is built; keeps the hash).
  void Set(int cell, Cell value);
  // A key of the area's contents: equal positions have equal keys.
  std::uint64_t hash() const { return hash_; }
  // The part of the key a cell holding `v` contributes (zero for all but stones).
  static std::uint64_t KeyOf(int cell, Cell v);

  // Plays a stone of colour c on the empty cell; an illegal move leaves
  // the board unchanged.
  PlayResult Play(int cell, Colour c);

  // Liberties of the block at cell, counted up to `cap`; a block touching
  // a wall of its colour or open space counts as having `cap`.
  int Liberties(int cell, int cap) const;
  // True when every neighbour of the empty cell is a stone or wall of
  // colour c or the edge, and no neighbouring block of c is in atari:
  // filling such a point only takes away one's own liberty.
  bool IsOwnEye(int cell, Colour c) const;

  // Territory of the given cells under the Japanese count (Black's empty
  // points minus White's): an empty cell counts for a colour when the
  // empty cells connected to it touch that colour and not the other nor
  // open space.
  int Territory(const std::vector<int>& area) const;

  // For each empty cell of the area: the colour whose sealed territory it
  // lies in, or kNone. An empty region is sealed when every stone around
  // it is of one colour and can never be captured (a wall, or joined to
  // one): filling it only loses a point for its owner, and an invader has
  // no room for two eyes when it holds fewer than two points whose every
  // neighbour lies inside (`roomy` is then false).
  struct Sealed {
    std::array<Colour, kCells> owner{};
    std::array<bool, kCells> roomy{};
  };
  void FindSealed(const std::vector<int>& area, Sealed& out) const;

  // Takes off the block at cell (a dead block at the end of play); adds
  // its stones to `count`.
  void TakeOff(int cell, int& count) { RemoveBlock(cell, count); }

  bool operator==(const LocalBoard& o) const { return cells_ == o.cells_; }

 private:
  void RemoveBlock(int cell, int& count);

  std::array<Cell, kCells> cells_{};
  std::uint64_t hash_ = 0;
};

}  // namespace sorabeku::yose
