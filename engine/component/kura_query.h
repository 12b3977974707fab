// TKuraQuery: a query dataset. It holds the lines of one SQL statement and
// its parameters; opening it resolves its database, prepares the statement,
// binds the parameter values, executes it and presents the result cursor
// (the source table itself for a live result, a temporary table for a
// canned one) as a TDataSet: browsed row by row, read and assigned by
// field, edited, appended to, deleted from and searched with Locate.
//
// Rows. The current row is the cursor's current record; reading a field in
// browse state reads that record again, so changes by other users show at
// once. Edit and insert work on a record buffer that Post writes; the
// cursor then stands on the posted row, or on the row that followed its
// place when it left the result (the next one, else the last, else none).
//
// Errors of the engine pass through unchanged as EKuraEngineError; usage
// errors are EDatabaseError with the component layer's fixed texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/component/data_set.h"
#include "engine/component/kura_params.h"
#include "engine/component/kura_session.h"
#include "engine/sql/query_execution.h"

namespace kura {

// Kinds of dataset fields, from the engine's type codes.
enum class TFieldKind {
  ftUnknown, ftString, ftFixedChar, ftDate, ftBlob, ftMemo, ftFmtMemo, ftGraphic,
  ftTypedBinary, ftBoolean, ftSmallint, ftInteger, ftAutoInc, ftFloat, ftCurrency,
  ftBCD, ftBytes, ftTime, ftDateTime, ftWord, ftVarBytes, ftLargeint
};

// The field kind of an engine type and subtype; ftUnknown for a type that
// gets no dataset field.
TFieldKind FieldKindOf(int type, int subType);
// The engine type code of a field kind (0 for ftUnknown).
int EngineTypeOf(TFieldKind kind);

// One field definition of an open result.
struct TFieldDef {
  std::string name{};      // unique in the result ("%s_%d" for repeats)
  int fieldNo = 0;         // from 1, in column order
  TFieldKind kind = TFieldKind::ftUnknown;
  int size = 0;
  bool required = false;
  bool readOnly = false;   // calculated columns of a live result
  std::string origin{};    // source table and column
  int tableField = 0;      // the cursor's field number; 0 for a calculated column
  const sql::TExpToken* expression = nullptr;  // calculated columns
  int resultIndex = -1;  // calculated columns: the select-list item (from 0)
};

class TKuraQuery final : public TDataSet {
 public:
  TKuraQuery();
  ~TKuraQuery() override;
  TKuraQuery(const TKuraQuery&) = delete;
  TKuraQuery& operator=(const TKuraQuery&) = delete;

  // ---- statement ----
  // Every change of the lines closes the dataset, unprepares it and, with
  // ParamCheck, rebuilds Params from the markers (values of names that
  // remain are kept).
  const std::vector<std::string>& SQL() const { return sql_; }
  void ClearSQL();
  void AddSQL(std::string_view line);
  void SetSQL(std::vector<std::string> lines);
  // The lines joined by line breaks, and that text with "?" for markers.
  std::string Text() const;
  const std::string& ProcessedText() const { return processedText_; }

  TParams& Params() { return params_; }
  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool check) { paramCheck_ = check; }

  // ---- settings ----
  // DatabaseName, SessionName and ReadOnly only while inactive ("Cannot
  // perform this operation on an open database." otherwise); a new
  // DatabaseName unprepares.
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string_view name);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  bool RequestLive() const { return requestLive_; }
  void SetRequestLive(bool live);
  int MaxRowCount() const { return maxRowCount_; }
  // Passed to a prepared statement at once.
  void SetMaxRowCount(int count);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  bool AutoDisplayLabels = false;
  bool CopyOnAppend = false;
  static constexpr std::string_view EngineVersion() { return "3.30"; }
  // A master whose current row supplies values to parameters not bound
  // explicitly, by name. Raises "Circular data links are not allowed." for
  // a source of this query.
  void SetDataSource(TDataSource* source);
  TDataSource* DataSource() const { return dataSource_; }

  // ---- preparing ----
  // Prepares without opening: "No SQL statement available" for no lines or
  // a processed text shorter than 2 characters; the statement's errors.
  void Prepare();
  void UnPrepare();
  bool Prepared() const { return execution_ && execution_->Prepared(); }
  // Executes a statement that returns no rows.
  void ExecSQL();

  // Whether the result is live, rows affected and execution time of the
  // last execution.
  bool Live() const { return live_; }
  std::int64_t RowsAffected() const { return rowsAffected_; }
  double ExecutionTime() const { return executionTime_; }
  // Whether rows can be changed: a writable result and ReadOnly false.
  bool CanModify() const { return Active() && !readOnly_ && !cursorReadOnly_; }

  const std::vector<TFieldDef>& FieldDefs() const { return fieldDefs_; }
  // The value of field `index` of the current row (or of the edit buffer).
  sql::Value FieldValue(int index);
  // Assigns a value (null clears the field).
  void SetFieldValue(int index, const sql::Value& value);

  // ---- TDataSet ----
  void Open() override;
  void Close() override;
  bool Active() const override { return state_ != TDataSetState::dsInactive; }
  TDataSetState State() const override { return state_; }
  void First() override;
  void Last() override;
  void Next() override;
  void Prior() override;
  bool Eof() const override { return eof_; }
  bool Bof() const override { return bof_; }
  int RecordCount() override;
  int RecNo() override;
  int FieldCount() const override { return static_cast<int>(fieldDefs_.size()); }
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
  bool Locate(std::string_view fieldNames, const std::vector<TLocateValue>& values,
              TLocateOptions options = {}) override;
  void DisableControls() override { ++disabled_; }
  void EnableControls() override;
  bool ControlsDisabled() const override { return disabled_ > 0; }

 private:
  void SQLChanged();
  void Resolve();
  void ReleaseDatabase();
  std::vector<sql::Value> BindValues();
  void Execute();
  void BuildFieldDefs();
  // BuildFieldDefs, or the definitions kept from the last open when they
  // still describe the result.
  void TakeFieldDefs();
  void RequireActive() const;
  const TFieldDef& Def(int index) const;
  void PostPending();
  // The image fields are read from: the edit buffer while editing or
  // inserting, else the current row; nullptr when there is none.
  const std::uint8_t* RowImage();
  const TFieldDescriptor* StoredInteger(const TFieldDef& def) const;
  const TFieldDescriptor* StoredOfType(const TFieldDef& def, bool integer) const;
  // Raises the dataset's errors unless `def` may be changed now.
  void RequireEditable(const TFieldDef& def) const;
  // The dataset follows the cursor: on its record or on none.
  bool OnRow() const { return cursor_ != nullptr && cursor_->CurrentRecordNumber() != 0; }
  void SetState(TDataSetState s);
  void AfterMove(std::int32_t before);
  void AfterChange();

  std::vector<std::string> sql_;
  std::string processedText_;
  TParams params_;
  bool paramCheck_ = true;
  std::string databaseName_;
  std::string sessionName_;
  bool requestLive_ = false;
  int maxRowCount_ = -1;
  bool readOnly_ = false;
  TDataSource* dataSource_ = nullptr;

  TKuraSession* session_ = nullptr;     // of the prepared statement
  TKuraDatabase* database_ = nullptr;   // referenced while prepared or open
  std::unique_ptr<sql::TQueryExecution> execution_;
  TDataCursor* cursor_ = nullptr;       // the result cursor, owned by execution_
  bool cursorReadOnly_ = false;
  bool live_ = false;
  std::int64_t rowsAffected_ = 0;
  double executionTime_ = 0;

  TDataSetState state_ = TDataSetState::dsInactive;
  bool bof_ = true;
  bool eof_ = true;
  std::vector<TFieldDef> fieldDefs_;
  // The definitions of the last open, taken again by the next open while
  // the statement, its setting up and its result cursor are the same.
  std::vector<TFieldDef> keptDefs_;
  const sql::TQueryExecution* keptExecution_ = nullptr;
  std::uint64_t keptGeneration_ = 0;
  const TDataCursor* keptCursor_ = nullptr;
  bool keptLive_ = false;
  std::vector<std::uint8_t> buffer_;     // the row being edited or inserted
  std::vector<std::uint8_t> oldValues_;  // the edited row before the edit
  int disabled_ = 0;
};

}  // namespace kura
