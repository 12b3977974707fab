// The training screen's answers turned into the learner's records: an
// AnswerListener that writes one AnswerRecord per answer at a branch point
// and per problem finished, for the library it was made for.
//
// The problem's fingerprint is asked for at every event, so a problem
// edited between two answers is recorded under its new rows. A failure to
// record is shown once through `showError`; the answers after it still
// move the schedule of this run (LearnerProgress keeps them in memory).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "training/answer_events.h"
#include "training/progress/learner_progress.h"

namespace sorabeku::progress {

struct RecorderWiring {
  std::string library;                                  // the library's directory
  std::function<std::string(int mnb)> fingerprintOf;   // "" when the problem is gone
  std::function<std::int64_t()> now;                    // seconds since 1970 UTC
  std::function<void(const std::string&)> showError;   // one message box
};

class AnswerRecorder final : public AnswerListener {
 public:
  // `progress` is opened on first use (see OpenProgress) and must outlive
  // the recorder.
  AnswerRecorder(std::function<LearnerProgress&()> progress, RecorderWiring wiring)
      : progress_(std::move(progress)), wiring_(std::move(wiring)) {}

  void OnBranchAnswer(const BranchAnswer& answer) override;
  void OnProblemFinished(const ProblemFinished& finished) override;

  // How many events were recorded, and how many of them could be stored.
  int Taken() const { return taken_; }
  int Stored() const { return stored_; }

 private:
  void Take(int mnb, AnswerRecord record);

  std::function<LearnerProgress&()> progress_;
  RecorderWiring wiring_;
  int taken_ = 0;
  int stored_ = 0;
};

}  // namespace sorabeku::progress
