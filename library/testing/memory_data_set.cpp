#include "library/testing/memory_data_set.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "engine/errors/database_error.h"
#include "engine/errors/kura_error.h"

namespace sorabeku::testing {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::int64_t ParseInteger(std::string_view text) {
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) {
    kura::DatabaseError("'%s' is not a valid integer value", text);
  }
  return v;
}

std::vector<std::string_view> SplitNames(std::string_view names) {
  std::vector<std::string_view> out;
  while (true) {
    const auto semi = names.find(';');
    out.push_back(names.substr(0, semi));
    if (semi == std::string_view::npos) break;
    names.remove_prefix(semi + 1);
  }
  return out;
}

}  // namespace

std::int64_t MemoryRecord::Int(int field) const {
  const MemoryValue& v = values[field];
  if (v.null) return 0;
  return v.text.empty() ? v.integer : ParseInteger(v.text);
}

std::string MemoryRecord::Str(int field) const {
  const MemoryValue& v = values[field];
  if (v.null) return "";
  return v.text.empty() ? std::to_string(v.integer) : v.text;
}

MemoryValue Int(std::int64_t v) { return MemoryValue{false, v, ""}; }
MemoryValue Str(std::string v) { return MemoryValue{false, 0, std::move(v)}; }
MemoryValue Null() { return MemoryValue{}; }

// ---------------------------------------------------------------------------
// MemoryTable

MemoryTable::MemoryTable(std::vector<MemoryField> fields)
    : fields_(std::move(fields)) {}

int MemoryTable::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void MemoryTable::Restore(Image image) {
  records_ = std::move(image.records);
  nextRecordNumber_ = image.nextRecordNumber;
  ++version_;
}

void MemoryTable::FailAfter(int okWrites, int code) {
  failAfter_ = okWrites;
  faultCode_ = code;
}

void MemoryTable::CheckFault() {
  if (failAfter_ < 0) return;
  if (failAfter_ == 0) kura::Raise(static_cast<kura::ErrorCode>(faultCode_));
  --failAfter_;
}

std::int64_t MemoryTable::AppendRecord(std::vector<MemoryValue> values) {
  CheckFault();
  values.resize(fields_.size());
  records_.push_back(MemoryRecord{nextRecordNumber_, std::move(values)});
  ++version_;
  ++writes_;
  return nextRecordNumber_++;
}

const MemoryRecord* MemoryTable::Find(std::int64_t recordNumber) const {
  const auto it = std::lower_bound(
      records_.begin(), records_.end(), recordNumber,
      [](const MemoryRecord& r, std::int64_t n) { return r.recordNumber < n; });
  if (it == records_.end() || it->recordNumber != recordNumber) return nullptr;
  return &*it;
}

void MemoryTable::Replace(std::int64_t recordNumber,
                          std::vector<MemoryValue> values) {
  MemoryRecord* r = const_cast<MemoryRecord*>(Find(recordNumber));
  if (r == nullptr) kura::Raise(kura::KURA_KEYORRECDELETED);
  CheckFault();
  values.resize(fields_.size());
  r->values = std::move(values);
  ++version_;
  ++writes_;
}

void MemoryTable::Remove(std::int64_t recordNumber) {
  const MemoryRecord* r = Find(recordNumber);
  if (r == nullptr) kura::Raise(kura::KURA_KEYORRECDELETED);
  CheckFault();
  records_.erase(records_.begin() + (r - records_.data()));
  ++version_;
}

// ---------------------------------------------------------------------------
// MemoryDataSet: positioning

MemoryDataSet::MemoryDataSet(std::shared_ptr<MemoryTable> table,
                             Predicate member, int orderField)
    : table_(std::move(table)), member_(std::move(member)),
      orderField_(orderField) {}

void MemoryDataSet::SetQuery(Predicate member, int orderField) {
  Close();
  member_ = std::move(member);
  orderField_ = orderField;
}

void MemoryDataSet::RequireActive() const {
  if (!Active()) {
    kura::DatabaseError("Cannot perform this operation on a closed dataset");
  }
}

bool MemoryDataSet::IsMember(const MemoryRecord& record) const {
  return !member_ || member_(record);
}

MemoryDataSet::Place MemoryDataSet::PlaceOf(const MemoryRecord& record) const {
  return Place{orderField_ < 0 ? 0 : record.Int(orderField_),
               record.recordNumber};
}

void MemoryDataSet::Refresh() {
  if (seenVersion_ == table_->version()) return;
  std::vector<Place> places;
  for (const MemoryRecord& r : table_->records()) {
    if (IsMember(r)) places.push_back(PlaceOf(r));
  }
  std::stable_sort(places.begin(), places.end());
  members_.clear();
  for (const Place& p : places) members_.push_back(p.recordNumber);
  seenVersion_ = table_->version();
  if (current_) {
    const MemoryRecord* r = table_->Find(*current_);
    if (r == nullptr || !IsMember(*r)) {
      PlaceAfter(*currentPlace_);
    } else {
      currentPlace_ = PlaceOf(*r);
    }
  }
}

int MemoryDataSet::IndexOfCurrent() {
  if (!current_) return -1;
  const auto it = std::find(members_.begin(), members_.end(), *current_);
  return it == members_.end() ? -1 : static_cast<int>(it - members_.begin());
}

// Current row := the first member after `place`, else the last member,
// else none.
void MemoryDataSet::PlaceAfter(const Place& place) {
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const MemoryRecord* r = table_->Find(members_[i]);
    if (place < PlaceOf(*r)) {
      MoveTo(static_cast<int>(i));
      return;
    }
  }
  if (!members_.empty()) {
    MoveTo(static_cast<int>(members_.size()) - 1);
    return;
  }
  current_.reset();
  currentPlace_.reset();
  bof_ = eof_ = true;
}

void MemoryDataSet::MoveTo(int index) {
  const std::int64_t n = members_[index];
  if (!ControlsDisabled() && (!current_ || *current_ != n)) ++movesWhileAttached_;
  current_ = n;
  currentPlace_ = PlaceOf(*table_->Find(n));
  bof_ = eof_ = false;
}

void MemoryDataSet::PostPending() {
  if (state_ == kura::TDataSetState::dsEdit ||
      state_ == kura::TDataSetState::dsInsert) {
    Post();
  }
}

void MemoryDataSet::Open() {
  if (Active()) return;
  state_ = kura::TDataSetState::dsBrowse;
  current_.reset();
  currentPlace_.reset();
  seenVersion_ = table_->version() + 1;  // forces a rebuild
  Refresh();
  if (members_.empty()) {
    bof_ = eof_ = true;
  } else {
    MoveTo(0);
    bof_ = true;
  }
}

void MemoryDataSet::Close() {
  if (!Active()) return;
  buffer_.clear();
  state_ = kura::TDataSetState::dsInactive;
  members_.clear();
  current_.reset();
  currentPlace_.reset();
  bof_ = eof_ = true;
}

void MemoryDataSet::First() {
  RequireActive();
  PostPending();
  Refresh();
  if (members_.empty()) {
    current_.reset();
    bof_ = eof_ = true;
    return;
  }
  MoveTo(0);
  bof_ = true;
}

void MemoryDataSet::Last() {
  RequireActive();
  PostPending();
  Refresh();
  if (members_.empty()) {
    current_.reset();
    bof_ = eof_ = true;
    return;
  }
  MoveTo(static_cast<int>(members_.size()) - 1);
  eof_ = true;
}

// As a dataset's MoveBy: nothing happens once the end (or, for Prior, the
// beginning) has been reached; otherwise both flags clear and the cursor
// moves, or sets the flag when there is no row to move to.
void MemoryDataSet::Next() {
  RequireActive();
  PostPending();
  Refresh();
  if (eof_) return;
  bof_ = false;
  const int i = IndexOfCurrent();
  if (i < 0 || i + 1 >= static_cast<int>(members_.size())) {
    eof_ = true;
    return;
  }
  MoveTo(i + 1);
}

void MemoryDataSet::Prior() {
  RequireActive();
  PostPending();
  Refresh();
  if (bof_) return;
  eof_ = false;
  const int i = IndexOfCurrent();
  if (i <= 0) {
    bof_ = true;
    return;
  }
  MoveTo(i - 1);
}

int MemoryDataSet::RecordCount() {
  RequireActive();
  Refresh();
  return static_cast<int>(members_.size());
}

int MemoryDataSet::RecNo() {
  RequireActive();
  Refresh();
  return IndexOfCurrent() + 1;
}

// ---------------------------------------------------------------------------
// Fields

int MemoryDataSet::FieldCount() const {
  return static_cast<int>(table_->fields().size());
}

const std::string& MemoryDataSet::FieldName(int index) const {
  CheckField(index);
  return table_->fields()[index].name;
}

int MemoryDataSet::FindField(std::string_view name) const {
  return table_->FieldIndex(name);
}

void MemoryDataSet::CheckField(int index) const {
  if (index < 0 || index >= FieldCount()) {
    kura::Raise(kura::KURA_OUTOFRANGE, {.field = std::to_string(index)});
  }
}

const MemoryValue* MemoryDataSet::CurrentValue(int index) {
  RequireActive();
  CheckField(index);
  if (state_ == kura::TDataSetState::dsEdit ||
      state_ == kura::TDataSetState::dsInsert) {
    return &buffer_[index];
  }
  Refresh();
  if (!current_) return nullptr;
  return &table_->Find(*current_)->values[index];
}

bool MemoryDataSet::FieldIsNull(int index) {
  const MemoryValue* v = CurrentValue(index);
  return v == nullptr || v->null;
}

std::int64_t MemoryDataSet::FieldAsInteger(int index) {
  const MemoryValue* v = CurrentValue(index);
  if (v == nullptr || v->null) return 0;
  return v->text.empty() ? v->integer : ParseInteger(v->text);
}

std::string MemoryDataSet::FieldAsString(int index) {
  const MemoryValue* v = CurrentValue(index);
  if (v == nullptr || v->null) return "";
  if (table_->fields()[index].type == MemoryFieldType::kString) return v->text;
  return std::to_string(v->integer);
}

MemoryValue& MemoryDataSet::BufferValue(int index) {
  RequireActive();
  CheckField(index);
  if (state_ != kura::TDataSetState::dsEdit &&
      state_ != kura::TDataSetState::dsInsert) {
    kura::DatabaseError(kura::kNotEditing);
  }
  return buffer_[index];
}

void MemoryDataSet::SetFieldAsInteger(int index, std::int64_t value) {
  MemoryValue& v = BufferValue(index);
  if (table_->fields()[index].type == MemoryFieldType::kString) {
    v = Str(std::to_string(value));
  } else {
    v = Int(value);
  }
}

void MemoryDataSet::SetFieldAsString(int index, std::string_view value) {
  MemoryValue& v = BufferValue(index);
  if (table_->fields()[index].type == MemoryFieldType::kString) {
    v = value.empty() ? Null() : Str(std::string(value));
  } else {
    v = value.empty() ? Null() : Int(ParseInteger(value));
  }
}

void MemoryDataSet::ClearField(int index) { BufferValue(index) = Null(); }

// ---------------------------------------------------------------------------
// Changes

void MemoryDataSet::Edit() {
  RequireActive();
  if (state_ != kura::TDataSetState::dsBrowse) return;
  Refresh();
  if (!current_) kura::Raise(kura::KURA_NOCURRREC);
  buffer_ = table_->Find(*current_)->values;
  state_ = kura::TDataSetState::dsEdit;
}

void MemoryDataSet::Append() {
  RequireActive();
  PostPending();
  buffer_.assign(table_->fields().size(), MemoryValue{});
  state_ = kura::TDataSetState::dsInsert;
}

// A table without primary-key fields adds every row at its end, so Insert
// and Append store the same way.
void MemoryDataSet::Insert() { Append(); }

// After this dataset wrote record `n`: when nothing else changed the table
// since the last rebuild, the member list is updated for that one record;
// otherwise it is rebuilt. The current row is not touched.
void MemoryDataSet::SyncAfterWrite(bool wasInSync, std::int64_t n) {
  if (!wasInSync) {
    seenVersion_ = table_->version() + 1;
    const auto keep = current_;
    current_.reset();
    Refresh();
    current_ = keep;
    return;
  }
  const auto it = std::find(members_.begin(), members_.end(), n);
  if (it != members_.end()) members_.erase(it);
  const MemoryRecord* r = table_->Find(n);
  if (r != nullptr && IsMember(*r)) {
    const Place place = PlaceOf(*r);
    const auto at = std::lower_bound(
        members_.begin(), members_.end(), place,
        [this](std::int64_t m, const Place& p) {
          return PlaceOf(*table_->Find(m)) < p;
        });
    members_.insert(at, n);
  }
  seenVersion_ = table_->version();
}

void MemoryDataSet::Post() {
  RequireActive();
  const bool inSync = seenVersion_ == table_->version();
  std::int64_t posted = 0;
  if (state_ == kura::TDataSetState::dsEdit) {
    posted = *current_;
    table_->Replace(posted, std::move(buffer_));
  } else if (state_ == kura::TDataSetState::dsInsert) {
    posted = table_->AppendRecord(std::move(buffer_));
  } else {
    return;
  }
  buffer_.clear();
  state_ = kura::TDataSetState::dsBrowse;
  const MemoryRecord& record = *table_->Find(posted);
  const Place place = PlaceOf(record);
  current_.reset();
  SyncAfterWrite(inSync, posted);  // membership is evaluated again
  if (IsMember(record)) {
    MoveTo(static_cast<int>(
        std::find(members_.begin(), members_.end(), posted) - members_.begin()));
  } else {
    PlaceAfter(place);
  }
}

void MemoryDataSet::Cancel() {
  if (state_ == kura::TDataSetState::dsEdit ||
      state_ == kura::TDataSetState::dsInsert) {
    buffer_.clear();
    state_ = kura::TDataSetState::dsBrowse;
  }
}

void MemoryDataSet::Delete() {
  RequireActive();
  if (state_ == kura::TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  Cancel();
  Refresh();
  if (!current_) kura::Raise(kura::KURA_NOCURRREC);
  const Place place = *currentPlace_;
  const std::int64_t removed = *current_;
  const bool inSync = seenVersion_ == table_->version();
  table_->Remove(removed);
  current_.reset();
  SyncAfterWrite(inSync, removed);
  PlaceAfter(place);
}

bool MemoryDataSet::Locate(std::string_view fieldNames,
                           const std::vector<kura::TLocateValue>& values,
                           kura::TLocateOptions options) {
  RequireActive();
  PostPending();
  Refresh();
  const std::vector<std::string_view> names = SplitNames(fieldNames);
  std::vector<int> fields;
  for (std::string_view n : names) {
    const int f = FindField(n);
    if (f < 0) kura::Raise(kura::KURA_INVALIDFIELDNAME, {.field = std::string(n)});
    fields.push_back(f);
  }
  if (fields.size() != values.size()) return false;
  auto matches = [&](const MemoryRecord& r) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const MemoryValue& v = r.values[fields[i]];
      const kura::TLocateValue& want = values[i];
      if (std::holds_alternative<std::monostate>(want)) {
        if (!v.null) return false;
        continue;
      }
      if (v.null) return false;  // "field = value" is never true for null
      std::string have = r.Str(fields[i]);
      std::string need = std::holds_alternative<std::int64_t>(want)
                             ? std::to_string(std::get<std::int64_t>(want))
                             : std::get<std::string>(want);
      if (options.partialKey && i + 1 == fields.size()) {
        have = have.substr(0, need.size());
      }
      if (options.caseInsensitive ? !EqualNoCase(have, need) : have != need) {
        return false;
      }
    }
    return true;
  };
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (matches(*table_->Find(members_[i]))) {
      MoveTo(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

MemoryDataSet::Predicate IntFieldEquals(int field, std::int64_t value) {
  return [field, value](const MemoryRecord& r) {
    return !r.values[field].null && r.Int(field) == value;
  };
}

}  // namespace sorabeku::testing
