#include "tools/sorabeku-yose/problem_positions.h"

#include "library/sgf_parser.h"
#include "library/sgf_values.h"

namespace sorabeku::tool {
namespace {

using yose::Colour;

int CellOfPoint(int point) { return yose::CellAt((point - 1) / 19, (point - 1) % 19); }

// The move of a node, if it has one: its cell and colour.
bool MoveOf(const SgfNode& n, int& cell, Colour& colour) {
  for (const char* id : {"B", "W"}) {
    if (const SgfProperty* p = n.Find(id)) {
      cell = CellOfPoint(SgfBoardPoint(*p, p->values.front()));
      colour = id[0] == 'B' ? Colour::kBlack : Colour::kWhite;
      return true;
    }
  }
  return false;
}

bool IsBranch(const SgfNode& n) {
  if (n.children.size() >= 2) return true;
  return n.children.size() == 1 && (n.children[0].Has("TE") || n.children[0].Has("BM"));
}

Continuation Follow(const SgfNode& head, const yose::Position& at) {
  Continuation c;
  MoveOf(head, c.cell, c.colour);
  c.green = head.Has("TE");
  c.red = head.Has("BM");
  c.comment = head.Value("C");
  c.end = at;
  for (const SgfNode* n = &head;; n = &n->children.front()) {
    int cell = 0;
    Colour colour = Colour::kNone;
    if (MoveOf(*n, cell, colour)) {
      c.end = Played(c.end, cell, colour);
      c.line.emplace_back(cell, colour);
    }
    if (n->children.empty()) break;
  }
  return c;
}

void Walk(const SgfNode& n, const yose::Position& at, int moves, std::vector<BranchPoint>& out) {
  if (IsBranch(n)) {
    BranchPoint b;
    b.movesBefore = moves;
    b.position = at;
    for (const SgfNode& child : n.children) {
      int cell = 0;
      Colour colour = Colour::kNone;
      if (MoveOf(child, cell, colour)) b.continuations.push_back(Follow(child, at));
    }
    if (!b.continuations.empty()) out.push_back(std::move(b));
  }
  for (const SgfNode& child : n.children) {
    int cell = 0;
    Colour colour = Colour::kNone;
    if (MoveOf(child, cell, colour)) {
      Walk(child, Played(at, cell, colour), moves + 1, out);
    } else {
      Walk(child, at, moves, out);
    }
  }
}

}  // namespace

std::string CellName(int cell) {
  return {static_cast<char>('a' + yose::ColumnOfCell(cell)),
          static_cast<char>('a' + yose::RowOfCell(cell))};
}

yose::Position BasePosition(const SgfNode& root) {
  yose::Position p{};
  for (const char* id : {"AB", "AW"}) {
    const SgfProperty* prop = root.Find(id);
    if (!prop) continue;
    for (int point : SgfPointList(*prop)) {
      p[(point - 1) / 19][(point - 1) % 19] = id[1] == 'B' ? Colour::kBlack : Colour::kWhite;
    }
  }
  return p;
}

yose::Position Played(const yose::Position& p, int cell, Colour colour) {
  yose::LocalBoard b;
  for (int x = 0; x < 19; ++x) {
    for (int y = 0; y < 19; ++y) {
      const Colour c = p[x][y];
      b.Set(yose::CellAt(x, y), c == Colour::kBlack   ? yose::Cell::kBlack
                                : c == Colour::kWhite ? yose::Cell::kWhite
                                                      : yose::Cell::kEmpty);
    }
  }
  if (!b.Play(cell, colour).legal) {
    throw LineError("the move " + std::string(colour == Colour::kBlack ? "B " : "W ") +
                    CellName(cell) + " is not legal");
  }
  yose::Position out{};
  for (int x = 0; x < 19; ++x) {
    for (int y = 0; y < 19; ++y) {
      const yose::Cell v = b.at(yose::CellAt(x, y));
      out[x][y] = v == yose::Cell::kBlack ? Colour::kBlack
                  : v == yose::Cell::kWhite ? Colour::kWhite
                                            : Colour::kNone;
    }
  }
  return out;
}

std::vector<BranchPoint> BranchPoints(const SgfNode& root) {
  std::vector<BranchPoint> out;
  Walk(root, BasePosition(root), 0, out);
  return out;
}

}  // namespace sorabeku::tool
