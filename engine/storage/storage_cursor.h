// TDataCursor: one user's view of one open table. It has an active order
// (an index, or record order), a position in that order, the current
// record's image, an optional key range and optional filters; the dataset
// and query layers read and change rows only through it.
//
// Position. A cursor stands on a record, just before the first visible
// record (*at beginning*), just after the last (*at end*), or nowhere (both
// flags: no record is visible). Reading the current record answers 8705,
// 8706 or 8709 in those cases.
//
// Visibility. A record is visible when it is active, lies inside the range
// (index orders only) and is in the bitmap of every active filter. In record
// order, and whenever filters are active, the cursor keeps the visible
// records as a bitmap; moving is then a search for the next set bit (record
// order) or a walk over index entries skipping records not in the bitmap.
//
// Changes by others. Every operation first compares the change counters the
// shared table object holds with those the cursor saw last (with strict
// change detection on, it takes the table's read lock, which re-reads the
// file headers, and holds it to the end of the operation). When they differ
// the cursor rebuilds its visible set and stands again on its current
// record, or where that record was.
//
// Not thread-safe: a cursor belongs to the thread that uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/errors/error_codes.h"
#include "engine/expr/evaluator.h"
#include "engine/expr/exp_token.h"
#include "engine/expr/sql_value.h"
#include "engine/storage/filter.h"
#include "engine/storage/index_tree.h"
#include "engine/storage/records_bitmap.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/storage_table.h"

namespace kura {

class RecordRow;
class TableFilterSource;

// When a record is locked for a change: when editing starts (the read with
// a lock) or only when the change is stored.
enum class TLockProtocol { lpPessimistic, lpOptimistic };

// The order number of record order.
inline constexpr int kRecordOrder = 255;

struct CursorOpenOptions {
  bool exclusive = false;
  bool readOnly = false;
  bool inMemory = false;
  bool temporary = false;    // the table is deleted when its last user closes
  bool recordOrder = false;  // start in record order instead of the primary index
};

class TDataCursor {
 public:
  // A closed cursor on tables of `directory`, a directory of `session`;
  // both must outlive it. The session's settings decide the change
  // detection and the lock retries.
  TDataCursor(TDataSession& session, TDataDirectory& directory);
  // Closes the cursor (failures while closing are swallowed; call Close()
  // to see them).
  ~TDataCursor();
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  // ---- open and close ----
  // Opens table `name` through the directory (its errors keep their codes:
  // 11010 a missing table, 11013 access denied, ...) and stands before the
  // first record of the primary index (or of record order).
  void Open(const std::string& name, const CursorOpenOptions& options = {});
  // Creates the table's files from the definitions, then opens it as Open.
  void Create(const std::string& name, const CursorOpenOptions& options,
              const DataFileDefinition& def, const TIndexFileHeader& index);
  // Gives up any record lock, drops the filters and leaves the table (the
  // last user closes its files). Nothing when closed.
  void Close();
  bool IsOpen() const { return table_ != nullptr; }

  void SetLockProtocol(TLockProtocol p) { lockProtocol_ = p; }
  TLockProtocol LockProtocol() const { return lockProtocol_; }

  // ---- the table (open cursors only) ----
  TDataTable& Table() { return *table_; }
  const std::string& TableName() const;
  const std::vector<TFieldDescriptor>& Fields() const;
  // The number of the field named `name` (without regard to case); 0 if none.
  int FindField(std::string_view name) const;
  std::uint32_t RecordLength() const;

  // ---- order ----
  // Makes index `number` (0 primary, 1 ... secondary count) or kRecordOrder
  // the active order: drops the range, rebuilds the visible set and stays
  // on the current record (or where it was). 9985 for an index that does
  // not exist.
  void SetOrder(int number);
  // The same by index name ("" is the primary index, names compared without
  // regard to case); 10022 when no index has that name.
  void SetOrderByName(std::string_view name);
  int Order() const { return order_; }
  // True in record order: order 255, or the primary index without fields.
  bool InRecordOrder() const;

  // ---- range (index orders) ----
  // Only keys k of the active index with low <= k <= high (in the index's
  // order) are visible. Both are whole keys of the index (shorter ones are
  // filled with 0x00 / 0xFF). Stands before the first record of the range.
  // In record order the range is kept but has no effect.
  void SetRange(std::span<const std::uint8_t> low, std::span<const std::uint8_t> high);
  void CancelRange();
  bool RangeActive() const { return rangeActive_; }

  // ---- filters ----
  // Installs and activates a filter on `condition` (borrowed: it must
  // outlive the filter; its parameters must be bound), computes it and
  // stands before the first visible record. Returned reference stays valid
  // until the filter is removed or the cursor closed.
  TFilter& AddFilter(const sql::TExpToken& condition, FilterOptions options = {});
  // Removes every filter and installs `condition` as AddFilter does, the
  // visible set computed once (a statement opened again with new
  // parameter values).
  TFilter& SetFilter(const sql::TExpToken& condition, FilterOptions options = {});
  // A filter that tests every record with `callback`.
  TFilter& AddFilter(TFilter::Callback callback);
  // Removes `filter`; 10050 when it is not a filter of this cursor.
  void RemoveFilter(TFilter& filter);
  void ClearFilters();
  // Rebuilds the visible set and every filter's bitmap and stands again on
  // the current record (or the next visible one, ...). Use after
  // activating or deactivating a filter, or to see others' changes now.
  void Refresh();
  // What the filters of this cursor read the table through.
  FilterTable& FilterSource();

  // ---- moving ----
  // Before the first / after the last visible record; both flags when no
  // record is visible.
  void First();
  void Last();
  // To the next / previous visible record; false (and at end / at
  // beginning) when there is none.
  bool Next();
  bool Prior();
  // To the n-th visible record (from 1) of the order; false (and position
  // unchanged) when there is none.
  bool MoveTo(std::uint32_t ordinal);
  // From the beginning, to the first visible record whose stored values
  // pass `test`, and reads it as ReadCurrent does; false, and the cursor
  // where it stood, when none does. The records are tested where they are
  // cached, not copied.
  bool FindFirst(const std::function<bool(const sql::RowAccessor&)>& test);
  bool AtBeginning() const { return state_ == State::kBefore || state_ == State::kNowhere; }
  bool AtEnd() const { return state_ == State::kAfter || state_ == State::kNowhere; }

  // ---- reading ----
  // Reads the current record into the cursor's image and, when `buffer` is
  // given, copies it there (record length bytes). Returns 0, or 8705 at
  // beginning, 8706 at end, 8709 when there is no current record.
  // With `lock` an edit begins: the pessimistic protocol locks the record
  // first (10258 when it cannot be locked); both protocols then compare the
  // stored record with the image read before and fail with 8708 (record
  // unlocked again) when someone else changed or deleted it. The image read
  // now is what a later ModifyRecord compares the stored record with.
  ErrorCode ReadCurrent(std::uint8_t* buffer = nullptr, bool lock = false);
  // The current record's image as last read (record length bytes).
  const std::uint8_t* Image() const { return image_.data(); }
  // The current record for reading its fields: what ReadCurrent() reads,
  // without the copy when nothing can have changed since the image was
  // read (no change counted in the table's headers, and the record cache
  // holds the same bytes). nullptr, with ReadCurrent's code in `rc`, when
  // the cursor is not on a record.
  const std::uint8_t* CurrentImage(ErrorCode& rc);
  // The number of visible records: the visible set's count with filters or
  // in record order, the entries of the range, else the active records.
  std::uint32_t RecordCount();
  // 1-based position of the current record among the visible records of
  // the order; 0 when not on a record.
  std::uint32_t CurrentOrdinal();
  // The current record's number in the data file; 0 when not on a record.
  std::int32_t CurrentRecordNumber() const { return state_ == State::kOn ? recNo_ : 0; }

  // ---- record images and fields ----
  // A new image with every field at its default value (null where none;
  // CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP take the clock now).
  std::vector<std::uint8_t> NewRecord() const;
  void InitRecord(std::uint8_t* image) const;
  // Field `fieldNo` (from 1) of an image; a null field is a null value of
  // the field's type. A BLOB field reads its value from the BLOB file (or
  // the value set on this cursor and not yet stored).
  sql::Value GetField(const std::uint8_t* image, int fieldNo);
  // Stores `value` (converted to the field's type; null clears it) into the
  // image. A BLOB value is kept by the cursor and written with the next
  // add or modify.
  void SetField(std::uint8_t* image, int fieldNo, const sql::Value& value);
  // The values of an image for expression evaluation (table position 1).
  // Valid until the next call.
  const sql::RowAccessor& Row(const std::uint8_t* image);

  // ---- changing ----
  // Adds `image` as a new record (9729 on a duplicate key of a unique
  // index, nothing changed), writes its BLOB values, re-tests it against
  // the filters and, when `position`, stands on it (or the next visible
  // record, ...). Returns its record number.
  std::int32_t AddRecord(const std::uint8_t* image, bool position = true);
  // Stores `image` over the current record: 8708 when the stored record no
  // longer equals the caller's copy (`original` when given, else the image
  // read when the edit began, else the cursor's image), 9729 on a duplicate
  // key, 10258 when the lock cannot be had. The record lock is released
  // afterwards; after a refused change a lock taken when the edit began is
  // kept until CancelEdit.
  void ModifyRecord(const std::uint8_t* image, bool position = true,
                    const std::uint8_t* original = nullptr);
  // Deletes the current record: 10258 when another cursor of the session
  // has it locked, 8708 when it no longer equals the caller's copy
  // (`original`, else the cursor's image). Frees its BLOB values.
  void DeleteRecord(bool position = true, const std::uint8_t* original = nullptr);
  // Ends an edit: releases the record lock and forgets pending BLOB values.
  void CancelEdit();
  // The record this cursor has locked, 0 when none.
  std::int32_t LockedRecord() const { return lockedRecord_; }

 private:
  enum class State { kBefore, kOn, kAfter, kNowhere };
  struct Counters {
    std::int32_t data = 0, index = 0, blob = 0;
    bool operator==(const Counters&) const = default;
  };
  class Operation;
  template <typename Fn>
  auto Restartable(Fn&& step) -> decltype(step());
  // One attempt of the public operation of the same name (see Restartable).
  void SetOrderAttempt(int number);
  void SetRangeAttempt(std::span<const std::uint8_t> low, std::span<const std::uint8_t> high);
  void CancelRangeAttempt();
  void RefreshAttempt();
  void FirstAttempt();
  void LastAttempt();
  bool NextAttempt();
  bool PriorAttempt();
  bool MoveToAttempt(std::uint32_t ordinal);
  ErrorCode ReadCurrentAttempt(std::uint8_t* buffer, bool lock);
  std::uint32_t RecordCountAttempt();
  std::uint32_t CurrentOrdinalAttempt();
  bool FindFirstAttempt(const std::function<bool(const sql::RowAccessor&)>& test);

  // ---- state of the order ----
  bool Filtered() const;
  bool KeepsVisibleSet() const { return InRecordOrder() || Filtered(); }
  Counters TableCounters();
  void SeeChanges();
  void RebuildVisible();
  void ReadAheadVisible();
  TFilter& ApplyNewestFilter();
  void BaseSet(TRecordsBitmap& base);

  // ---- index order ----
  TIndexTree& ActiveTree();
  std::vector<std::uint8_t> KeyOfImage(const std::uint8_t* image) const;
  std::uint64_t RangeBegin();
  std::uint64_t RangeEnd();
  bool InRange(const std::uint8_t* key);
  bool Visible(std::int32_t recNo) const;
  // Raises 8965 unless the current key lies after `from` (direction 1) or
  // before it (-1) in the active index.
  void ExpectMovedPast(const std::vector<std::uint8_t>& from, int direction);
  // Raises 8965 when record recNo is not active while the active index
  // still holds the entry `key` for it (both read under one read lock).
  void ExpectNoEntryFor(std::int32_t recNo, const std::vector<std::uint8_t>& key);
  // The first visible entry at or after rank r (forward) or at or before r
  // (backward) inside the range; false when none.
  bool SeekEntry(std::uint64_t r, bool forward);
  // A step to the next visible entry after (direction 1) or before (-1)
  // the current one along the cached leaf chain, from the place the last
  // step left (see StepMark). False when that place is not known to hold,
  // or the chain cannot be followed to a visible entry inside the range:
  // walked_ then holds the key of the last entry passed, from which a
  // descent takes over.
  bool StepAlongChain(int direction);
  void MarkPlace(const LeafPlace& place);

  // ---- placing ----
  void StandOn(std::int32_t recNo, std::vector<std::uint8_t> key);
  void StandOn(std::int32_t recNo, const std::uint8_t* key, std::size_t keyLength);
  void PlaceBy(std::int32_t recNo, const std::vector<std::uint8_t>& key);
  void PlaceAfterChange();
  void AfterOwnChange(const Counters& before);
  TRecord* Fetch(std::int32_t recNo);
  bool ImageIsCurrent();
  std::int32_t RunFrom(std::int32_t recNo) const;
  void LoadImage();

  // ---- changing ----
  void LockCurrent();
  void Unlock();
  bool StoredEquals(std::int32_t recNo, const std::uint8_t* image);
  // Writes the BLOB values set on this cursor into the chains of `old`
  // (or new chains) and puts their references into `image`. Under the
  // write lock.
  void StorePendingBlobs(std::uint8_t* image, const std::uint8_t* old);
  void FreeBlobs(const std::uint8_t* image);
  void RetestFilters(std::int32_t recNo);

  bool Strict() const { return session_.settings.strictChangeDetection; }
  bool AnyVisible();
  bool PastLastVisible(std::uint32_t nextOrdinal) const;
  // The visible set changed: what the cursor counted and found in it goes.
  void ForgetCounts();
  void Resync();
  std::uint32_t NthVisibleRecord(std::uint32_t n) const;

  TDataSession& session_;
  TDataDirectory& directory_;
  TDataTable* table_ = nullptr;
  CursorOpenOptions options_;
  TLockProtocol lockProtocol_ = TLockProtocol::lpPessimistic;
  int order_ = 0;

  State state_ = State::kNowhere;
  std::int32_t recNo_ = 0;          // current record (kOn)
  std::vector<std::uint8_t> key_;   // its key in an index order
  std::uint32_t ordinal_ = 0;       // 0 when not known; forgotten whenever
                                    // the visible set changes
  std::vector<std::uint8_t> image_;
  std::int32_t imageRecNo_ = 0;     // the record image_ was read from
  std::vector<std::uint8_t> editImage_;  // read when the edit began
  std::int32_t editRecNo_ = 0;

  bool rangeActive_ = false;
  std::vector<std::uint8_t> rangeLow_, rangeHigh_;

  // Where the current entry lies in the leaf chain of the active index, as
  // the step that stood on it found it. It serves the next step while it
  // still holds: the cursor stands on that entry of that order, the index
  // header shows the change counter of then (nothing another user wrote
  // has been taken in since), no rollback happened, and the tree finds the
  // place unchanged, holding the current key (TIndexTree::WalkInCache).
  // Standing anywhere forgets it.
  struct StepMark {
    LeafPlace place;  // page 0: no mark
    int order = 0;
    std::int32_t recNo = 0;
    std::int32_t indexCounter = 0;
    std::uint32_t droppedChanges = 0;
  };
  StepMark mark_;
  std::vector<std::uint8_t> fromKey_, walked_;  // scratch of Next and Prior
  // The last visible record of a filtered index order, as a step from it
  // that found nothing after it learnt; a step back from the end stands on
  // it without walking the entries after it. Forgotten with the ordinal.
  struct LastVisible {
    std::int32_t recNo = 0;  // 0: not known
    std::vector<std::uint8_t> key;
    std::uint32_t droppedChanges = 0;
  };
  LastVisible lastVisible_;

  std::unique_ptr<TableFilterSource> source_;
  std::vector<std::unique_ptr<TFilter>> filters_;
  TRecordsBitmap visible_;
  Counters seen_;

  std::int32_t lockedRecord_ = 0;
  std::map<int, std::string> pendingBlobs_;  // field number -> new value
  std::unique_ptr<RecordRow> row_;
};

}  // namespace kura
