#include "training/progress/answer_recorder.h"

namespace sorabeku::progress {

void AnswerRecorder::OnBranchAnswer(const BranchAnswer& answer) {
  AnswerRecord r;
  r.kind = RecordKind::kAnswer;
  r.right = answer.right;
  r.firstTry = answer.firstTry;
  r.millis = answer.millis;
  r.quiz = answer.quiz;
  Take(answer.mnb, std::move(r));
}

void AnswerRecorder::OnProblemFinished(const ProblemFinished& finished) {
  AnswerRecord r;
  r.kind = RecordKind::kFinished;
  r.right = finished.solved;
  r.firstTry = finished.firstTry;
  r.millis = finished.millis;
  r.quiz = finished.quiz;
  Take(finished.mnb, std::move(r));
}

void AnswerRecorder::Take(int mnb, AnswerRecord record) {
  record.library = wiring_.library;
  record.mnb = mnb;
  record.fingerprint = wiring_.fingerprintOf ? wiring_.fingerprintOf(mnb) : std::string{};
  // A problem whose rows cannot be read any more has nothing to be known
  // by: its answer is not recorded.
  if (record.fingerprint.empty()) return;
  record.when = wiring_.now();
  ++taken_;
  LearnerProgress& progress = progress_();
  if (progress.Record(record)) {
    ++stored_;
    return;
  }
  if (auto message = progress.Records().TakeErrorToShow(); message && wiring_.showError) {
    wiring_.showError(*message);
  }
}

}  // namespace sorabeku::progress
