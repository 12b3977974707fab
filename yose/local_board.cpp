#include "yose/local_board.h"

namespace sorabeku::yose {
namespace {

// Keys for the hash: one random word per cell and colour (a fixed seed, so
// that keys are the same in every run).
struct Keys {
  std::array<std::uint64_t, kCells * 2> key{};
  Keys() {
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    for (auto& k : key) {
      s += 0x9E3779B97F4A7C15ull;
      std::uint64_t z = s;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      k = z ^ (z >> 31);
    }
  }
};
const Keys& TheKeys() {
  static const Keys keys;
  return keys;
}

// Scratch marks for the flood fills: a generation number per cell.
struct Marks {
  std::array<std::uint32_t, kCells> mark{};
  std::uint32_t generation = 0;
  std::array<int, kCells> stack{};
  void Next() {
    if (++generation == 0) {
      mark.fill(0);
      generation = 1;
    }
  }
};
thread_local Marks marks;

Cell StoneOf(Colour c) { return c == Colour::kBlack ? Cell::kBlack : Cell::kWhite; }
Colour ColourOfStone(Cell v) {
  return v == Cell::kBlack ? Colour::kBlack : v == Cell::kWhite ? Colour::kWhite : Colour::kNone;
}

}  // namespace

std::uint64_t LocalBoard::KeyOf(int cell, Cell v) {
  if (v == Cell::kBlack) return TheKeys().key[cell * 2];
  if (v == Cell::kWhite) return TheKeys().key[cell * 2 + 1];
  return 0;
}

LocalBoard::LocalBoard() {
  for (int i = 0; i < kCells; ++i) {
    const int x = i / kSide, y = i % kSide;
    const bool border = x == 0 || y == 0 || x == kSide - 1 || y == kSide - 1;
    cells_[i] = border ? Cell::kEdge : Cell::kOpen;
  }
}

void LocalBoard::Set(int cell, Cell value) {
  hash_ ^= KeyOf(cell, cells_[cell]) ^ KeyOf(cell, value);
  cells_[cell] = value;
}

int LocalBoard::Liberties(int cell, int cap) const {
  const Cell own = cells_[cell];
  const Colour c = ColourOfStone(own);
  marks.Next();
  int top = 0, libs = 0;
  marks.stack[top++] = cell;
  marks.mark[cell] = marks.generation;
  while (top > 0) {
    const int at = marks.stack[--top];
    for (int step : kSteps) {
      const int n = at + step;
      if (marks.mark[n] == marks.generation) continue;
      const Cell v = cells_[n];
      if (v == own) {
        marks.mark[n] = marks.generation;
        marks.stack[top++] = n;
      } else if (v == Cell::kOpen || (IsColour(v, c) && v != own)) {
        return cap;  // open space or a wall of its own colour: never captured here
      } else if (v == Cell::kEmpty) {
        marks.mark[n] = marks.generation;
        if (++libs >= cap) return cap;
      }
    }
  }
  return libs;
}

void LocalBoard::RemoveBlock(int cell, int& count) {
  const Cell own = cells_[cell];
  int top = 0;
  marks.stack[top++] = cell;
  Set(cell, Cell::kEmpty);
  ++count;
  while (top > 0) {
    const int at = marks.stack[--top];
    for (int step : kSteps) {
      const int n = at + step;
      if (cells_[n] == own) {
        Set(n, Cell::kEmpty);
        ++count;
        marks.stack[top++] = n;
      }
    }
  }
}

PlayResult LocalBoard::Play(int cell, Colour c) {
  PlayResult r;
  if (cells_[cell] != Cell::kEmpty || c == Colour::kNone) return r;
  const Cell own = StoneOf(c);
  const Cell other = StoneOf(Opponent(c));
  Set(cell, own);
  for (int step : kSteps) {
    const int n = cell + step;
    if (cells_[n] == other && Liberties(n, 1) == 0) RemoveBlock(n, r.captured);
  }
  if (r.captured == 0 && Liberties(cell, 1) == 0) {
    Set(cell, Cell::kEmpty);
    return r;
  }
  r.legal = true;
  if (r.captured == 1) {
    int empties = 0;
    bool alone = true;
    for (int step : kSteps) {
      const Cell v = cells_[cell + step];
      if (v == Cell::kEmpty) ++empties;
      if (v == Cell::kOpen || IsColour(v, c)) alone = false;
    }
    r.koCapture = alone && empties == 1;
  }
  return r;
}

bool LocalBoard::IsOwnEye(int cell, Colour c) const {
  if (cells_[cell] != Cell::kEmpty) return false;
  for (int step : kSteps) {
    const Cell v = cells_[cell + step];
    if (v != Cell::kEdge && !IsColour(v, c)) return false;
  }
  for (int step : kSteps) {
    const Cell v = cells_[cell + step];
    if ((v == Cell::kBlack || v == Cell::kWhite) && Liberties(cell + step, 2) < 2) return false;
  }
  return true;
}

int LocalBoard::Territory(const std::vector<int>& area) const {
  marks.Next();
  const std::uint32_t seen = marks.generation;
  int total = 0;
  for (int start : area) {
    if (cells_[start] != Cell::kEmpty || marks.mark[start] == seen) continue;
    int top = 0, size = 0;
    bool black = false, white = false, open = false;
    marks.stack[top++] = start;
    marks.mark[start] = seen;
    while (top > 0) {
      const int at = marks.stack[--top];
      ++size;
      for (int step : kSteps) {
        const int n = at + step;
        const Cell v = cells_[n];
        if (v == Cell::kEmpty) {
          if (marks.mark[n] != seen) {
            marks.mark[n] = seen;
            marks.stack[top++] = n;
          }
        } else if (v == Cell::kOpen) {
          open = true;
        } else {
          black |= IsColour(v, Colour::kBlack);
          white |= IsColour(v, Colour::kWhite);
        }
      }
    }
    if (!open && black != white) total += black ? size : -size;
  }
  return total;
}

void LocalBoard::FindSealed(const std::vector<int>& area, Sealed& out) const {
  for (int cell : area) out.owner[cell] = Colour::kNone;
  std::vector<int> region, stones;
  std::array<bool, kCells> done{};
  for (int start : area) {
    if (cells_[start] != Cell::kEmpty || done[start]) continue;
    region.assign(1, start);
    stones.clear();
    done[start] = true;
    bool black = false, white = false, open = false;
    for (std::size_t i = 0; i < region.size(); ++i) {
      for (int step : kSteps) {
        const int n = region[i] + step;
        const Cell v = cells_[n];
        if (v == Cell::kEmpty && !done[n]) {
          done[n] = true;
          region.push_back(n);
        } else if (v == Cell::kOpen) {
          open = true;
        } else if (v == Cell::kBlack || v == Cell::kWhite) {
          stones.push_back(n);
        }
        black |= IsColour(v, Colour::kBlack);
        white |= IsColour(v, Colour::kWhite);
      }
    }
    if (open || black == white) continue;
    const Colour owner = black ? Colour::kBlack : Colour::kWhite;
    bool safe = true;
    for (int s : stones) {
      if (Liberties(s, kCells) != kCells) {
        safe = false;
        break;
      }
    }
    if (!safe) continue;
    int eyeRoom = 0;
    for (int cell : region) {
      bool inside = true;
      for (int step : kSteps) {
        const Cell v = cells_[cell + step];
        if (v != Cell::kEmpty && v != Cell::kEdge) inside = false;
      }
      if (inside) ++eyeRoom;
    }
    for (int cell : region) {
      out.owner[cell] = owner;
      out.roomy[cell] = eyeRoom >= 2;
    }
  }
}

}  // namespace sorabeku::yose
