// What the training screen reports about the learner's answers: one event
// per answer at a branch point and one each time the end of a registered
// line is reached (a problem finished; reaching another end after taking
// back reports again). The screen holds at most one listener; without one
// nothing is reported. Rows are named by their TNB in the problem.
#pragma once

#include <cstdint>

namespace sorabeku {

struct BranchAnswer {
  int mnb = 0;              // the problem's number
  int branchRow = 0;        // TNB of the row whose continuations were offered
  int chosenRow = 0;        // TNB of the continuation chosen; 0 for a click
                            // with hidden candidates on a point that is none
  bool right = false;       // the chosen line is a good one (green)
  bool firstTry = false;    // no wrong answer at this branch point before it
  std::int32_t millis = 0;  // since the branch point was shown
  bool quiz = false;        // answered in quiz mode
};

struct ProblemFinished {
  int mnb = 0;
  bool solved = false;      // every answer on the line reached was right
  bool firstTry = false;    // no wrong answer anywhere since the problem was loaded
  std::int32_t millis = 0;  // since the problem was loaded
  bool quiz = false;
};

class AnswerListener {
 public:
  virtual ~AnswerListener() = default;
  virtual void OnBranchAnswer(const BranchAnswer& answer) = 0;
  virtual void OnProblemFinished(const ProblemFinished& finished) = 0;
};

}  // namespace sorabeku
