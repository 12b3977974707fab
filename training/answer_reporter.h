// The bookkeeping behind the answer events: when the problem was loaded and
// the branch point shown, which branch points were missed, and the choices
// on the line now on the board. The training screen tells it what happens;
// it sends the events to the listener, when there is one.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "training/answer_events.h"

namespace sorabeku {

// Milliseconds of a steady clock.
using MillisClock = std::function<std::int64_t()>;
MillisClock SteadyMillis();

class AnswerReporter {
 public:
  AnswerReporter() : clock_(SteadyMillis()) {}

  void SetListener(AnswerListener* listener) { listener_ = listener; }
  void SetClock(MillisClock clock) { clock_ = std::move(clock); }

  // A problem was loaded: everything starts afresh.
  void ProblemLoaded(int mnb);
  // The continuations of row `branchRow` were offered.
  void BranchShown(int branchRow);
  // The learner chose row `chosenRow` (0: a point that is no continuation)
  // at the branch point shown last. Returns the event sent.
  BranchAnswer Answered(int chosenRow, bool right, bool quiz);
  // The end of a registered line was reached.
  void LineEnded(bool quiz);

  int branchRow() const { return branchRow_; }

 private:
  std::int32_t Since(std::int64_t start) const;

  AnswerListener* listener_ = nullptr;
  MillisClock clock_;
  int mnb_ = 0;
  std::int64_t loadedAt_ = 0;
  std::int64_t shownAt_ = 0;
  int branchRow_ = 0;
  bool anyMiss_ = false;
  std::set<int> missedBranches_;
  // The branch points answered on the line on the board, root first, with
  // whether each answer was right. Answering a branch point again drops it
  // and everything after it.
  std::vector<std::pair<int, bool>> line_;
};

}  // namespace sorabeku
