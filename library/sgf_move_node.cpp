#include "library/sgf_move_node.h"

#include <climits>
#include <cstdlib>

#include "library/sgf_problem_properties.h"
#include "library/sgf_values.h"

namespace sorabeku {

namespace {

bool LabelledStone(const ProblemRow& row) { return IsStoneRow(row) && row.dix / 10 == 1; }

// COL a row is read with when no SBC says otherwise.
int DefaultCol(bool stone, int colour, bool redHead) {
  if (stone) return redHead ? -colour : colour;
  return redHead ? 0 : sgfprop::kMarkCol;
}

void AddNumberIf(SgfNode& node, std::string_view id, int value, long long standard) {
  if (value != standard) node.Add(std::string(id), std::to_string(value));
}

// Applies SBT, SBC and SBX of `node` to `pending`.
void TakeExactValues(const SgfNode& node, PendingRow& pending) {
  if (const SgfProperty* p = node.Find(sgfprop::kMoveNumber)) pending.tes = SgfInteger(*p);
  if (const SgfProperty* p = node.Find(sgfprop::kColour)) pending.row.col = SgfInteger(*p);
  if (const SgfProperty* p = node.Find(sgfprop::kDisplayCode)) pending.row.dix = SgfInteger(*p);
}

PendingRow MarkRow(int point, std::string text) {
  PendingRow mark;
  mark.row = {.col = sgfprop::kMarkCol, .pst = point, .cmt = std::move(text), .dix = sgfprop::kMarkDix};
  mark.tes = 0;
  return mark;
}

}  // namespace

SgfNode RowToNode(const ProblemRow& row, bool head, int& lastTes) {
  SgfNode node;
  const bool stone = IsStoneRow(row);
  const int colour = stone ? std::abs(row.col) : 0;
  const bool red = head && row.col <= 0;
  const bool labelled = LabelledStone(row);
  const std::string point = SgfPoint(row.pst);
  if (stone) node.Add(colour == 1 ? "B" : "W", point);
  if (head) node.Add(red ? "BM" : "TE", "1");
  if (!stone || labelled) {
    node.Add("LB", point + ":" + row.cmt);
  } else if (row.cmt == kContinueMark) {
    node.Add(std::string(sgfprop::kAutoAdvance), "1");
  } else if (!row.cmt.empty()) {
    node.Add("C", row.cmt);
  }
  // After TES 2147483647 no number is standard: SBT is always written.
  const long long tes = stone ? static_cast<long long>(lastTes) + 1 : 0;
  const int dix = !stone ? sgfprop::kMarkDix : labelled ? sgfprop::kLabelledStoneDix : 0;
  AddNumberIf(node, sgfprop::kMoveNumber, row.tes, tes);
  AddNumberIf(node, sgfprop::kColour, row.col, DefaultCol(stone, colour, red));
  AddNumberIf(node, sgfprop::kDisplayCode, row.dix, dix);
  if (stone) lastTes = row.tes;
  return node;
}

NodeRows NodeToRows(const SgfNode& node, std::vector<std::string>& notes) {
  for (const char* setup : {"AB", "AW", "AE"}) {
    if (const SgfProperty* p = node.Find(setup)) {
      throw SgfError(p->place, std::string(setup) + ": setup stones can only stand in the root node");
    }
  }
  const SgfProperty* black = node.Find("B");
  const SgfProperty* white = node.Find("W");
  if (black != nullptr && white != nullptr) throw SgfError(white->place, "a node with both B and W");
  const SgfProperty* move = black != nullptr ? black : white;
  NodeRows out;
  out.head = node.Has("TE") || node.Has("BM");
  const bool red = node.Has("BM");
  std::vector<std::pair<int, std::string>> labels;
  if (const SgfProperty* lb = node.Find("LB")) {
    for (const std::string& v : lb->values) labels.push_back(SgfLabel(*lb, v));
  }
  const SgfProperty* comment = node.Find("C");
  if (move != nullptr) {
    const std::string& value = move->values.front();
    if (value.empty() || value == "tt") throw SgfError(move->place, "a pass cannot be stored as a move");
    PendingRow stone;
    stone.row.pst = SgfBoardPoint(*move, value);
    stone.row.col = DefaultCol(true, move == black ? 1 : 2, red);
    bool labelled = false;
    for (auto it = labels.begin(); it != labels.end(); ++it) {
      if (it->first != stone.row.pst) continue;
      stone.row.cmt = it->second;
      stone.row.dix = sgfprop::kLabelledStoneDix;
      labels.erase(it);
      labelled = true;
      break;
    }
    if (labelled && comment != nullptr) {
      notes.push_back(DescribePlace(comment->place) + ": comment left out, the stone shows its label");
    } else if (comment != nullptr) {
      stone.row.cmt = comment->values.front();
    } else if (!labelled && node.Has(sgfprop::kAutoAdvance)) {
      stone.row.cmt = std::string(kContinueMark);
    }
    TakeExactValues(node, stone);
    out.rows.push_back(std::move(stone));
    for (auto& [point, text] : labels) out.rows.push_back(MarkRow(point, std::move(text)));
    return out;
  }
  for (auto& [point, text] : labels) out.rows.push_back(MarkRow(point, std::move(text)));
  if (!out.rows.empty()) {
    out.rows.front().row.col = DefaultCol(false, 0, red);
    TakeExactValues(node, out.rows.front());
  }
  if (comment != nullptr) {
    notes.push_back(DescribePlace(comment->place) + ": comment left out, the node has no move");
  }
  return out;
}

void LayOutMoveNumbers(std::vector<PendingRow>& rows, int& lastTes, const SgfPlace& place) {
  for (PendingRow& p : rows) {
    const bool stone = IsStoneRow(p.row);
    if (stone && !p.tes && lastTes == INT_MAX) {
      throw SgfError(place, "the stone after move number " + std::to_string(INT_MAX) +
                                " needs its number (SBT)");
    }
    p.row.tes = p.tes ? *p.tes : stone ? lastTes + 1 : 0;
    if (stone) lastTes = p.row.tes;
  }
}

}  // namespace sorabeku
