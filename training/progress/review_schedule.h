// The review schedule: every problem's memory state, replayed from the
// records, and the problems due for review.
//
// A problem is known by its library and its fingerprint, so a problem
// moved to another number keeps its history. Each finished problem is one
// review, rated by RatingOf; answers at branch points do not move the
// schedule. Older versions: when the latest record made under a library
// and number carries another fingerprint, the problem that was there
// before is an older version. Its records stay; it is marked Superseded
// and is never due again. A problem deleted from the library stays due
// until the caller's filter (the library knows what it holds) leaves it
// out.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "training/progress/answer_record.h"
#include "training/progress/fsrs_scheduler.h"

namespace sorabeku::progress {

struct ReviewItem {
  std::string library{};
  std::string fingerprint{};
  int mnb = 0;              // number of its latest record
  MemoryState state{};      // reviews == 0: answered but never finished
};

// Whether a problem still exists in its library (true for all by default).
using ItemFilter = std::function<bool(const ReviewItem&)>;

class ReviewSchedule {
 public:
  ReviewSchedule() = default;
  // Replays `records` in order.
  explicit ReviewSchedule(const std::vector<AnswerRecord>& records);

  // Takes one more record (in the order recorded).
  void Add(const AnswerRecord& record);

  // Problems of `library` due on `today` (a LocalDay) or before, in due
  // order: earliest due day first, then the longest unreviewed, then by
  // number. Superseded problems and those the filter rejects are left out.
  std::vector<const ReviewItem*> Due(const std::string& library, int today,
                                     const ItemFilter& keep = {}) const;
  // The first of Due, or nullptr when none is due.
  const ReviewItem* NextDue(const std::string& library, int today,
                            const ItemFilter& keep = {}) const;
  int DueCount(const std::string& library, int today, const ItemFilter& keep = {}) const;

  // The item of a library and fingerprint, or nullptr.
  const ReviewItem* Find(const std::string& library, const std::string& fingerprint) const;
  const std::map<std::string, ReviewItem>& Items() const { return items_; }

 // Whether another version of the problem was recorded at its number since.
  bool Superseded(const ReviewItem& item) const { return !Current(item); }

 private:
  bool Current(const ReviewItem& item) const;
  bool IsDue(const ReviewItem& item, const std::string& library, int today,
             const ItemFilter& keep) const;

  std::map<std::string, ReviewItem> items_;        // by library + "\n" + fingerprint
  std::map<std::string, std::string> latestFpr_;  // library + "\n" + MNB → fingerprint
};

}  // namespace sorabeku::progress
