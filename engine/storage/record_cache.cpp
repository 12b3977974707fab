#include "engine/storage/record_cache.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace kura {
namespace {
constexpr int kRecentLooks = 4;
}  // namespace

std::unique_ptr<TRecord> TRecord::New(std::uint32_t length) {
  static_assert(alignof(TRecord) <= alignof(std::max_align_t));
  void* block = ::operator new(sizeof(TRecord) + length);
  std::unique_ptr<TRecord> r(new (block) TRecord(length));
  std::memset(r->Data(), 0, length);
  return r;
}

std::unique_ptr<TRecord> TRecordStack::Take() {
  if (spare_.empty()) return TRecord::New(length_);
  std::unique_ptr<TRecord> r = std::move(spare_.back());
  spare_.pop_back();
  std::memset(r->Data(), 0, r->Length());
  r->dirty = false;
  r->useCount = 0;
  return r;
}

void TRecordStack::Give(std::unique_ptr<TRecord> r) {
  if (spare_.size() < capacity_) spare_.push_back(std::move(r));
}

RecordCache::RecordCache(std::uint32_t recordLength, std::size_t limit,
                         std::size_t growStep, std::size_t spares)
    : pool_(recordLength, spares), limit_(std::max<std::size_t>(limit, 1)),
      capacity_(limit_), growStep_(growStep) {}

RecordCache::~RecordCache() {
  for (TRecord* r : sorted_) delete r;
}

std::size_t RecordCache::LowerBound(std::int32_t n) const {
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), n,
                             [](const TRecord* r, std::int32_t k) { return r->number_ < k; });
  return static_cast<std::size_t>(it - sorted_.begin());
}

void RecordCache::LinkFront(TRecord* r) {
  r->older_ = newest_;
  r->newer_ = nullptr;
  if (newest_ != nullptr) newest_->newer_ = r;
  newest_ = r;
  if (oldest_ == nullptr) oldest_ = r;
}

void RecordCache::Unlink(TRecord* r) {
  if (r->newer_ != nullptr) r->newer_->older_ = r->older_; else newest_ = r->older_;
  if (r->older_ != nullptr) r->older_->newer_ = r->newer_; else oldest_ = r->newer_;
  r->newer_ = r->older_ = nullptr;
}

void RecordCache::Promote(TRecord* r) {
  if (newest_ == r) return;
  Unlink(r);
  LinkFront(r);
}

TRecord* RecordCache::Peek(std::int32_t n) const {
  const std::size_t i = LowerBound(n);
  return i < sorted_.size() && sorted_[i]->number_ == n ? sorted_[i] : nullptr;
}

TRecord* RecordCache::Find(std::int32_t n) {
  int looked = 0;
  for (TRecord* r = newest_; r != nullptr && looked < kRecentLooks;
       r = r->older_, ++looked) {
    if (r->number_ == n) {
      Promote(r);
      return r;
    }
  }
  TRecord* r = Peek(n);
  if (r != nullptr) Promote(r);
  return r;
}

TRecord* RecordCache::TryAdd(std::int32_t n) {
  std::unique_ptr<TRecord> fresh;
  if (sorted_.size() >= capacity_) {
    TRecord* victim = oldest_;
    while (victim != nullptr && (victim->dirty || victim->useCount > 0)) {
      victim = victim->newer_;
    }
    if (victim == nullptr) return nullptr;
    Unlink(victim);
    sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(LowerBound(victim->number_)));
    fresh.reset(victim);
    std::memset(fresh->Data(), 0, fresh->Length());
    fresh->dirty = false;
    fresh->useCount = 0;
  } else {
    fresh = pool_.Take();
  }
  TRecord* r = fresh.release();
  r->number_ = n;
  if (sorted_.empty() || sorted_.back()->number_ < n) {
    sorted_.push_back(r);  // an appended slot
  } else {
    sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(LowerBound(n)), r);
  }
  LinkFront(r);
  return r;
}

// Growing by half of the capacity at least keeps the number of failed
// victim searches logarithmic when nothing can be evicted for a long time
// (a transaction holds every record it appends dirty); each such search
// walks the whole recency chain.
void RecordCache::Grow() { capacity_ += std::max(growStep_, capacity_ / 2); }

void RecordCache::Destroy(TRecord* r) {
  Unlink(r);
  pool_.Give(std::unique_ptr<TRecord>(r));
}

void RecordCache::Remove(std::int32_t n) {
  const std::size_t i = LowerBound(n);
  if (i >= sorted_.size() || sorted_[i]->number_ != n) return;
  TRecord* r = sorted_[i];
  sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(i));
  Destroy(r);
}

void RecordCache::Clear() {
  for (TRecord* r : sorted_) Destroy(r);
  sorted_.clear();
  capacity_ = limit_;
}

void RecordCache::Trim() {
  // The victims are chosen oldest first, marked, and then taken out of the
  // sorted list in one sweep: after a transaction has written back 100 000
  // records, removing them one by one shifted the list each time.
  const std::size_t excess = sorted_.size() > limit_ ? sorted_.size() - limit_ : 0;
  std::size_t chosen = 0;
  for (TRecord* r = oldest_; r != nullptr && chosen < excess; r = r->newer_) {
    if (!r->dirty && r->useCount == 0) {
      r->leaving_ = true;
      ++chosen;
    }
  }
  if (chosen > 0) {
    std::size_t kept = 0;
    for (TRecord* r : sorted_) {
      if (r->leaving_) {
        r->leaving_ = false;
        Destroy(r);
      } else {
        sorted_[kept++] = r;
      }
    }
    sorted_.resize(kept);
  }
  capacity_ = std::max(limit_, sorted_.size());
}

}  // namespace kura
