#include "library/sgf_base_diagram.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "library/sgf_problem_properties.h"
#include "library/sgf_values.h"

namespace sorabeku {

namespace {

std::string BaseRowValue(const ProblemRow& r) {
  return std::to_string(r.pst) + ":" + std::to_string(r.col) + ":" + std::to_string(r.tes) +
         ":" + std::to_string(r.dix) + ":" + r.cmt;
}

// "PST:COL:TES:DIX:text"; the text may hold further colons.
ProblemRow BaseRowFromValue(const SgfProperty& p, const std::string& value) {
  ProblemRow row;
  std::size_t start = 0;
  int* fields[] = {&row.pst, &row.col, &row.tes, &row.dix};
  for (int* field : fields) {
    const std::size_t colon = value.find(':', start);
    if (colon == std::string::npos) {
      throw SgfError(p.place, p.id + "[" + value + "] needs PST:COL:TES:DIX:text");
    }
    *field = SgfInteger(p, value.substr(start, colon - start));
    start = colon + 1;
  }
  row.cmt = value.substr(start);
  if (!OnBoard(row)) {
    throw SgfError(p.place, p.id + "[" + value + "]: point " + std::to_string(row.pst) +
                                " is not on the board");
  }
  return row;
}

std::vector<ProblemRow> Bare(std::vector<ProblemRow> rows) {
  for (ProblemRow& r : rows) r.bfr = r.bto = 0;
  return rows;
}

}  // namespace

void PutBaseDiagram(const std::vector<ProblemRow>& rows, SgfNode& root, int& leftOut) {
  std::vector<std::string> black, white, labels;
  std::set<int> taken, labelled;
  std::string comment;
  std::vector<ProblemRow> onBoard;
  for (const ProblemRow& r : rows) {
    if (!OnBoard(r)) {
      ++leftOut;
      continue;
    }
    onBoard.push_back(r);
    if (IsStoneRow(r)) {
      if (taken.insert(r.pst).second) (std::abs(r.col) == 1 ? black : white).push_back(SgfPoint(r.pst));
      comment = r.cmt;
    } else if (labelled.insert(r.pst).second) {
      labels.push_back(SgfPoint(r.pst) + ":" + r.cmt);
    }
  }
  if (!black.empty()) root.Add("AB", black);
  if (!white.empty()) root.Add("AW", white);
  if (!labels.empty()) root.Add("LB", labels);
  if (!comment.empty()) root.Add("C", comment);
  std::vector<std::string> ignored;
  if (TakeBaseDiagram(root, ignored) == Bare(onBoard)) return;
  std::vector<std::string> exact;
  for (const ProblemRow& r : onBoard) exact.push_back(BaseRowValue(r));
  root.Add(std::string(sgfprop::kBaseRows), exact);
}

std::vector<ProblemRow> TakeBaseDiagram(const SgfNode& root, std::vector<std::string>& notes) {
  std::vector<ProblemRow> rows;
  if (const SgfProperty* exact = root.Find(sgfprop::kBaseRows)) {
    if (exact->values.size() > kMaxProblemRows) {
      throw SgfError(exact->place, "the base diagram holds more than " +
                                       std::to_string(kMaxProblemRows) + " rows");
    }
    for (const std::string& v : exact->values) rows.push_back(BaseRowFromValue(*exact, v));
    return rows;
  }
  // A point holds one setup stone: given twice (in AB, AW or both) the
  // file is refused rather than stored as stones on one another.
  std::set<int> setup;
  for (const auto& [id, col] : {std::pair{"AB", 1}, std::pair{"AW", 2}}) {
    if (const SgfProperty* p = root.Find(id)) {
      for (int point : SgfPointList(*p)) {
        if (!setup.insert(point).second) {
          throw SgfError(p->place, std::string(id) + ": the setup point " + SgfPoint(point) +
                                       " is given twice");
        }
        if (rows.size() >= kMaxProblemRows) {
          throw SgfError(p->place, "the base diagram holds more than " +
                                       std::to_string(kMaxProblemRows) + " rows");
        }
        rows.push_back({.col = col, .pst = point});
      }
    }
  }
  const auto stones = static_cast<std::ptrdiff_t>(rows.size());
  if (const SgfProperty* p = root.Find("LB")) {
    std::set<int> labelled;  // one text mark a point, as for stones
    for (const std::string& v : p->values) {
      auto [point, text] = SgfLabel(*p, v);
      if (!labelled.insert(point).second) {
        throw SgfError(p->place, "LB: the point " + SgfPoint(point) + " is labelled twice");
      }
      rows.push_back({.col = sgfprop::kMarkCol, .pst = point, .cmt = std::move(text),
                      .dix = sgfprop::kMarkDix});
    }
  }
  if (const SgfProperty* c = root.Find("C")) {
    if (stones > 0) {
      rows[static_cast<std::size_t>(stones - 1)].cmt = c->values.front();
    } else {
      notes.push_back(DescribePlace(c->place) + ": the comment has no setup stone to go with; left out");
    }
  }
  return rows;
}

}  // namespace sorabeku
