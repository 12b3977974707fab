#include "library/library_statements.h"

namespace sorabeku {

StatementLines ContentsStatement(int section, int mode) {
  static const char* const kAllGrades[] = {
      "Where (MNB > 0 and MNB < 1000)",
      "Where (MNB > 1000 and MNB < 2000)",
      "Where (MNB > 2000 and MNB < 3000)"};
  static const char* const kOneGrade[] = {
      "Where (MNB > 0 and MNB < 1000 and SIZE = :SIZE)",
      "Where (MNB > 1000 and MNB < 2000 and SIZE = :SIZE)",
      "Where (MNB > 2000 and MNB < 3000 and SIZE = :SIZE)"};
  StatementLines s;
  s.lines.push_back("Select * from mokuji");
  if (section >= 1 && section <= 3) {
    if (mode == 0) {
      s.lines.push_back(kAllGrades[section - 1]);
    } else if (mode > 0) {
      s.lines.push_back(kOneGrade[section - 1]);
      s.hasParameter = true;
    }
  }
  s.lines.push_back("Order By MNB");
  return s;
}

StatementLines ProblemRowsStatement() {
  return {{"select * from figure", "Where MNB = :MNB"}, true};
}

StatementLines BranchPointsStatement() {
  return {{"Select *", "From figure",
           "Where (MNB = :MNB) and (BFR > 0) order by BFR"},
          true};
}

}  // namespace sorabeku
