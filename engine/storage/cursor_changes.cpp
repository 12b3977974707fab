// TDataCursor: record images, fields and BLOB values, and the changes a
// cursor makes (add, modify, delete, cancel) with the record locks and the
// repositioning that follow them.
#include <algorithm>
#include <cstring>

#include "engine/errors/kura_error.h"
#include "engine/expr/date_time.h"
#include "engine/storage/cursor_operation.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/record_values.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/table_filter_source.h"

namespace kura {
namespace {

// Local date and time now as days since 1899-12-30 with the time as fraction.
double LocalNow() {
  return sql::CurrentTimestamp() / static_cast<double>(sql::kMsPerDay) - sql::kDayOf18991230;
}

// Runs `change` under the table's write lock as one change of the table
// (the BLOB blocks and the record: a failure puts both back); the lock is
// given back on every path.
template <typename Fn>
void UnderWriteLock(TDataTable& table, Fn&& change) {
  table.WriteLock();
  try {
    table.BeginChange();
  } catch (...) {
    try {
      table.ReleaseWriteLock();
    } catch (...) {
      // The first failure is the one reported.
    }
    throw;
  }
  try {
    change();
  } catch (...) {
    table.EndChange(/*failed=*/true);
    try {
      table.ReleaseWriteLock();
    } catch (...) {
      // The first failure is the one reported.
    }
    throw;
  }
  table.EndChange(/*failed=*/false);
  table.ReleaseWriteLock();
}

}  // namespace

// ---- images and fields ------------------------------------------------------------

std::vector<std::uint8_t> TDataCursor::NewRecord() const {
  std::vector<std::uint8_t> image(RecordLength());
  InitRecord(image.data());
  return image;
}

void TDataCursor::InitRecord(std::uint8_t* image) const {
  // The clock is read only when a default value may name the current time.
  const std::vector<TFieldDescriptor>& fields = Fields();
  const bool defaults = std::any_of(fields.begin(), fields.end(), [](const TFieldDescriptor& f) {
    return !f.defaultValue.empty();
  });
  InitRecordImage(image, RecordLength(), fields, table_->Data().Collation(),
                  defaults ? LocalNow() : 0.0);
}

sql::Value TDataCursor::GetField(const std::uint8_t* image, int fieldNo) {
  if (fieldNo < 1 || fieldNo > static_cast<int>(Fields().size())) {
    Raise(KURA_OUTOFRANGE, {.table = table_->Name()});
  }
  const TFieldDescriptor& f = table_->Data().Field(fieldNo);
  // Fields other than BLOBs are decoded from the image where it is.
  if (f.type != kFieldBlob) return ReadFieldValue(image, f);
  auto it = pendingBlobs_.find(fieldNo);
  if (it != pendingBlobs_.end()) {
    sql::Value v = sql::Value::String(it->second);
    if (v.null) return sql::Value::NullOf(f.type, f.subtype);
    v.type = f.type;
    v.subType = f.subtype;
    return v;
  }
  row_->Set(image);
  return row_->FieldValue(1, fieldNo);
}

void TDataCursor::SetField(std::uint8_t* image, int fieldNo, const sql::Value& value) {
  if (fieldNo < 1 || fieldNo > static_cast<int>(Fields().size())) {
    Raise(KURA_OUTOFRANGE, {.table = table_->Name()});
  }
  const TFieldDescriptor& f = table_->Data().Field(fieldNo);
  if (f.type == kFieldBlob) {
    pendingBlobs_[fieldNo] = value.null ? std::string() : value.text;
    return;
  }
  StoreFieldValue(image, f, value, table_->Data().Collation());
}

const sql::RowAccessor& TDataCursor::Row(const std::uint8_t* image) {
  row_->Set(image);
  return *row_;
}

// ---- BLOB values ---------------------------------------------------------------------

void TDataCursor::StorePendingBlobs(std::uint8_t* image, const std::uint8_t* old) {
  TBlobFile* blob = table_->Blob();
  if (blob == nullptr) return;
  for (const auto& [fieldNo, value] : pendingBlobs_) {
    const TFieldDescriptor& f = table_->Data().Field(fieldNo);
    const BlobRef before = old ? GetBlobRef(old, f) : BlobRef{};
    const BlobRef ref = blob->WriteValue(before, value, table_->Data().NextBlobSerial());
    SetBlobRef(image, f, ref);
  }
}

void TDataCursor::FreeBlobs(const std::uint8_t* image) {
  TBlobFile* blob = table_->Blob();
  if (blob == nullptr) return;
  for (const TFieldDescriptor& f : Fields()) {
    if (f.type != kFieldBlob) continue;
    const BlobRef ref = GetBlobRef(image, f);
    if (ref.firstBlock != 0) blob->FreeValue(ref);
  }
}

// ---- locks ---------------------------------------------------------------------------

void TDataCursor::LockCurrent() {
  if (lockedRecord_ == recNo_) return;
  if (lockedRecord_ != 0) Unlock();
  table_->LockRecord(recNo_, this);
  lockedRecord_ = recNo_;
}

void TDataCursor::Unlock() {
  if (lockedRecord_ == 0) return;
  const std::int32_t n = lockedRecord_;
  lockedRecord_ = 0;
  table_->UnlockRecord(n);
}

bool TDataCursor::StoredEquals(std::int32_t recNo, const std::uint8_t* image) {
  const TRecord* r = Fetch(recNo);
  return std::memcmp(r->Data(), image, image_.size()) == 0;
}

void TDataCursor::CancelEdit() {
  pendingBlobs_.clear();
  editRecNo_ = 0;
  if (table_ != nullptr) Unlock();
}

// ---- changes ---------------------------------------------------------------------------

// A record this cursor added or changed: its bit in every filter and in the
// visible set follows its new values.
void TDataCursor::RetestFilters(std::int32_t recNo) {
  const auto n = static_cast<std::uint32_t>(recNo);
  bool visible = true;
  for (const auto& f : filters_) {
    f->TestRecord(n);
    if (f->Active() && !f->Contains(n)) visible = false;
  }
  if (!KeepsVisibleSet()) return;
  if (visible && !InRecordOrder() && rangeActive_) {
    const TRecord* r = Fetch(recNo);
    visible = InRange(KeyOfImage(r->Data()).data());
  }
  if (visible) visible_.Set(n);
  else visible_.Clear(n);
  ForgetCounts();  // the record may have come or gone before the current one
}

// After this cursor's own change the counters moved by at most one each;
// more means others changed the table in between, and the visible set is
// built again.
void TDataCursor::AfterOwnChange(const Counters& before) {
  const Counters now = TableCounters();
  auto moved = [](std::int32_t a, std::int32_t b) { return b - a < 0 || b - a > 1; };
  if (moved(before.data, now.data) || moved(before.index, now.index) ||
      moved(before.blob, now.blob)) {
    RebuildVisible();
  }
  seen_ = TableCounters();
}

std::int32_t TDataCursor::AddRecord(const std::uint8_t* image, bool position) {
  Operation op(*this);
  const Counters before = TableCounters();
  std::int32_t n = 0;
  if (pendingBlobs_.empty() || table_->Blob() == nullptr) {
    n = table_->AppendRecord(image);
  } else {
    std::vector<std::uint8_t> copy(image, image + RecordLength());
    UnderWriteLock(*table_, [&] {
      // Keys are checked before any block is written.
      const std::int32_t last = table_->Data().Header().lastRowId;
      table_->Index().Trees().CheckInsert(copy.data(), last >= INT32_MAX ? 1 : last + 1);
      StorePendingBlobs(copy.data(), nullptr);
      n = table_->AppendRecord(copy.data());
    });
  }
  pendingBlobs_.clear();
  if (imageRecNo_ == n) imageRecNo_ = 0;  // a reused slot
  if (editRecNo_ == n) editRecNo_ = 0;
  Restartable([&] {
    RetestFilters(n);
    AfterOwnChange(before);
    if (position) {
      const TRecord* r = Fetch(n);
      PlaceBy(n, InRecordOrder() ? std::vector<std::uint8_t>{} : KeyOfImage(r->Data()));
    }
  });
  return n;
}

void TDataCursor::ModifyRecord(const std::uint8_t* image, bool position,
                               const std::uint8_t* original) {
  Operation op(*this);
  if (state_ != State::kOn) Raise(KURA_NOCURRREC, {.table = table_->Name()});
  const std::int32_t n = recNo_;
  const bool lockedBefore = lockedRecord_ == n;
  LockCurrent();
  const Counters before = TableCounters();
  try {
    if (original == nullptr) {
      if (editRecNo_ == n) original = editImage_.data();
      else if (imageRecNo_ == n) original = image_.data();
    }
    if (original == nullptr || !StoredEquals(n, original)) {
      Raise(KURA_KEYORRECDELETED, {.table = table_->Name()});
    }
    std::vector<std::uint8_t> copy(image, image + RecordLength());
    std::memcpy(copy.data(), image_.data(), kRecordHeaderSize);
    // A record stored as it already is (a renumbering that finds the
    // number in place) is not written: the file, its change counter and
    // the caches of other users stay as they are.
    const bool unchanged = std::memcmp(copy.data(), original, copy.size()) == 0;
    if (unchanged && pendingBlobs_.empty()) {
      // nothing to store
    } else if (pendingBlobs_.empty() || table_->Blob() == nullptr) {
      table_->ModifyRecord(n, copy.data());
    } else {
      UnderWriteLock(*table_, [&] {
        table_->Index().Trees().CheckUpdate(image_.data(), copy.data());
        StorePendingBlobs(copy.data(), image_.data());
        table_->ModifyRecord(n, copy.data());
      });
    }
  } catch (const EKuraEngineError& e) {
    // A refused change keeps a lock taken when editing began; one taken
    // here is given back.
    if (!lockedBefore || e.ErrorCode() == KURA_KEYORRECDELETED) Unlock();
    throw;
  }
  pendingBlobs_.clear();
  editRecNo_ = 0;
  Unlock();
  // A record that no longer passes gives way to the one after its old place.
  const std::vector<std::uint8_t> oldKey = key_;
  Restartable([&] {
    RetestFilters(n);
    AfterOwnChange(before);
    const TRecord* r = Fetch(n);
    std::memcpy(image_.data(), r->Data(), image_.size());
    if (!InRecordOrder()) key_ = KeyOfImage(r->Data());
    if (position) PlaceBy(n, oldKey);
  });
}

void TDataCursor::DeleteRecord(bool position, const std::uint8_t* original) {
  Operation op(*this);
  if (state_ != State::kOn) Raise(KURA_NOCURRREC, {.table = table_->Name()});
  const std::int32_t n = recNo_;
  if (imageRecNo_ != n) LoadImage();
  LockCurrent();
  const Counters before = TableCounters();
  std::vector<std::uint8_t> old(image_);
  try {
    if (!StoredEquals(n, original ? original : image_.data())) {
      Raise(KURA_KEYORRECDELETED, {.table = table_->Name()});
    }
    if (table_->Blob() == nullptr) {
      table_->DeleteRecord(n);
    } else {
      UnderWriteLock(*table_, [&] {
        FreeBlobs(old.data());
        table_->DeleteRecord(n);
      });
    }
  } catch (...) {
    Unlock();
    throw;
  }
  pendingBlobs_.clear();
  editRecNo_ = 0;
  Unlock();
  for (const auto& f : filters_) f->DropRecord(static_cast<std::uint32_t>(n));
  visible_.Clear(static_cast<std::uint32_t>(n));
  ForgetCounts();
  Restartable([&] {
    AfterOwnChange(before);
    if (!position) return;
    PlaceBy(n, InRecordOrder() ? std::vector<std::uint8_t>{} : KeyOfImage(old.data()));
  });
}

}  // namespace kura
