// What the screens hold for one learner: the records and the review
// schedule replayed from them once at opening, then kept up to date with
// every record made. When recording fails the schedule in memory still
// follows the answers of this run, so 復習 goes on working until the
// program ends.
#pragma once

#include <string>
#include <vector>

#include "training/progress/progress_figures.h"
#include "training/progress/progress_records.h"
#include "training/progress/review_schedule.h"

namespace sorabeku::progress {

class LearnerProgress {
 public:
  // Opens the records in `directory` (see ProgressRecords) and replays them.
  explicit LearnerProgress(std::string directory = DefaultRecordsDirectory());

  ProgressRecords& Records() { return records_; }
  const ReviewSchedule& Schedule() const { return schedule_; }

  // Records one answer or finished problem and applies it to the schedule;
  // false when it could not be stored (see ProgressRecords::Error).
  bool Record(const AnswerRecord& record);
  // Reads the records again (those of other programs of the learner too).
  void Reload();

  const ReviewItem* NextDue(const std::string& library, int today,
                            const ItemFilter& keep = {}) const {
    return schedule_.NextDue(library, today, keep);
  }
  int DueCount(const std::string& library, int today, const ItemFilter& keep = {}) const {
    return schedule_.DueCount(library, today, keep);
  }
  ProgressFigures Figures(const std::string& library, int today, int missedCount = 10) const {
    return ComputeFigures(history_, schedule_, library, today, missedCount);
  }

 private:
  ProgressRecords records_;
  std::vector<AnswerRecord> history_;
  ReviewSchedule schedule_;
};

}  // namespace sorabeku::progress
