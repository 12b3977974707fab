// From SGF to problems: every game tree of a file becomes one problem,
// built and checked in memory before anything is written (ProblemStore
// writes them). The rows come in the order that keeps the library's
// invariants: the base diagram, then each sequence directly followed by
// its continuations, depth first, so that a sole continuation always comes
// right after its parent; branch numbers 1, 2, 3, … are handed out in that
// order, as NextFreeBranchNumber would hand them to a new problem.
// The mapping is in sgf_problem_properties.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/problem_record.h"
#include "library/sgf_parser.h"

namespace sorabeku {

struct ImportOptions {
  // Number of the first problem (the following ones count on from it) in
  // place of SBN; grade of every problem in place of SBG.
  std::optional<int> number{};
  std::optional<int> grade{};
};

struct ImportResult {
  std::vector<ProblemRecord> problems;
  // Things done that the user should know: characters replaced, texts cut,
  // comments that had no row to go to. Each names its place.
  std::vector<std::string> notes;
};

// The problems of an SGF text. Throws SgfError, naming the place, for text
// that is not SGF and for a tree that cannot be a problem: GM other than 1,
// SZ other than 19, a character set other than UTF-8, no base diagram
// under moves, a move in the root, a pass, more than 20 continuations at
// one point, a line of more than 10 sequences (base diagram included), no
// problem number, a number outside the sections or used twice in the
// file, a grade outside 0..25, a stone without SBT after move number
// 2147483647.
ImportResult ImportSgf(std::string_view text, const ImportOptions& options = {});

// One game tree as problem number `number` (the tree's SBN is not read).
ProblemRecord ProblemFromTree(const SgfNode& root, int number, std::optional<int> grade,
                              std::vector<std::string>& notes);

}  // namespace sorabeku
