#include "library/problem_import.h"

#include <set>

#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/sgf_base_diagram.h"
#include "library/sgf_move_node.h"
#include "library/sgf_problem_properties.h"
#include "library/sgf_values.h"
#include "library/storable_text.h"

namespace sorabeku {

namespace {

constexpr int kMaxGrade = 25;

// A node that stands for rows; nodes without any are left out and their
// children take their place.
struct TreeNode {
  std::vector<PendingRow> rows;
  bool head = false;
  SgfPlace place{};
  std::vector<TreeNode> children;
};

std::vector<TreeNode> Convert(const std::vector<SgfNode>& nodes, std::vector<std::string>& notes) {
  std::vector<TreeNode> out;
  for (const SgfNode& n : nodes) {
    NodeRows rows = NodeToRows(n, notes);
    std::vector<TreeNode> below = Convert(n.children, notes);
    if (rows.rows.empty()) {
      for (TreeNode& b : below) out.push_back(std::move(b));
      continue;
    }
    out.push_back({std::move(rows.rows), rows.head, n.place, std::move(below)});
  }
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

void CheckGameInfo(const SgfNode& root) {
  if (const SgfProperty* gm = root.Find("GM"); gm != nullptr && SgfInteger(*gm) != 1) {
    throw SgfError(gm->place, "GM[" + gm->values.front() + "] is not a game of Go");
  }
  if (const SgfProperty* sz = root.Find("SZ")) {
    const std::string& v = sz->values.front();
    if (v != "19" && v != "19:19") {
      throw SgfError(sz->place, "board size SZ[" + v + "]: only 19×19 problems can be stored");
    }
  }
  if (const SgfProperty* ca = root.Find("CA")) {
    const std::string set = Lower(ca->values.front());
    if (set != "utf-8" && set != "utf8") {
      throw SgfError(ca->place, "character set CA[" + ca->values.front() +
                                    "] is not supported; convert the file to UTF-8");
    }
  }
  for (const char* move : {"B", "W"}) {
    if (const SgfProperty* p = root.Find(move)) {
      throw SgfError(p->place, "a move in the root node; the root holds the base diagram only");
    }
  }
}

void ReportReplacements(const StorableText& fitted, const SgfPlace& place,
                        std::vector<std::string>& notes) {
  for (const Replacement& r : fitted.replaced) {
    notes.push_back(DescribePlace(place) + ": \"" + r.original + "\" (" + CodePointName(r.original) +
                    ") cannot be held in Shift-JIS; stored as " + r.stored);
  }
}

// Lays the rows of one tree out in appending order.
class Layout {
 public:
  Layout(ProblemRecord& record, std::vector<std::string>& notes) : record_(record), notes_(notes) {}

  void Base(const SgfNode& root, const std::vector<TreeNode>& children) {
    std::vector<ProblemRow> base = TakeBaseDiagram(root, notes_);
    if (base.empty()) {
      if (!children.empty()) {
        throw SgfError(root.place, "the root has no setup stones (AB, AW or LB): "
                                   "the sequences have no base diagram to start from");
      }
      return;
    }
    for (ProblemRow& r : base) Append(std::move(r), root.place);
    record_.rows.front().bto = kRootMarker;
    record_.rows.back().bfr = nextBranch_++;
    Continue(children, record_.rows.back().bfr, 2, 0, root.place);
  }

 private:
  // The sequence that starts at `node`, continuing branch `bto`, as line
  // entry `depth`, then its continuations.
  void Sequence(const TreeNode* node, int bto, int depth, int lastTes) {
    if (depth > kLineSlots) {
      throw SgfError(node->place, "the line to this move holds more than " +
                                      std::to_string(kLineSlots) +
                                      " sequences (base diagram included)");
    }
    const std::size_t first = record_.rows.size();
    while (true) {
      std::vector<PendingRow> rows = node->rows;
      LayOutMoveNumbers(rows, lastTes, node->place);
      for (PendingRow& p : rows) Append(std::move(p.row), node->place);
      if (node->children.size() != 1 || node->children.front().head) break;
      node = &node->children.front();
    }
    record_.rows[first].bto = bto;
    record_.rows.back().bfr = nextBranch_++;
    Continue(node->children, record_.rows.back().bfr, depth + 1, lastTes, node->place);
  }

  void Continue(const std::vector<TreeNode>& children, int branch, int depth, int lastTes,
                const SgfPlace& place) {
    if (static_cast<int>(children.size()) > kCandidateLimit) {
      throw SgfError(place, std::to_string(children.size()) + " continuations at one point; at most " +
                                std::to_string(kCandidateLimit) + " can be offered");
    }
    for (const TreeNode& child : children) Sequence(&child, branch, depth, lastTes);
  }

  void Append(ProblemRow row, const SgfPlace& place) {
    if (record_.rows.size() >= kMaxProblemRows) {
      throw SgfError(place, "the problem holds more than " + std::to_string(kMaxProblemRows) +
                                " rows; at most that many can be stored in one problem");
    }
    StorableText fitted = FitForLibrary(row.cmt);
    const std::string where = DescribePlace(place);
    ReportReplacements(fitted, place, notes_);
    if (fitted.cut) {
      notes_.push_back(where + ": text longer than " + std::to_string(kTextColumnBytes) +
                       " bytes in Shift-JIS; cut to \"" + fitted.text + "\"");
    }
    row.cmt = std::move(fitted.text);
    record_.rows.push_back(std::move(row));
  }

  ProblemRecord& record_;
  std::vector<std::string>& notes_;
  int nextBranch_ = 1;
};

std::string Description(const SgfNode& root, std::vector<std::string>& notes) {
  const SgfProperty* p = root.Find(sgfprop::kDescription);
  if (p == nullptr) p = root.Find("GN");
  if (p == nullptr) return {};
  StorableText fitted = FitForLibrary(p->values.front());
  ReportReplacements(fitted, p->place, notes);
  if (fitted.cut) {
    notes.push_back(DescribePlace(p->place) + ": description cut to \"" + fitted.text + "\"");
  }
  return fitted.text;
}

}  // namespace

ProblemRecord ProblemFromTree(const SgfNode& root, int number, std::optional<int> grade,
                              std::vector<std::string>& notes) {
  CheckGameInfo(root);
  ProblemRecord record;
  record.number = number;
  if (SectionOf(number) == 0) {
    throw SgfError(root.place, "problem number " + std::to_string(number) +
                                   " belongs to no section (1–999, 1001–1999, 2001–2999)");
  }
  if (grade) {
    record.grade = grade;
  } else if (const SgfProperty* g = root.Find(sgfprop::kGrade)) {
    record.grade = SgfInteger(*g);
  }
  if (record.grade && (*record.grade < 0 || *record.grade > kMaxGrade)) {
    throw SgfError(root.place, "grade " + std::to_string(*record.grade) + " is outside 0–25");
  }
  record.description = Description(root, notes);
  Layout(record, notes).Base(root, Convert(root.children, notes));
  return record;
}

ImportResult ImportSgf(std::string_view text, const ImportOptions& options) {
  const SgfCollection trees = ParseSgf(text);
  ImportResult result;
  std::set<int> numbers;
  for (std::size_t i = 0; i < trees.size(); ++i) {
    const SgfNode& root = trees[i];
    int number = 0;
    if (options.number) {
      number = *options.number + static_cast<int>(i);
    } else if (const SgfProperty* n = root.Find(sgfprop::kNumber)) {
      number = SgfInteger(*n);
    } else {
      throw SgfError(root.place, "the game tree has no problem number (SBN); give one with --number");
    }
    if (!numbers.insert(number).second) {
      throw SgfError(root.place, "problem number " + std::to_string(number) + " comes twice in the file");
    }
    result.problems.push_back(ProblemFromTree(root, number, options.grade, result.notes));
  }
  return result;
}

}  // namespace sorabeku
