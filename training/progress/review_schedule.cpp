#include "training/progress/review_schedule.h"

#include <algorithm>
#include <tuple>

namespace sorabeku::progress {

namespace {

std::string ItemKey(const std::string& library, const std::string& fingerprint) {
  return library + "\n" + fingerprint;
}

std::string PlaceKey(const std::string& library, int mnb) {
  return library + "\n" + std::to_string(mnb);
}

bool DueBefore(const ReviewItem* a, const ReviewItem* b) {
  return std::tie(a->state.dueDay, a->state.lastDay, a->mnb) <
         std::tie(b->state.dueDay, b->state.lastDay, b->mnb);
}

}  // namespace

ReviewSchedule::ReviewSchedule(const std::vector<AnswerRecord>& records) {
  for (const AnswerRecord& r : records) Add(r);
}

void ReviewSchedule::Add(const AnswerRecord& r) {
  ReviewItem& item = items_[ItemKey(r.library, r.fingerprint)];
  if (item.fingerprint.empty()) {
    item.library = r.library;
    item.fingerprint = r.fingerprint;
  }
  item.mnb = r.mnb;
  latestFpr_[PlaceKey(r.library, r.mnb)] = r.fingerprint;
  if (r.kind == RecordKind::kFinished) item.state = Review(item.state, RatingOf(r), LocalDay(r.when));
}

bool ReviewSchedule::Current(const ReviewItem& item) const {
  auto it = latestFpr_.find(PlaceKey(item.library, item.mnb));
  return it != latestFpr_.end() && it->second == item.fingerprint;
}

bool ReviewSchedule::IsDue(const ReviewItem& item, const std::string& library, int today,
                           const ItemFilter& keep) const {
  return item.library == library && item.state.reviews > 0 && item.state.dueDay <= today &&
         Current(item) && (!keep || keep(item));
}

std::vector<const ReviewItem*> ReviewSchedule::Due(const std::string& library, int today,
                                                   const ItemFilter& keep) const {
  std::vector<const ReviewItem*> due;
  for (const auto& [key, item] : items_) {
    if (IsDue(item, library, today, keep)) due.push_back(&item);
  }
  std::sort(due.begin(), due.end(), DueBefore);
  return due;
}

const ReviewItem* ReviewSchedule::NextDue(const std::string& library, int today,
                                          const ItemFilter& keep) const {
  const ReviewItem* best = nullptr;
  for (const auto& [key, item] : items_) {
    if (IsDue(item, library, today, keep) && (best == nullptr || DueBefore(&item, best))) {
      best = &item;
    }
  }
  return best;
}

int ReviewSchedule::DueCount(const std::string& library, int today,
                             const ItemFilter& keep) const {
  int n = 0;
  for (const auto& [key, item] : items_) n += IsDue(item, library, today, keep) ? 1 : 0;
  return n;
}

const ReviewItem* ReviewSchedule::Find(const std::string& library,
                                       const std::string& fingerprint) const {
  auto it = items_.find(ItemKey(library, fingerprint));
  return it == items_.end() ? nullptr : &it->second;
}

}  // namespace sorabeku::progress
