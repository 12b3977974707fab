// One node of a sequence in a problem's game tree: a row of `figure` as a
// node (export) and the rows a node stands for (import). See
// sgf_problem_properties.h for the properties and their defaults.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "library/problem_record.h"
#include "library/sgf_tree.h"

namespace sorabeku {

// The node for `row`. `head` says whether the row starts a sequence (it
// then gets TE or BM by the sign of COL); `lastTes` is TES of the last
// stone before it on the line, and becomes the row's TES when it is a
// stone. The row's point must be on the board.
SgfNode RowToNode(const ProblemRow& row, bool head, int& lastTes);

// A row read from a node; TES is only known once the line is laid out,
// unless the node gives it.
struct PendingRow {
  ProblemRow row{};
  std::optional<int> tes{};
};

struct NodeRows {
  std::vector<PendingRow> rows;  // none for a node without move or label
  bool head = false;             // TE or BM: the node starts a sequence
};

// The rows node `node` (not a root) stands for: a stone for B or W, then a
// text mark for each label on another point; or, without a move, a text
// mark for each label. Throws SgfError for both B and W, a pass, setup
// stones outside the root, or a value that does not parse. `notes` gets a
// line for each comment that has no row to go to.
NodeRows NodeToRows(const SgfNode& node, std::vector<std::string>& notes);

// Completes TES along a line: a stone without a given TES gets one more
// than `lastTes`, a mark 0; every stone's TES becomes the new `lastTes`.
// Throws SgfError, naming `place`, for a stone without a given TES after
// one numbered 2147483647: no number follows it.
void LayOutMoveNumbers(std::vector<PendingRow>& rows, int& lastTes, const SgfPlace& place);

}  // namespace sorabeku
