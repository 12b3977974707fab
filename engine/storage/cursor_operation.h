// The frame of every public operation of TDataCursor (internal to the
// cursor's sources): with strict change detection the read lock is held
// from start to end; either way, changes by others are taken in before the
// operation goes on.
#pragma once

#include <optional>

#include "engine/errors/kura_error.h"
#include "engine/storage/data_cursor.h"
#include "engine/storage/table_filter_source.h"

namespace kura {

class TDataCursor::Operation {
 public:
  explicit Operation(TDataCursor& c) {
    if (c.table_ == nullptr) Raise(KURA_NOCURRREC);
    if (c.Strict()) lock_.emplace(*c.table_);
    c.SeeChanges();
  }

 private:
  std::optional<ReadLockScope> lock_;
};

}  // namespace kura
