#include "training/progress/progress_figures.h"

#include <algorithm>
#include <map>
#include <set>

#include "library/problem_record.h"

namespace sorabeku::progress {

namespace {

void CountSections(const std::vector<AnswerRecord>& records, const ReviewSchedule& schedule,
                   const std::string& library, int today, ProgressFigures& f) {
  std::set<std::string> seen;  // fingerprints whose first finish was counted
  for (const AnswerRecord& r : records) {
    if (r.library != library || r.kind != RecordKind::kFinished) continue;
    if (!seen.insert(r.fingerprint).second) continue;
    const ReviewItem* item = schedule.Find(library, r.fingerprint);
    if (item == nullptr || schedule.Superseded(*item)) continue;
    SectionFigures& s = f.sections[SectionOf(item->mnb)];
    ++s.tried;
    if (r.right && r.firstTry) ++s.solvedFirstTry;
  }
  for (const ReviewItem* item : schedule.Due(library, today)) ++f.sections[SectionOf(item->mnb)].due;
}

void CountAccuracy(const std::vector<AnswerRecord>& records, const std::string& library,
                   ProgressFigures& f) {
  std::map<int, DayAccuracy> days;
  for (const AnswerRecord& r : records) {
    if (r.library != library || r.kind != RecordKind::kAnswer) continue;
    DayAccuracy& d = days[LocalDay(r.when)];
    ++d.answers;
    d.right += r.right ? 1 : 0;
  }
  for (auto& [day, d] : days) {
    d.day = day;
    f.accuracy.push_back(d);
  }
}

void CountMisses(const std::vector<AnswerRecord>& records, const ReviewSchedule& schedule,
                 const std::string& library, int missedCount, ProgressFigures& f) {
  std::map<std::string, int> misses;  // by fingerprint
  for (const AnswerRecord& r : records) {
    if (r.library == library && r.kind == RecordKind::kAnswer && !r.right) ++misses[r.fingerprint];
  }
  for (const auto& [fingerprint, n] : misses) {
    const ReviewItem* item = schedule.Find(library, fingerprint);
    f.mostMissed.push_back({item->mnb, fingerprint, n, schedule.Superseded(*item)});
  }
  std::sort(f.mostMissed.begin(), f.mostMissed.end(),
            [](const MissedProblem& a, const MissedProblem& b) {
              return a.misses != b.misses ? a.misses > b.misses : a.mnb < b.mnb;
            });
  if (f.mostMissed.size() > static_cast<std::size_t>(std::max(missedCount, 0))) {
    f.mostMissed.resize(static_cast<std::size_t>(std::max(missedCount, 0)));
  }
}

}  // namespace

ProgressFigures ComputeFigures(const std::vector<AnswerRecord>& records,
                               const ReviewSchedule& schedule, const std::string& library,
                               int today, int missedCount) {
  ProgressFigures f;
  CountSections(records, schedule, library, today, f);
  CountAccuracy(records, library, f);
  CountMisses(records, schedule, library, missedCount, f);
  return f;
}

}  // namespace sorabeku::progress
