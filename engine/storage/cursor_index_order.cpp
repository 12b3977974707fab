// TDataCursor in an index order: the active tree, the key range as ranks,
// and the seeks and steps along the cached leaf chain.
#include <algorithm>

#include "engine/errors/kura_error.h"
#include "engine/storage/cursor_operation.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/storage_cursor.h"

namespace kura {

TIndexTree& TDataCursor::ActiveTree() { return table_->Index().Trees().Tree(order_); }

std::vector<std::uint8_t> TDataCursor::KeyOfImage(const std::uint8_t* image) const {
  return table_->Index().Trees().KeyOf(order_, image, RecordRowId(image));
}

std::uint64_t TDataCursor::RangeBegin() {
  if (InRecordOrder() || !rangeActive_) return 0;
  return ActiveTree().Rank(rangeLow_.data(), false);
}

std::uint64_t TDataCursor::RangeEnd() {
  if (InRecordOrder()) return 0;
  TIndexTree& tree = ActiveTree();
  if (!rangeActive_) return tree.Count();
  return std::max(tree.Rank(rangeHigh_.data(), true), RangeBegin());
}

bool TDataCursor::InRange(const std::uint8_t* key) {
  if (!rangeActive_ || InRecordOrder()) return true;
  const KeyComparator& cmp = ActiveTree().Comparator();
  return cmp(key, rangeLow_.data()) >= 0 && cmp(key, rangeHigh_.data()) <= 0;
}

void TDataCursor::ExpectMovedPast(const std::vector<std::uint8_t>& from, int direction) {
  // Keys of an index are unique (equal values carry the row id), so a step
  // that does not pass the key it started from meets keys out of order: a
  // damaged tree, which would otherwise be walked round for ever.
  const int order = ActiveTree().Comparator()(key_.data(), from.data());
  if (order * direction <= 0) Raise(KURA_INDEXCORRUPT, {.table = TableName()});
}

void TDataCursor::ExpectNoEntryFor(std::int32_t recNo, const std::vector<std::uint8_t>& key) {
  // Deleting a record takes its entries out of every index under the same
  // write lock, so under a read lock (the caches then match the files) an
  // entry that leads to a record that is not active is a damaged index. A
  // cursor put back beside it would step onto it again at the next move,
  // for ever. The usual case, no such entry, needs no lock.
  auto holdsEntry = [&] {
    TIndexTree& tree = ActiveTree();
    const std::uint64_t at = tree.Rank(key.data(), false);
    IndexEntry e;
    return tree.Rank(key.data(), true) > at && tree.EntryAt(at, &e) && e.record == recNo;
  };
  if (!holdsEntry()) return;
  ReadLockScope lock(*table_);
  if (RecordStatus(Fetch(recNo)->Data()) != kRecordActive && holdsEntry()) {
    Raise(KURA_INDEXCORRUPT, {.table = TableName()});
  }
}

// Entries after the first are taken along the cached leaf chain where it
// can be followed, else by a descent to their rank.
bool TDataCursor::SeekEntry(std::uint64_t r, bool forward) {
  const std::uint64_t begin = RangeBegin(), end = RangeEnd();
  if (forward) r = std::max(r, begin);
  else if (end > 0) r = std::min(r, end - 1);
  if (r < begin || r >= end) return false;
  TIndexTree& tree = ActiveTree();
  const bool all = !KeepsVisibleSet();
  auto last = [&] { return forward ? r + 1 >= end : r == begin; };
  IndexEntry e;
  LeafPlace place;
  for (;;) {
    if (!tree.EntryAt(r, &e, &place)) return false;
    if (all || visible_.Test(static_cast<std::uint32_t>(e.record))) {
      StandOn(e.record, std::move(e.key));
      MarkPlace(place);
      return true;
    }
    const std::uint8_t* key = nullptr;
    std::int32_t record = 0;
    bool ended = false;
    const bool met = tree.WalkInCache(place, forward ? 1 : -1,
                                      [&](const std::uint8_t* k, std::int32_t rec) {
      if (last()) return ended = true;
      r = forward ? r + 1 : r - 1;
      key = k;
      record = rec;
      return all || visible_.Test(static_cast<std::uint32_t>(rec));
    });
    if (ended) return false;
    if (met) {
      StandOn(record, key, tree.Shape().keyLength);
      MarkPlace(place);
      return true;
    }
    // The chain could not be followed beyond rank r.
    if (last()) return false;
    r = forward ? r + 1 : r - 1;
  }
}

void TDataCursor::MarkPlace(const LeafPlace& place) {
  mark_ = {place, order_, recNo_, table_->Index().Header().changeCounter,
           table_->DroppedChanges()};
}

bool TDataCursor::StepAlongChain(int direction) {
  walked_.assign(key_.begin(), key_.end());
  if (mark_.place.page == 0 || state_ != State::kOn || mark_.order != order_ ||
      mark_.recNo != recNo_ || mark_.indexCounter != table_->Index().Header().changeCounter ||
      mark_.droppedChanges != table_->DroppedChanges()) {
    return false;
  }
  TIndexTree& tree = ActiveTree();
  const std::size_t length = tree.Shape().keyLength;
  if (key_.size() != length) return false;
  const KeyComparator& cmp = tree.Comparator();
  const bool all = !KeepsVisibleSet();
  const std::uint8_t* key = nullptr;
  std::int32_t record = 0;
  bool outside = false;
  LeafPlace place = mark_.place;
  const bool met = tree.WalkInCache(place, direction,
                                    [&](const std::uint8_t* k, std::int32_t rec) {
    key = k;
    record = rec;
    if (rangeActive_ && (direction > 0 ? cmp(k, rangeHigh_.data()) > 0
                                       : cmp(k, rangeLow_.data()) < 0)) {
      return outside = true;
    }
    return all || visible_.Test(static_cast<std::uint32_t>(rec));
  }, key_.data());
  if (met && !outside) {
    StandOn(record, key, length);
    MarkPlace(place);
    return true;
  }
  if (key != nullptr) walked_.assign(key, key + length);
  return false;
}

}  // namespace kura
