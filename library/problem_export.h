// From problems to SGF: one game tree per problem, the base diagram in the
// root and every registered sequence as a chain of nodes, continuations as
// variations in row order (the mapping is in sgf_problem_properties.h).
// The tree follows the rows as the training screen reads them: a sequence
// runs to its end row, and the continuations of an end row are the
// sequences whose head row continues its branch number, at most 20, along
// lines of at most 10 sequences. Rows that no line reaches this way (the
// continuations of a deleted sequence, rows off the board) cannot be
// shown by the program and are left out and counted.
#pragma once

#include "library/problem_record.h"
#include "library/sgf_tree.h"

namespace sorabeku {

struct ExportedTree {
  SgfNode root;
  int leftOut = 0;  // rows of the problem that are not in the tree
};

ExportedTree ProblemToTree(const ProblemRecord& problem);

}  // namespace sorabeku
