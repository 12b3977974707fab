// The base diagram of a problem in the root node of its game tree: setup
// stones, labels, the comment and, when those cannot say the rows exactly,
// the rows themselves in SBB (see sgf_problem_properties.h).
#pragma once

#include <string>
#include <vector>

#include "library/problem_record.h"
#include "library/sgf_tree.h"

namespace sorabeku {

// Adds AB, AW, LB, C and, where needed, SBB for `rows` (the base
// diagram's rows; their BFR and BTO are not written) to `root`. Rows off
// the board cannot be written and are counted in `leftOut`.
void PutBaseDiagram(const std::vector<ProblemRow>& rows, SgfNode& root, int& leftOut);

// The base diagram's rows as `root` gives them, BFR and BTO 0: the values
// of SBB when present; otherwise a black stone for each point of AB, a
// white one for each point of AW, a text mark (COL 3, DIX 21) for each LB,
// in that order, and the comment C on the last stone. Throws SgfError for
// a value that does not parse; `notes` gets a line for a comment that has
// no stone to go to.
std::vector<ProblemRow> TakeBaseDiagram(const SgfNode& root, std::vector<std::string>& notes);

}  // namespace sorabeku
