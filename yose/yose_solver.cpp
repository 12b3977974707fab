#include "yose/yose_solver.h"
#include <algorithm>
#include <optional>

#include "yose/life_and_death.h"
#include "yose/local_analysis.h"

namespace sorabeku::yose {

YoseSolver::YoseSolver(const LocalArea& area, Colour koWinner) : area_(area), koWinner_(koWinner) {
  table_.reserve(1 << 16);
  for (AreaSymmetry& s : FindSymmetries(area)) {
    if (!s.swapsColours) symmetries_.push_back(std::move(s));
  }
}

// Two or more stones put in atari, taking nothing, with no weak block of
// the other colour beside them: they can only be taken (a throw-in of one
// stone is still played). Leaving such moves out also keeps the search
// free of most lines that come back to an earlier position.
bool YoseSolver::PointlessSelfAtari(const LocalBoard& after, int cell) const {
  if (after.Liberties(cell, 2) != 1) return false;
  const Cell own = after.at(cell);
  int size = 0;
  bool weakNeighbour = false;
  std::vector<int> block{cell};
  std::vector<bool> seen(kCells, false);
  seen[cell] = true;
  for (std::size_t i = 0; i < block.size(); ++i) {
    ++size;
    for (int step : kSteps) {
      const int n = block[i] + step;
      const Cell v = after.at(n);
      if (v == own && !seen[n]) {
        seen[n] = true;
        block.push_back(n);
      } else if ((v == Cell::kBlack || v == Cell::kWhite) && v != own && after.Liberties(n, 3) <= 2) {
        weakNeighbour = true;
      }
    }
  }
  return size >= 2 && !weakNeighbour;
}

bool YoseSolver::TryMove(const LocalBoard& board, const LocalBoard::Sealed& sealed, int cell,
                         Colour c, LocalBoard& after, int& captured) const {
  if (board.at(cell) != Cell::kEmpty || board.IsOwnEye(cell, c)) return false;
  // Filling one's own sealed territory, or invading a sealed territory
  // too small for two eyes, only loses points.
  if (sealed.owner[cell] == c || (sealed.owner[cell] == Opponent(c) && !sealed.roomy[cell])) {
    return false;
  }
  after = board;
  const PlayResult r = after.Play(cell, c);
  if (!r.legal || (r.koCapture && c != koWinner_)) return false;
  if (r.captured == 0 && PointlessSelfAtari(after, cell)) return false;
  captured = r.captured;
  return true;
}

std::vector<LocalMove> YoseSolver::Moves(const LocalBoard& board, Colour c) const {
  std::vector<LocalMove> out;
  LocalBoard::Sealed sealed;
  board.FindSealed(area_.cells, sealed);
  LocalMove m;
  for (int cell : area_.cells) {
    if (!TryMove(board, sealed, cell, c, m.after, m.captured)) continue;
    m.cell = cell;
    m.colour = c;
    out.push_back(m);
  }
  return out;
}

namespace {

// A block left with one liberty must be joined up before the count (the
// other side could take it otherwise, as soon as a ko allows): its last
// liberty is filled by its owner and is nobody's territory. A point that
// is the last liberty of blocks of both colours stays empty.
void FillLastLiberties(LocalBoard& b, const std::vector<int>& area) {
  for (bool changed = true; changed;) {
    changed = false;
    for (int cell : area) {
      if (b.at(cell) != Cell::kEmpty) continue;
      Cell fill = Cell::kEmpty;
      bool both = false;
      for (int step : kSteps) {
        const Cell v = b.at(cell + step);
        if ((v != Cell::kBlack && v != Cell::kWhite) || b.Liberties(cell + step, 2) != 1) continue;
        both |= fill != Cell::kEmpty && fill != v;
        fill = v;
      }
      if (fill == Cell::kEmpty || both) continue;
      b.Set(cell, fill);
      changed = true;
    }
  }
}

}  // namespace

int YoseSolver::Standing(const LocalBoard& board) const {
  LocalBoard b = board;
  int prisoners = 0;
  for (const BlockFate& f : AreaBlocks(area_, board)) {
    if (b.at(f.cell) == Cell::kEmpty) continue;
    if (!DeadAtEnd(board, area_.cells, f.cell)) continue;
    int taken = 0;
    b.TakeOff(f.cell, taken);
    prisoners += SignOf(Opponent(f.colour)) * taken;
  }
  FillLastLiberties(b, area_.cells);
  return b.Territory(area_.cells) + prisoners;
}

const Thermograph& YoseSolver::Solve(const LocalBoard& board) {
  if (twin_) {
    if (auto it = table_.find(board.hash()); it != table_.end()) return it->second;
    const Thermograph g = twin_->Solve(Mapped(area_, board, twinMap_)).Negated();
    return table_.emplace(board.hash(), g).first->second;
  }
  int low = 0;
  return Search(board, 0, low);
}

// The value of the position or of one of its images, when searched before.
const Thermograph* YoseSolver::Known(const LocalBoard& board) const {
  if (auto it = table_.find(board.hash()); it != table_.end()) return &it->second;
  for (const AreaSymmetry& s : symmetries_) {
    if (auto it = table_.find(MappedHash(board, s)); it != table_.end()) return &it->second;
  }
  return nullptr;
}

// `low` becomes the shallowest depth of the line that this position's
// value depends on: a move back to a position on the line is not played
// (no position may repeat), so a value that met such a position holds only
// below it and is not kept in the table.
const Thermograph& YoseSolver::Search(const LocalBoard& board, int depth, int& low) {
  low = kNoLoop;
  const std::uint64_t key = board.hash();
  if (const Thermograph* known = Known(board)) return *known;
  if (table_.size() >= kMaxPositions || ++visits_ > kMaxVisits) {
    throw SearchTooLarge("the local search passed its bound (" + std::to_string(kMaxPositions) +
                         " positions kept, " + std::to_string(kMaxVisits) +
                         " visited); give a smaller region");
  }
  onPath_.emplace(key, depth);
  LocalBoard::Sealed sealed;
  board.FindSealed(area_.cells, sealed);
  // The best of each side's options so far: the max of Black's right
  // walls, the min of White's left walls.
  std::optional<WallLine> best[2];
  LocalBoard after;
  int captured = 0;
  for (Colour c : {Colour::kBlack, Colour::kWhite}) {
    std::optional<WallLine>& side = best[c == Colour::kBlack ? 0 : 1];
    for (int cell : area_.cells) {
      if (!TryMove(board, sealed, cell, c, after, captured)) continue;
      if (auto on = onPath_.find(after.hash()); on != onPath_.end()) {
        sawLoop_ = true;
        low = std::min(low, on->second);
        continue;
      }
      int childLow = kNoLoop;
      const Thermograph& v = Search(after, depth + 1, childLow);
      low = std::min(low, childLow);
      const double gain = SignOf(c) * captured;
      const WallLine& wall = c == Colour::kBlack ? v.right : v.left;
      const WallLine w = gain == 0 ? wall : wall.Plus(gain);
      if (!side) {
        side = w;
      } else {
        side = c == Colour::kBlack ? WallLine::Max(*side, w) : WallLine::Min(*side, w);
      }
    }
  }
  onPath_.erase(key);
  Thermograph g = CombineWalls(best[0] ? &*best[0] : nullptr, best[1] ? &*best[1] : nullptr,
                               [&] { return double(Standing(board)); });
  if (low >= depth) {
    low = kNoLoop;
    return table_.emplace(key, std::move(g)).first->second;
  }
  uncached_ = std::move(g);  // the caller copies it before searching on
  return uncached_;
}

}  // namespace sorabeku::yose
