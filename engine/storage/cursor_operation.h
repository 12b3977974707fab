// The frame of every public operation of TDataCursor (internal to the
// cursor's sources): with strict change detection the read lock is held
// from start to end; either way, changes by others are taken in before the
// operation goes on.
#pragma once

#include <optional>

#include "engine/errors/kura_error.h"
#include "engine/storage/shared_page_read.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/table_filter_source.h"

namespace kura {

class TDataCursor::Operation {
 public:
  explicit Operation(TDataCursor& c) {
    if (c.table_ == nullptr) Raise(KURA_NOCURRREC);
    if (c.Strict()) lock_.emplace(*c.table_);
    c.Restartable([&] { c.SeeChanges(); });
  }

 private:
  std::optional<ReadLockScope> lock_;
};

// A step of the cursor reads the index pages and records it misses from
// the files. When such a read finds that others changed the table, what
// the step holds or worked out (pages, the visible set, ranks) belongs to
// an older state than the file: the step is given up, and run again under
// the read lock, which takes the changes in (dropping every cache) and
// keeps others from changing the table until the step is done. The step
// starts from the cursor's current key again: the cursor sees the change
// (its counters moved) and places itself anew.
template <typename Fn>
auto TDataCursor::Restartable(Fn&& step) -> decltype(step()) {
  if (table_ == nullptr) return step();
  {
    TDataTable::RestartableReads reads(*table_);
    try {
      return step();
    } catch (const TableChangedOnRead&) {
      // The step has let go of its pages: the caches can be dropped now.
    }
  }
  ReadLockScope lock(*table_);
  return step();
}

}  // namespace kura
