// An in-memory stand-in for a live query result, for tests of the program
// logic without the engine.
//
// MemoryTable holds the rows of one table in record order (the order in
// which they were appended; record numbers are never reused). A
// MemoryDataSet is a live result over it: the rows for which its membership
// predicate holds, in record order or ordered by one integer field. Several
// datasets over one table see each other's changes, as two queries over one
// table do.
//
// What it reproduces of the engine's results, because the program relies
// on it:
//   - moving (First, Last, Next, Prior, Locate) posts a pending edit or
//     insert; Close cancels it;
//   - Next on the last row sets Eof and keeps the row; Prior on the first
//     row sets Bof and keeps the row; an empty result is at Bof and Eof;
//   - Post re-evaluates membership: a row that no longer qualifies leaves
//     the result, and the cursor goes to the first row after the posted
//     row's place, else the last row before it, else nowhere; after posting
//     an appended row that qualifies, that row is current;
//   - Delete places the cursor as after a post of a row that left;
//   - Locate compares exactly (a null field matches only a null value, as
//     "field = value" does in a filter) and keeps the row when nothing
//     matches;
//   - reading a field with no current row, or a null field, gives 0 or "".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/component/data_set.h"

namespace sorabeku::testing {

enum class MemoryFieldType { kInteger, kString };

struct MemoryField {
  std::string name;
  MemoryFieldType type = MemoryFieldType::kInteger;
};

// One stored value; `null` means no value.
struct MemoryValue {
  bool null = true;
  std::int64_t integer = 0;
  std::string text;
};

struct MemoryRecord {
  std::int64_t recordNumber = 0;
  std::vector<MemoryValue> values;

  // Reading as the dataset does: null gives 0 or "".
  std::int64_t Int(int field) const;
  std::string Str(int field) const;
};

class MemoryTable {
 public:
  explicit MemoryTable(std::vector<MemoryField> fields);

  const std::vector<MemoryField>& fields() const { return fields_; }
  // The index of the field called `name` (case-insensitive), -1 if none.
  int FieldIndex(std::string_view name) const;

  // Appends a record with the given values (missing trailing values are
  // null) and returns its record number.
  std::int64_t AppendRecord(std::vector<MemoryValue> values);
  // Rows in record order.
  const std::vector<MemoryRecord>& records() const { return records_; }
  // The record with `recordNumber`, or null when it was deleted.
  const MemoryRecord* Find(std::int64_t recordNumber) const;
  void Replace(std::int64_t recordNumber, std::vector<MemoryValue> values);
  void Remove(std::int64_t recordNumber);

  // Changes on every append, replace and removal.
  std::uint64_t version() const { return version_; }
  // Number of record writes (appends and replaces), for tests that check
  // that a walk did or did not write.
  std::uint64_t writes() const { return writes_; }

  // The whole content, for a transaction's undo.
  struct Image {
    std::vector<MemoryRecord> records;
    std::int64_t nextRecordNumber = 1;
  };
  Image Save() const { return Image{records_, nextRecordNumber_}; }
  // Puts back a saved content; results over the table rebuild themselves.
  void Restore(Image image);

  // Fault injection: after `okWrites` more successful changes (appends,
  // replaces, removals), every change raises engine error `code` and
  // changes nothing, until ClearFault.
  void FailAfter(int okWrites, int code);
  void ClearFault() { failAfter_ = -1; }

 private:
  void CheckFault();

  std::vector<MemoryField> fields_;
  std::vector<MemoryRecord> records_;  // ascending record numbers
  std::int64_t nextRecordNumber_ = 1;
  std::uint64_t version_ = 0;
  std::uint64_t writes_ = 0;
  int failAfter_ = -1;  // -1: no fault injected
  int faultCode_ = 0;
};

// Helpers for building values.
MemoryValue Int(std::int64_t v);
MemoryValue Str(std::string v);
MemoryValue Null();

class MemoryDataSet final : public kura::TDataSet {
 public:
  using Predicate = std::function<bool(const MemoryRecord&)>;

  // A closed result over `table`; `member` decides which rows belong to it
  // (all when empty); `orderField` (-1: record order) orders the result by
  // that integer field, ties in record order.
  MemoryDataSet(std::shared_ptr<MemoryTable> table, Predicate member = {},
                int orderField = -1);

  // Replaces the condition and order; only while closed (as changing a
  // query's statement closes it first).
  void SetQuery(Predicate member, int orderField = -1);
  MemoryTable& table() { return *table_; }

  void Open() override;
  void Close() override;
  bool Active() const override { return state_ != kura::TDataSetState::dsInactive; }
  kura::TDataSetState State() const override { return state_; }

  void First() override;
  void Last() override;
  void Next() override;
  void Prior() override;
  bool Eof() const override { return eof_; }
  bool Bof() const override { return bof_; }
  int RecordCount() override;
  int RecNo() override;

  int FieldCount() const override;
  const std::string& FieldName(int index) const override;
  int FindField(std::string_view name) const override;

  bool FieldIsNull(int index) override;
  std::int64_t FieldAsInteger(int index) override;
  std::string FieldAsString(int index) override;
  void SetFieldAsInteger(int index, std::int64_t value) override;
  void SetFieldAsString(int index, std::string_view value) override;
  void ClearField(int index) override;

  void Edit() override;
  void Append() override;
  void Insert() override;
  void Post() override;
  void Cancel() override;
  void Delete() override;

  bool Locate(std::string_view fieldNames,
              const std::vector<kura::TLocateValue>& values,
              kura::TLocateOptions options = {}) override;

  void DisableControls() override { ++disabled_; }
  void EnableControls() override {
    if (disabled_ > 0) --disabled_;
  }
  bool ControlsDisabled() const override { return disabled_ > 0; }

  // Counters for tests: how often the cursor moved to another row while
  // controls were attached (what a bound grid would have followed).
  int movesWhileAttached() const { return movesWhileAttached_; }

 private:
  // Ordering key of a record in this result.
  struct Place {
    std::int64_t key;
    std::int64_t recordNumber;
    bool operator<(const Place& o) const {
      return key != o.key ? key < o.key : recordNumber < o.recordNumber;
    }
  };

  void RequireActive() const;
  void Refresh();  // rebuilds members_ when the table changed
  bool IsMember(const MemoryRecord& record) const;
  Place PlaceOf(const MemoryRecord& record) const;
  int IndexOfCurrent();  // -1 when none
  void PlaceAfter(const Place& place);
  void MoveTo(int index);
  void PostPending();
  void SyncAfterWrite(bool wasInSync, std::int64_t recordNumber);
  const MemoryValue* CurrentValue(int index);
  void CheckField(int index) const;
  MemoryValue& BufferValue(int index);

  std::shared_ptr<MemoryTable> table_;
  Predicate member_;
  int orderField_;
  kura::TDataSetState state_ = kura::TDataSetState::dsInactive;
  std::vector<std::int64_t> members_;  // record numbers in result order
  std::uint64_t seenVersion_ = 0;
  std::optional<std::int64_t> current_;  // record number
  std::optional<Place> currentPlace_;
  bool eof_ = true;
  bool bof_ = true;
  std::vector<MemoryValue> buffer_;  // the row being edited or inserted
  int disabled_ = 0;
  int movesWhileAttached_ = 0;
};

// Membership predicate: integer field `field` equals `value`.
MemoryDataSet::Predicate IntFieldEquals(int field, std::int64_t value);

}  // namespace sorabeku::testing
