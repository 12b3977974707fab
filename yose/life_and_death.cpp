#include "yose/life_and_death.h"

#include <unordered_map>
#include <unordered_set>

#include "yose/yose_solver.h"

namespace sorabeku::yose {
namespace {

class CaptureSearch {
 public:
  CaptureSearch(const LocalArea& area, int cell, Colour defender, Colour koWinner, int maxDepth = 0)
      : area_(area), cell_(cell), defender_(defender), koWinner_(koWinner),
        maxDepth_(maxDepth > 0 ? maxDepth : 3 * static_cast<int>(area.cells.size()) + 6) {}

  // True when the attacker captures the block, `passes` passes in a row so far.
  bool Captured(const LocalBoard& b, Colour toMove, int passes, int depth) {
    if (!IsColour(b.at(cell_), defender_)) return true;
    if (passes >= 2 || depth > maxDepth_) return false;
    const std::uint64_t key = b.hash() ^ (toMove == Colour::kBlack ? 0x5bd1e995ull : 0) ^
                              (passes ? 0xc2b2ae3d27d4eb4full : 0);
    if (auto it = table_.find(key); it != table_.end()) return it->second;
    if (table_.size() >= kMaxPositions || ++visits_ > kMaxVisits) {
      throw SearchTooLarge("the life-and-death search passed its bound");
    }
    if (!onPath_.insert(key).second) return false;  // a loop: nobody gets through
    const bool attacker = toMove != defender_;
    bool result = Captured(b, Opponent(toMove), passes + 1, depth + 1);
    for (int c : area_.cells) {
      if (result == attacker) break;
      if (b.at(c) != Cell::kEmpty || b.IsOwnEye(c, toMove)) continue;
      LocalBoard next = b;
      const PlayResult r = next.Play(c, toMove);
      if (!r.legal || (r.koCapture && toMove != koWinner_)) continue;
      const bool captured = Captured(next, Opponent(toMove), 0, depth + 1);
      if (captured == attacker) result = attacker;
    }
    onPath_.erase(key);
    table_.emplace(key, result);
    return result;
  }

 private:
  const LocalArea& area_;
  int cell_;
  Colour defender_;
  Colour koWinner_;
  int maxDepth_;
  std::size_t visits_ = 0;
  std::unordered_map<std::uint64_t, bool> table_;
  std::unordered_set<std::uint64_t> onPath_;
};

}  // namespace

Fate FateOfBlock(const LocalArea& area, const LocalBoard& board, int cell, Colour toMove) {
  const Cell v = board.at(cell);
  if (v != Cell::kBlack && v != Cell::kWhite) return Fate::kDies;
  const Colour defender = v == Cell::kBlack ? Colour::kBlack : Colour::kWhite;
  CaptureSearch attackerKo(area, cell, defender, Opponent(defender));
  if (!attackerKo.Captured(board, toMove, 0, 0)) return Fate::kLives;
  CaptureSearch defenderKo(area, cell, defender, defender);
  return defenderKo.Captured(board, toMove, 0, 0) ? Fate::kDies : Fate::kKo;
}

bool DeadAtEnd(const LocalBoard& board, const std::vector<int>& area, int cell) {
  const Cell v = board.at(cell);
  const Colour owner = v == Cell::kBlack ? Colour::kBlack : Colour::kWhite;
  int eyes = 0;
  for (int c : area) {
    if (!board.IsOwnEye(c, owner)) continue;
    for (int step : kSteps) {
      if (board.at(c + step) == v) {
        // an eye of this block (its stones are the only ones around it)
        LocalBoard probe = board;
        probe.Set(c, v);
        if (probe.Liberties(cell, 1) >= 0 && ++eyes >= 2) return false;
        break;
      }
    }
  }
  for (int c : area) {
    if (board.at(c) != Cell::kEmpty) continue;
    bool liberty = false;
    for (int step : kSteps) liberty |= board.at(c + step) == v;
    if (!liberty) continue;
    LocalBoard next = board;
    const PlayResult r = next.Play(c, owner);
    if (!r.legal) continue;
    if (r.captured > 0 || next.Liberties(cell, kCells) == kCells) return false;
  }
  return true;
}

std::string FateName(Fate fate) {
  switch (fate) {
    case Fate::kLives: return "生き";
    case Fate::kDies: return "死に";
    case Fate::kKo: return "コウ";
  }
  return "";
}

}  // namespace sorabeku::yose
