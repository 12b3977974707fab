#include "training/progress/learner_progress.h"

namespace sorabeku::progress {

LearnerProgress::LearnerProgress(std::string directory) : records_(std::move(directory)) {
  Reload();
}

bool LearnerProgress::Record(const AnswerRecord& record) {
  const bool stored = records_.Record(record);
  history_.push_back(record);
  schedule_.Add(record);
  return stored;
}

void LearnerProgress::Reload() {
  if (!records_.Recording()) return;  // keep what this run has seen
  std::vector<AnswerRecord> all = records_.ReadAll();
  if (!records_.Recording()) return;  // reading failed
  history_ = std::move(all);
  schedule_ = ReviewSchedule(history_);
}

}  // namespace sorabeku::progress
