// TDataSet: the row-by-row view of a query result that the program works
// with: browse, read and assign fields by position, edit, append, post,
// delete, locate, and detach bound controls during long walks.
//
// TKuraQuery implements it over the engine's result cursors. Strings are
// the table's bytes (Shift-JIS for the program's library); the program
// converts them at its own boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/component/data_source.h"

namespace kura {

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// A value handed to Locate: null, an integer or a string.
using TLocateValue = std::variant<std::monostate, std::int64_t, std::string>;

// Locate options; the program passes none (exact, case-sensitive).
struct TLocateOptions {
  bool caseInsensitive = false;
  bool partialKey = false;
};

class TDataSet;

// Field i of the current row. Reading a null gives 0 or "".
class TField {
 public:
  TField(TDataSet& dataSet, int index) : dataSet_(dataSet), index_(index) {}
  std::int64_t AsInteger() const;
  std::string AsString() const;
  bool IsNull() const;
  // Assignments need edit or insert state ("Table is not in edit or
  // insert mode." otherwise).
  void SetAsInteger(std::int64_t value);
  void SetAsString(std::string_view value);
  void Clear();
  const std::string& FieldName() const;
  int Index() const { return index_; }

 private:
  TDataSet& dataSet_;
  int index_;
};

class TDataSet {
 public:
  // Detaches the data sources still attached.
  virtual ~TDataSet();

  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual bool Active() const = 0;
  virtual TDataSetState State() const = 0;

  // Moving posts a pending edit or insert first.
  virtual void First() = 0;
  virtual void Last() = 0;
  virtual void Next() = 0;   // on the last row: sets Eof, the row stays
  virtual void Prior() = 0;  // on the first row: sets Bof, the row stays
  virtual bool Eof() const = 0;
  virtual bool Bof() const = 0;
  virtual int RecordCount() = 0;
  // 1-based position of the current row in the result, 0 when none.
  virtual int RecNo() = 0;

  // Columns of the result, in order.
  virtual int FieldCount() const = 0;
  virtual const std::string& FieldName(int index) const = 0;
  // The index of the field named `name` (without regard to case), -1 if none.
  virtual int FindField(std::string_view name) const = 0;
  TField Fields(int index) { return TField(*this, index); }
  TField FieldByName(std::string_view name);

  virtual bool FieldIsNull(int index) = 0;
  virtual std::int64_t FieldAsInteger(int index) = 0;
  virtual std::string FieldAsString(int index) = 0;
  virtual void SetFieldAsInteger(int index, std::int64_t value) = 0;
  virtual void SetFieldAsString(int index, std::string_view value) = 0;
  virtual void ClearField(int index) = 0;

  virtual void Edit() = 0;
  virtual void Append() = 0;
  virtual void Insert() = 0;
  virtual void Post() = 0;
  virtual void Cancel() = 0;
  virtual void Delete() = 0;

  // Finds the first row in result order whose fields (names separated by
  // ";") equal `values`; makes it current and returns true, or returns
  // false and keeps the current row.
  virtual bool Locate(std::string_view fieldNames,
                      const std::vector<TLocateValue>& values,
                      TLocateOptions options = {}) = 0;

  // Bound controls stop following the current row until EnableControls
  // (calls nest); used during long walks over the rows.
  virtual void DisableControls() = 0;
  virtual void EnableControls() = 0;
  virtual bool ControlsDisabled() const = 0;

  // Data sources attached to this dataset (TDataSource::SetDataSet calls
  // these). Implementations tell them of changes through NotifyDataSources.
  void AttachDataSource(TDataSource* source);
  void DetachDataSource(TDataSource* source);
  const std::vector<TDataSource*>& DataSources() const { return dataSources_; }

 protected:
  // Passes `event` to every attached source unless controls are disabled.
  void NotifyDataSources(TDataEvent event, int info = 0);

 private:
  std::vector<TDataSource*> dataSources_;
};

inline std::int64_t TField::AsInteger() const { return dataSet_.FieldAsInteger(index_); }
inline std::string TField::AsString() const { return dataSet_.FieldAsString(index_); }
inline bool TField::IsNull() const { return dataSet_.FieldIsNull(index_); }
inline void TField::SetAsInteger(std::int64_t v) { dataSet_.SetFieldAsInteger(index_, v); }
inline void TField::SetAsString(std::string_view v) { dataSet_.SetFieldAsString(index_, v); }
inline void TField::Clear() { dataSet_.ClearField(index_); }
inline const std::string& TField::FieldName() const { return dataSet_.FieldName(index_); }

}  // namespace kura
