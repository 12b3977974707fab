#include "engine/component/kura_query.h"

#include <charconv>
#include <cstdint>

#include "engine/errors/database_error.h"
#include "engine/errors/kura_error.h"
#include "engine/expr/evaluator.h"
#include "engine/expr/field_types.h"
#include "engine/storage/field_values.h"
#include "engine/storage/names.h"

namespace kura {

using sql::Value;

TFieldKind FieldKindOf(int type, int subType) {
  switch (type) {
    case sql::kTypeString: return subType == sql::kSubFixedString ? TFieldKind::ftFixedChar : TFieldKind::ftString;
    case sql::kTypeDate: return TFieldKind::ftDate;
    case sql::kTypeBlob:
      switch (subType) {
        case sql::kSubMemo: return TFieldKind::ftMemo;
        case sql::kSubFormattedMemo: return TFieldKind::ftFmtMemo;
        case sql::kSubGraphic: return TFieldKind::ftGraphic;
        case sql::kSubTypedBlob: return TFieldKind::ftTypedBinary;
        default: return TFieldKind::ftBlob;
      }
    case sql::kTypeBoolean: return TFieldKind::ftBoolean;
    case sql::kTypeSmallInt: return TFieldKind::ftSmallint;
    case sql::kTypeInteger: return subType == sql::kSubAutoInc ? TFieldKind::ftAutoInc : TFieldKind::ftInteger;
    case sql::kTypeFloat: return subType == sql::kSubMoney ? TFieldKind::ftCurrency : TFieldKind::ftFloat;
    case sql::kTypeBcd: return TFieldKind::ftBCD;
    case sql::kTypeBytes: return TFieldKind::ftBytes;
    case sql::kTypeTime: return TFieldKind::ftTime;
    case sql::kTypeTimestamp: return TFieldKind::ftDateTime;
    case sql::kTypeWord: return TFieldKind::ftWord;
    case sql::kTypeVarBytes: return TFieldKind::ftVarBytes;
    case sql::kTypeLargeInt: return TFieldKind::ftLargeint;
    default: return TFieldKind::ftUnknown;
  }
}

int EngineTypeOf(TFieldKind kind) {
  using K = TFieldKind;
  switch (kind) {
    case K::ftString: case K::ftFixedChar: return sql::kTypeString;
    case K::ftSmallint: return sql::kTypeSmallInt;
    case K::ftInteger: case K::ftAutoInc: return sql::kTypeInteger;
    case K::ftWord: return sql::kTypeWord;
    case K::ftBoolean: return sql::kTypeBoolean;
    case K::ftFloat: case K::ftCurrency: return sql::kTypeFloat;
    case K::ftBCD: return sql::kTypeBcd;
    case K::ftDate: return sql::kTypeDate;
    case K::ftTime: return sql::kTypeTime;
    case K::ftDateTime: return sql::kTypeTimestamp;
    case K::ftBytes: return sql::kTypeBytes;
    case K::ftVarBytes: return sql::kTypeVarBytes;
    case K::ftLargeint: return sql::kTypeLargeInt;
    case K::ftBlob: case K::ftMemo: case K::ftFmtMemo: case K::ftGraphic:
    case K::ftTypedBinary: return sql::kTypeBlob;
    default: return 0;
  }
}

namespace {

bool IsStringKind(TFieldKind k) {
  return k == TFieldKind::ftString || k == TFieldKind::ftFixedChar || k == TFieldKind::ftMemo ||
         k == TFieldKind::ftFmtMemo;
}

// A value as the text a field shows (taken by value: a text is moved out).
std::string TextOf(Value v) {
  if (v.null) return "";
  if (sql::IsIntegerType(v.type) || v.type == sql::kTypeBoolean || v.type == sql::kTypeDate ||
      v.type == sql::kTypeTime) {
    return std::to_string(v.integer);
  }
  if (v.type == sql::kTypeFloat || v.type == sql::kTypeBcd || v.type == sql::kTypeTimestamp) {
    std::string s = std::to_string(v.real);
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
      const bool dot = s.back() == '.';
      s.pop_back();
      if (dot) break;
    }
    return s;
  }
  return std::move(v.text);
}

std::int64_t IntegerOf(const Value& v) {
  if (v.null) return 0;
  if (sql::IsIntegerType(v.type) || v.type == sql::kTypeBoolean || v.type == sql::kTypeDate ||
      v.type == sql::kTypeTime) {
    return v.integer;
  }
  if (v.type == sql::kTypeFloat || v.type == sql::kTypeBcd) return static_cast<std::int64_t>(v.real);
  std::int64_t n = 0;
  const std::string t = TrimBlanks(v.text);
  const auto r = std::from_chars(t.data(), t.data() + t.size(), n);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size()) {
    Raise(KURA_INVALIDFLDTYPE, {.message = "'" + v.text + "' is not a valid integer value"});
  }
  return n;
}

}  // namespace

// ---- construction and statement -------------------------------------------------

TKuraQuery::TKuraQuery() = default;

TKuraQuery::~TKuraQuery() {
  try {
    Close();
    UnPrepare();
  } catch (...) {
    // Nothing is left to report to while being destroyed.
  }
}

std::string TKuraQuery::Text() const {
  std::string text;
  for (std::size_t i = 0; i < sql_.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += sql_[i];
  }
  return text;
}

void TKuraQuery::SQLChanged() {
  Close();
  UnPrepare();
  const TParamScan scan = ScanParameterMarkers(Text());
  if (paramCheck_) {
    processedText_ = scan.processedText;
    params_.Rebuild(scan.names);
  } else {
    processedText_ = Text();
  }
}

void TKuraQuery::ClearSQL() {
  sql_.clear();
  SQLChanged();
}

void TKuraQuery::AddSQL(std::string_view line) {
  sql_.emplace_back(line);
  SQLChanged();
}

void TKuraQuery::SetSQL(std::vector<std::string> lines) {
  sql_ = std::move(lines);
  SQLChanged();
}

void TKuraQuery::SetDatabaseName(std::string_view name) {
  if (Active()) DatabaseError(kDatabaseOpen);
  const std::string n = BackslashPath(name);
  if (n == databaseName_) return;
  UnPrepare();
  databaseName_ = n;
}

void TKuraQuery::SetSessionName(std::string_view name) {
  if (Active()) DatabaseError(kDatabaseOpen);
  sessionName_ = std::string(name);
}

void TKuraQuery::SetRequestLive(bool live) {
  if (live == requestLive_) return;
  Close();
  UnPrepare();
  requestLive_ = live;
}

void TKuraQuery::SetMaxRowCount(int count) {
  maxRowCount_ = count;
  if (execution_) execution_->SetMaxRowCount(count);
}

void TKuraQuery::SetReadOnly(bool readOnly) {
  if (Active()) DatabaseError(kDatabaseOpen);
  readOnly_ = readOnly;
}

void TKuraQuery::SetDataSource(TDataSource* source) {
  if (source != nullptr && source->DataSet() == this) DatabaseError(kCircularDataLink);
  dataSource_ = source;
}

// ---- preparing and opening ----------------------------------------------------------

// Finds the session and the database (a temporary one is created for an
// unknown name) and takes a reference to it, held while the statement is
// prepared: the prepared statement reads the database's directory.
void TKuraQuery::Resolve() {
  if (database_ != nullptr) return;
  TKuraSession& session = Sessions().SessionByName(sessionName_);
  session.SetActive(true);
  database_ = &session.OpenDatabase(databaseName_, this);
  session_ = &session;
}

void TKuraQuery::ReleaseDatabase() {
  if (database_ == nullptr) return;
  TKuraDatabase* db = database_;
  database_ = nullptr;
  session_->CloseDatabase(*db, this);
}

void TKuraQuery::Prepare() {
  if (Prepared()) return;
  if (sql_.empty() || processedText_.size() < 2) DatabaseError(kNoSQLStatement);
  Resolve();
  TKuraSessionLock lock(*session_);
  auto execution = std::make_unique<sql::TQueryExecution>(session_->DataSession(),
                                                          database_->Catalog());
  execution->SetRequestLive(requestLive_);
  execution->SetMaxRowCount(maxRowCount_);
  execution->Prepare(processedText_);
  keptDefs_.clear();
  keptExecution_ = nullptr;
  execution_ = std::move(execution);
}

void TKuraQuery::UnPrepare() {
  Close();
  keptDefs_.clear();
  keptExecution_ = nullptr;
  execution_.reset();
  ReleaseDatabase();
}

std::vector<Value> TKuraQuery::BindValues() {
  if (dataSource_ != nullptr && dataSource_->DataSet() != nullptr &&
      dataSource_->DataSet()->Active()) {
    auto* master = dynamic_cast<TKuraQuery*>(dataSource_->DataSet());
    for (int i = 0; i < params_.Count(); ++i) {
      TParam& p = params_[i];
      if (p.Bound()) continue;
      TDataSet& m = *dataSource_->DataSet();
      const int f = m.FindField(p.Name());
      if (f < 0) continue;
      if (master != nullptr) {
        p.SetFromMaster(master->FieldValue(f));
      } else if (m.FieldIsNull(f)) {
        p.SetFromMaster(Value::NullOf(sql::kTypeString));
      } else {
        p.SetFromMaster(Value::String(m.FieldAsString(f)));
      }
    }
  }
  std::vector<Value> values;
  for (int i = 0; i < params_.Count(); ++i) {
    const TParam& p = params_[i];
    if (p.DataType() == 0) DatabaseError(kNoParameterValue, p.Name());
    values.push_back(p.BindValue());
  }
  return values;
}

void TKuraQuery::Execute() {
  const std::vector<Value> values = BindValues();
  TKuraSessionLock lock(*session_);
  try {
    execution_->Execute(values);
  } catch (const EKuraEngineError& e) {
    if (e.ErrorCode() == KURA_SQLPARSE) UnPrepare();
    throw;
  }
  rowsAffected_ = execution_->RowsAffected();
  executionTime_ = execution_->ExecutionTime();
}

void TKuraQuery::ExecSQL() {
  Close();
  Prepare();
  Execute();
}

void TKuraQuery::Open() {
  if (Active()) return;
  Prepare();
  Execute();
  TDataCursor* cursor = execution_->IsSelect() ? execution_->ResultCursor() : nullptr;
  if (cursor == nullptr) DatabaseError(kCannotCreateHandle);
  cursor_ = cursor;
  live_ = execution_->Live();
  cursor_->SetLockProtocol(session_->lockProtocol);
  cursorReadOnly_ = cursor_->Table().Options().readOnly;
  if (cursorReadOnly_) readOnly_ = true;
  TakeFieldDefs();
  state_ = TDataSetState::dsBrowse;
  cursor_->First();
  const bool any = cursor_->Next();
  bof_ = true;
  eof_ = !any;
  NotifyDataSources(TDataEvent::deUpdateState);
  NotifyDataSources(TDataEvent::deDataSetChange);
}

void TKuraQuery::TakeFieldDefs() {
  const bool same = !keptDefs_.empty() && keptExecution_ == execution_.get() &&
                    keptGeneration_ == execution_->Generation() && keptCursor_ == cursor_ &&
                    keptLive_ == live_;
  if (!same) {
    BuildFieldDefs();
    return;
  }
  fieldDefs_ = std::move(keptDefs_);
  keptDefs_.clear();
}

void TKuraQuery::BuildFieldDefs() {
  fieldDefs_.clear();
  const std::vector<TFieldDescriptor>& fields = cursor_->Fields();
  auto add = [&](std::string name, TFieldDef def) {
    std::string unique = name;
    for (int n = 1; FindField(unique) >= 0; ++n) unique = name + "_" + std::to_string(n);
    def.name = unique;
    def.fieldNo = static_cast<int>(fieldDefs_.size()) + 1;
    fieldDefs_.push_back(std::move(def));
  };
  if (!live_) {
    for (const TFieldDescriptor& f : fields) {
      const TFieldKind kind = FieldKindOf(f.type, f.subtype);
      if (kind == TFieldKind::ftUnknown) continue;
      add(f.name, {.kind = kind, .size = f.declaredSize, .required = f.required != 0,
                   .origin = cursor_->TableName() + "." + f.name, .tableField = f.number});
    }
    return;
  }
  for (const sql::TResultField& r : execution_->Statement().Master().selectList) {
    const TFieldKind kind = FieldKindOf(r.type, r.subType);
    if (kind == TFieldKind::ftUnknown) continue;
    TFieldDef def{.kind = kind, .size = r.size};
    if (r.isColumn) {
      const TFieldDescriptor& f = fields[static_cast<std::size_t>(r.fieldNumber - 1)];
      def.required = f.required != 0;
      def.readOnly = f.IsAutoIncrement();
      def.tableField = r.fieldNumber;
      def.origin = cursor_->TableName() + "." + f.name;
    } else {
      def.readOnly = true;
      def.expression = r.expression.get();
      def.resultIndex = static_cast<int>(&r - execution_->Statement().Master().selectList.data());
    }
    add(r.name, std::move(def));
  }
}

void TKuraQuery::Close() {
  if (!Active()) return;
  if (state_ == TDataSetState::dsEdit && cursor_ != nullptr) cursor_->CancelEdit();
  buffer_.clear();
  oldValues_.clear();
  keptDefs_ = std::move(fieldDefs_);
  fieldDefs_.clear();
  keptExecution_ = execution_.get();
  keptGeneration_ = execution_ ? execution_->Generation() : 0;
  keptCursor_ = cursor_;
  keptLive_ = live_;
  cursor_ = nullptr;
  state_ = TDataSetState::dsInactive;
  bof_ = eof_ = true;
  NotifyDataSources(TDataEvent::deUpdateState);
  NotifyDataSources(TDataEvent::deDataSetChange);
}

// ---- moving ---------------------------------------------------------------------------

void TKuraQuery::RequireActive() const {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
}

void TKuraQuery::PostPending() {
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) Post();
}

void TKuraQuery::AfterMove(std::int32_t before) {
  if (cursor_->CurrentRecordNumber() != before) NotifyDataSources(TDataEvent::deDataSetScroll);
}

void TKuraQuery::First() {
  RequireActive();
  PostPending();
  const std::int32_t before = cursor_->CurrentRecordNumber();
  cursor_->First();
  const bool any = cursor_->Next();
  bof_ = true;
  eof_ = !any;
  AfterMove(before);
}

void TKuraQuery::Last() {
  RequireActive();
  PostPending();
  const std::int32_t before = cursor_->CurrentRecordNumber();
  cursor_->Last();
  const bool any = cursor_->Prior();
  eof_ = true;
  bof_ = !any;
  AfterMove(before);
}

// As a dataset's MoveBy: once the end (for Prior the beginning) is reached
// nothing happens; otherwise the cursor moves, or the flag is set and the
// row stays.
void TKuraQuery::Next() {
  RequireActive();
  PostPending();
  if (eof_) return;
  bof_ = false;
  const std::int32_t before = cursor_->CurrentRecordNumber();
  if (before == 0) {
    // The row went away under us (deleted by someone else, or the result
    // emptied): stand on what follows its place if anything does.
    eof_ = !cursor_->Next();
    AfterMove(before);
    return;
  }
  if (!cursor_->Next()) {
    eof_ = true;
    cursor_->Last();
    cursor_->Prior();
  }
  AfterMove(before);
}

void TKuraQuery::Prior() {
  RequireActive();
  PostPending();
  if (bof_) return;
  eof_ = false;
  const std::int32_t before = cursor_->CurrentRecordNumber();
  if (!cursor_->Prior()) {
    bof_ = true;
    cursor_->First();
    cursor_->Next();
  }
  AfterMove(before);
}

int TKuraQuery::RecordCount() {
  RequireActive();
  return static_cast<int>(cursor_->RecordCount());
}

int TKuraQuery::RecNo() {
  RequireActive();
  if (state_ == TDataSetState::dsInsert) return 0;
  return static_cast<int>(cursor_->CurrentOrdinal());
}

void TKuraQuery::EnableControls() {
  if (disabled_ == 0) return;
  if (--disabled_ == 0) NotifyDataSources(TDataEvent::deDataSetChange);
}

// ---- fields -----------------------------------------------------------------------------

const TFieldDef& TKuraQuery::Def(int index) const {
  if (index < 0 || index >= FieldCount()) Raise(KURA_OUTOFRANGE, {.field = std::to_string(index)});
  return fieldDefs_[static_cast<std::size_t>(index)];
}

const std::string& TKuraQuery::FieldName(int index) const { return Def(index).name; }

int TKuraQuery::FindField(std::string_view name) const {
  const std::string wanted = TrimBlanks(name);
  for (std::size_t i = 0; i < fieldDefs_.size(); ++i) {
    if (EqualNoCase(fieldDefs_[i].name, wanted)) return static_cast<int>(i);
  }
  return -1;
}

const std::uint8_t* TKuraQuery::RowImage() {
  RequireActive();
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) {
    return buffer_.data();
  }
  if (!OnRow()) return nullptr;
  // Read again (others' changes show at once); while the table shows no
  // change the cursor's image serves as it is.
  ErrorCode rc = 0;
  return cursor_->CurrentImage(rc);
}

Value TKuraQuery::FieldValue(int index) {
  RequireActive();
  const TFieldDef& def = Def(index);
  const std::uint8_t* image = RowImage();
  if (image == nullptr) return Value::NullOf(EngineTypeOf(def.kind));
  if (def.expression != nullptr) {
    return execution_->ResultValue(static_cast<std::size_t>(def.resultIndex), cursor_->Row(image));
  }
  return cursor_->GetField(image, def.tableField);
}

// The stored field behind a result column, when it holds whole numbers
// that read as they are stored (nullptr otherwise).
const TFieldDescriptor* TKuraQuery::StoredInteger(const TFieldDef& def) const {
  if (def.expression != nullptr || def.tableField < 1) return nullptr;
  const TFieldDescriptor& f = cursor_->Fields()[static_cast<std::size_t>(def.tableField - 1)];
  switch (f.type) {
    case kFieldSmallInt: case kFieldWord: case kFieldInteger: case kFieldUInt32:
    case kFieldLargeInt:
      return &f;
    default:
      return nullptr;
  }
}

bool TKuraQuery::FieldIsNull(int index) { return FieldValue(index).null; }

// Integer and string columns are decoded from the row image directly; the
// other kinds go through their value.
std::int64_t TKuraQuery::FieldAsInteger(int index) {
  RequireActive();
  if (const TFieldDescriptor* f = StoredInteger(Def(index))) {
    const std::uint8_t* image = RowImage();
    return image == nullptr ? 0 : GetFieldInt(image, *f).value_or(0);
  }
  return IntegerOf(FieldValue(index));
}

std::string TKuraQuery::FieldAsString(int index) {
  RequireActive();
  const TFieldDef& def = Def(index);
  if (def.expression == nullptr && def.tableField >= 1) {
    const TFieldDescriptor& f =
        cursor_->Fields()[static_cast<std::size_t>(def.tableField - 1)];
    if (f.type == kFieldString) {
      const std::uint8_t* image = RowImage();
      return image == nullptr ? std::string() : GetFieldString(image, f).value_or("");
    }
  }
  return TextOf(FieldValue(index));
}

void TKuraQuery::RequireEditable(const TFieldDef& def) const {
  RequireActive();
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) {
    DatabaseError(kNotEditing);
  }
  if (def.readOnly) DatabaseError(kFieldReadOnly, def.name);
}

void TKuraQuery::SetFieldValue(int index, const Value& value) {
  const TFieldDef& def = Def(index);
  RequireEditable(def);
  cursor_->SetField(buffer_.data(), def.tableField, value);
  NotifyDataSources(TDataEvent::deFieldChange, index);
}

// The stored field behind a result column when it is of `type` (one of the
// integer types or the string type), so that a value of that kind is put
// into the edit buffer as it is, without a value made for it; nullptr
// otherwise.
const TFieldDescriptor* TKuraQuery::StoredOfType(const TFieldDef& def, bool integer) const {
  if (def.expression != nullptr || def.tableField < 1) return nullptr;
  const TFieldDescriptor& f = cursor_->Fields()[static_cast<std::size_t>(def.tableField - 1)];
  if (!f.HasSlot()) return nullptr;  // the row id and computed fields are not stored to
  if (integer ? sql::IsIntegerType(f.type) : f.type == kFieldString) return &f;
  return nullptr;
}

// An integer that does not fit the field is refused rather than stored cut
// or cleared.
static void CheckIntegerRange(const TFieldDef& def, std::int64_t v) {
  std::int64_t lo = INT64_MIN, hi = INT64_MAX;
  switch (def.kind) {
    case TFieldKind::ftSmallint: lo = INT16_MIN; hi = INT16_MAX; break;
    case TFieldKind::ftInteger: case TFieldKind::ftAutoInc: lo = INT32_MIN; hi = INT32_MAX; break;
    case TFieldKind::ftWord: lo = 0; hi = UINT16_MAX; break;
    default: return;
  }
  if (v < lo) Raise(KURA_MINVALERR, {.field = def.name});
  if (v > hi) Raise(KURA_MAXVALERR, {.field = def.name});
}

void TKuraQuery::SetFieldAsInteger(int index, std::int64_t value) {
  const TFieldDef& def = Def(index);
  CheckIntegerRange(def, value);
  if (!IsStringKind(def.kind) && Active()) {
    if (const TFieldDescriptor* f = StoredOfType(def, /*integer=*/true)) {
      RequireEditable(def);
      SetFieldInt(buffer_.data(), *f, value);
      NotifyDataSources(TDataEvent::deFieldChange, index);
      return;
    }
  }
  if (IsStringKind(def.kind)) {
    SetFieldValue(index, Value::String(std::to_string(value)));
  } else {
    SetFieldValue(index, Value::Integer(value, sql::kTypeLargeInt));
  }
}

void TKuraQuery::SetFieldAsString(int index, std::string_view value) {
  const TFieldDef& def = Def(index);
  if (IsStringKind(def.kind) && Active()) {
    if (const TFieldDescriptor* f = StoredOfType(def, /*integer=*/false)) {
      RequireEditable(def);
      SetFieldString(buffer_.data(), *f, value, cursor_->Table().Data().Collation());
      NotifyDataSources(TDataEvent::deFieldChange, index);
      return;
    }
  }
  if (value.empty()) {
    SetFieldValue(index, Value::NullOf(EngineTypeOf(def.kind)));
  } else if (IsStringKind(def.kind) || def.kind == TFieldKind::ftBlob) {
    SetFieldValue(index, Value::String(std::string(value)));
  } else if (def.kind == TFieldKind::ftFloat || def.kind == TFieldKind::ftCurrency ||
             def.kind == TFieldKind::ftBCD) {
    SetFieldValue(index, Value::Float(std::stod(std::string(value))));
  } else {
    const std::int64_t n = IntegerOf(Value::String(std::string(value)));
    CheckIntegerRange(def, n);
    SetFieldValue(index, Value::Integer(n, sql::kTypeLargeInt));
  }
}

void TKuraQuery::ClearField(int index) {
  SetFieldValue(index, Value::NullOf(EngineTypeOf(Def(index).kind)));
}

// ---- changing ------------------------------------------------------------------------------

void TKuraQuery::SetState(TDataSetState s) {
  if (state_ == s) return;
  state_ = s;
  NotifyDataSources(TDataEvent::deUpdateState);
}

void TKuraQuery::Edit() {
  RequireActive();
  if (state_ != TDataSetState::dsBrowse) return;
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset");
  if (!OnRow()) Raise(KURA_NOCURRREC, {.table = cursor_->TableName()});
  buffer_.assign(cursor_->RecordLength(), 0);
  const ErrorCode rc = cursor_->ReadCurrent(buffer_.data(), true);
  if (rc != 0) Raise(rc, {.table = cursor_->TableName()});
  oldValues_ = buffer_;
  SetState(TDataSetState::dsEdit);
}

void TKuraQuery::Append() {
  RequireActive();
  PostPending();
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset");
  // The edit buffer keeps its storage from row to row.
  buffer_.resize(cursor_->RecordLength());
  cursor_->InitRecord(buffer_.data());
  if (CopyOnAppend && OnRow()) cursor_->ReadCurrent(buffer_.data());
  oldValues_.clear();
  SetState(TDataSetState::dsInsert);
  NotifyDataSources(TDataEvent::deDataSetChange);
}

// The position of a new row is chosen by the table (a table without
// primary-key fields adds it at its end), so Insert stores as Append does.
void TKuraQuery::Insert() { Append(); }

void TKuraQuery::AfterChange() {
  bof_ = eof_ = !OnRow();
  NotifyDataSources(TDataEvent::deDataSetChange);
}

void TKuraQuery::Post() {
  RequireActive();
  if (state_ == TDataSetState::dsEdit) {
    cursor_->ModifyRecord(buffer_.data(), true);
  } else if (state_ == TDataSetState::dsInsert) {
    cursor_->AddRecord(buffer_.data(), true);
  } else {
    return;
  }
  buffer_.clear();
  oldValues_.clear();
  SetState(TDataSetState::dsBrowse);
  AfterChange();
}

void TKuraQuery::Cancel() {
  if (state_ == TDataSetState::dsEdit) cursor_->CancelEdit();
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  buffer_.clear();
  oldValues_.clear();
  SetState(TDataSetState::dsBrowse);
  NotifyDataSources(TDataEvent::deRecordChange);
}

void TKuraQuery::Delete() {
  RequireActive();
  if (state_ == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  Cancel();
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset");
  if (!OnRow()) Raise(KURA_NOCURRREC, {.table = cursor_->TableName()});
  cursor_->DeleteRecord(true);
  AfterChange();
}

// ---- locate -----------------------------------------------------------------------------------

namespace {

std::vector<std::string> SplitNames(std::string_view names) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= names.size()) {
    const std::size_t end = std::min(names.find(';', start), names.size());
    out.push_back(TrimBlanks(names.substr(start, end - start)));
    start = end + 1;
  }
  return out;
}

bool LowerEqual(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

// "field = value" with the engine's null rule (null equals only null), or
// the case-insensitive and partial-key variants of the options.
bool Matches(const Value& have, const TLocateValue& want, bool isString, bool last,
             const TLocateOptions& options) {
  if (std::holds_alternative<std::monostate>(want)) return have.null;
  if (have.null) return false;
  if (!isString && std::holds_alternative<std::int64_t>(want)) {
    if (sql::IsIntegerType(have.type)) return have.integer == std::get<std::int64_t>(want);
    return TextOf(have) == std::to_string(std::get<std::int64_t>(want));
  }
  std::string h = TextOf(have);
  const std::string w = std::holds_alternative<std::int64_t>(want)
                            ? std::to_string(std::get<std::int64_t>(want))
                            : std::get<std::string>(want);
  if (options.partialKey && last && isString) h = h.substr(0, w.size());
  return options.caseInsensitive ? LowerEqual(h, w) : h == w;
}

}  // namespace

// A temporary filter on the result cursor, applied together with the
// result's own condition; the cursor walks the result's order to the
// first row that passes, and the filter is removed again.
bool TKuraQuery::Locate(std::string_view fieldNames, const std::vector<TLocateValue>& values,
                        TLocateOptions options) {
  RequireActive();
  PostPending();
  std::vector<int> fields;
  for (const std::string& n : SplitNames(fieldNames)) {
    const int f = FindField(n);
    if (f < 0) Raise(KURA_INVALIDFIELDNAME, {.field = n, .table = cursor_->TableName()});
    fields.push_back(f);
  }
  if (fields.size() != values.size()) return false;
  const std::int32_t before = cursor_->CurrentRecordNumber();
  auto test = [&](const sql::RowAccessor& row) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const TFieldDef& d = fieldDefs_[static_cast<std::size_t>(fields[i])];
      const Value v = d.expression != nullptr ? sql::Evaluate(*d.expression, row)
                                              : row.FieldValue(1, d.tableField);
      if (!Matches(v, values[i], IsStringKind(d.kind), i + 1 == fields.size(), options)) {
        return false;
      }
    }
    return true;
  };
  // One walk over the visible rows in result order; the first that matches
  // is the answer. No filter is installed, so the result's own filters are
  // not computed again.
  if (!cursor_->FindFirst(test)) return false;
  bof_ = eof_ = false;
  AfterMove(before);
  return true;
}

}  // namespace kura
