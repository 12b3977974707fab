#include "training/answer_reporter.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace sorabeku {

MillisClock SteadyMillis() {
  return [] {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch())
        .count();
  };
}

std::int32_t AnswerReporter::Since(std::int64_t start) const {
  const std::int64_t elapsed = std::max<std::int64_t>(0, clock_() - start);
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(elapsed, std::numeric_limits<std::int32_t>::max()));
}

void AnswerReporter::ProblemLoaded(int mnb) {
  mnb_ = mnb;
  loadedAt_ = clock_();
  shownAt_ = loadedAt_;
  branchRow_ = 0;
  anyMiss_ = false;
  missedBranches_.clear();
  line_.clear();
}

void AnswerReporter::BranchShown(int branchRow) {
  branchRow_ = branchRow;
  shownAt_ = clock_();
}

BranchAnswer AnswerReporter::Answered(int chosenRow, bool right, bool quiz) {
  BranchAnswer a;
  a.mnb = mnb_;
  a.branchRow = branchRow_;
  a.chosenRow = chosenRow;
  a.right = right;
  a.firstTry = missedBranches_.count(branchRow_) == 0;
  a.millis = Since(shownAt_);
  a.quiz = quiz;
  if (!right) {
    missedBranches_.insert(branchRow_);
    anyMiss_ = true;
  }
  if (chosenRow != 0) {
    const auto same = std::find_if(line_.begin(), line_.end(),
                                   [&](const auto& e) { return e.first == branchRow_; });
    line_.erase(same, line_.end());
    line_.emplace_back(branchRow_, right);
  }
  if (listener_) listener_->OnBranchAnswer(a);
  return a;
}

void AnswerReporter::LineEnded(bool quiz) {
  ProblemFinished f;
  f.mnb = mnb_;
  f.solved = std::all_of(line_.begin(), line_.end(),
                         [](const auto& e) { return e.second; });
  f.firstTry = !anyMiss_;
  f.millis = Since(loadedAt_);
  f.quiz = quiz;
  if (listener_) listener_->OnProblemFinished(f);
}

}  // namespace sorabeku
