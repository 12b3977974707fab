#include "library/problem_export.h"

#include <set>

#include "library/sequence_walks.h"
#include "library/sgf_base_diagram.h"
#include "library/sgf_move_node.h"
#include "library/sgf_problem_properties.h"

namespace sorabeku {

namespace {

// Rows first..last of one sequence (or of the base diagram).
struct Span {
  std::size_t first = 0;
  std::size_t last = 0;
};

// Cuts the rows into the base diagram and the sequences after it: each
// runs to the next row with a branch number, or to the last row.
std::vector<Span> CutIntoSpans(const std::vector<ProblemRow>& rows) {
  std::vector<Span> spans;
  std::size_t first = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].bfr > 0 || i + 1 == rows.size()) {
      spans.push_back({first, i});
      first = i + 1;
    }
  }
  return spans;
}

class TreeBuilder {
 public:
  explicit TreeBuilder(const std::vector<ProblemRow>& rows) : rows_(rows), spans_(CutIntoSpans(rows)) {}

  // The continuations of branch `branch` as nodes with their descendants.
  std::vector<SgfNode> Continuations(int branch, int depth, int lastTes) {
    std::vector<SgfNode> out;
    if (branch <= 0) return out;
    int offered = 0;
    for (std::size_t s = 1; s < spans_.size(); ++s) {
      if (rows_[spans_[s].first].bto != branch || done_.count(s) > 0) continue;
      if (depth > kLineSlots || ++offered > kCandidateLimit) continue;
      done_.insert(s);
      if (std::optional<SgfNode> node = SpanTree(spans_[s], depth, lastTes)) {
        out.push_back(std::move(*node));
      }
    }
    return out;
  }

  int exported() const { return exported_; }

 private:
  // The nodes of one sequence, its continuations below its last node;
  // nothing when none of its rows is on the board.
  std::optional<SgfNode> SpanTree(const Span& span, int depth, int lastTes) {
    std::vector<SgfNode> chain;
    for (std::size_t i = span.first; i <= span.last; ++i) {
      if (!OnBoard(rows_[i])) continue;
      chain.push_back(RowToNode(rows_[i], chain.empty(), lastTes));
      ++exported_;
    }
    if (chain.empty()) return std::nullopt;
    chain.back().children = Continuations(rows_[span.last].bfr, depth + 1, lastTes);
    for (std::size_t i = chain.size() - 1; i > 0; --i) {
      chain[i - 1].children.push_back(std::move(chain[i]));
    }
    return std::move(chain.front());
  }

  const std::vector<ProblemRow>& rows_;
  std::vector<Span> spans_;
  std::set<std::size_t> done_;
  int exported_ = 0;
};

}  // namespace

ExportedTree ProblemToTree(const ProblemRecord& problem) {
  ExportedTree tree;
  SgfNode& root = tree.root;
  root.Add("GM", "1").Add("FF", "4").Add("CA", "UTF-8").Add("SZ", "19");
  root.Add(std::string(sgfprop::kNumber), std::to_string(problem.number));
  if (problem.grade) root.Add(std::string(sgfprop::kGrade), std::to_string(*problem.grade));
  if (!problem.description.empty()) root.Add(std::string(sgfprop::kDescription), problem.description);
  const std::vector<ProblemRow>& rows = problem.rows;
  if (rows.empty()) return tree;
  const std::vector<Span> spans = CutIntoSpans(rows);
  const std::vector<ProblemRow> base(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(spans[0].last + 1));
  int baseLeftOut = 0;
  PutBaseDiagram(base, root, baseLeftOut);
  TreeBuilder builder(rows);
  root.children = builder.Continuations(base.back().bfr, 2, 0);
  tree.leftOut = static_cast<int>(rows.size()) - static_cast<int>(base.size()) - builder.exported() +
                 baseLeftOut;
  return tree;
}

}  // namespace sorabeku
