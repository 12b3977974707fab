// The figures of the records window for one library: per section the
// problems tried, solved at the first try and due; the accuracy of the
// answers per day; the problems missed most often.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "training/progress/answer_record.h"
#include "training/progress/review_schedule.h"

namespace sorabeku::progress {

struct SectionFigures {
  int tried = 0;           // problems with a finished record
  int solvedFirstTry = 0;  // ... whose first finish was right at the first try
  int due = 0;             // ... due today
};

struct DayAccuracy {
  int day = 0;  // LocalDay
  int answers = 0;
  int right = 0;
};

struct MissedProblem {
  int mnb = 0;
  std::string fingerprint{};
  int misses = 0;           // wrong answers at branch points
  bool olderVersion = false;
};

struct ProgressFigures {
  std::array<SectionFigures, 4> sections{};  // index SectionOf(MNB); 0 for none
  std::vector<DayAccuracy> accuracy{};       // days with answers, in day order
  std::vector<MissedProblem> mostMissed{};   // most misses first, then by number
};

// The figures of `library` on `today` from every record (in the order
// recorded) and the schedule replayed from them; at most `missedCount`
// problems in mostMissed (those with at least one miss).
ProgressFigures ComputeFigures(const std::vector<AnswerRecord>& records,
                               const ReviewSchedule& schedule, const std::string& library,
                               int today, int missedCount = 10);

}  // namespace sorabeku::progress
