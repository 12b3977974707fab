// The statements the data module sends, line by line, exactly as the
// queries receive them. Each query closes, empties its statement, adds
// these lines in order, sets parameter 0 as an integer where the text names
// one, and opens.
#pragma once

#include <string>
#include <vector>

namespace sorabeku {

struct StatementLines {
  std::vector<std::string> lines;
  bool hasParameter = false;  // parameter 0 (":SIZE" or ":MNB") is named
};

// KuraQuery1: the contents of `section` (1..3), all grades for mode 0,
// only grade `mode` (1..25, parameter SIZE) otherwise. A section outside
// 1..3 gets no condition line (and then no parameter).
StatementLines ContentsStatement(int section, int mode);

// KuraQuery2: the rows of one problem in row order (parameter MNB).
StatementLines ProblemRowsStatement();

// KuraQuery4: the end rows of one problem in BFR order (parameter MNB).
StatementLines BranchPointsStatement();

}  // namespace sorabeku
