// Query parameters: the marker scan that turns ":name" markers of a
// statement text into "?" and a list of names, and the parameter list
// (TParams) whose values are bound to those markers by position.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/sql_value.h"

namespace kura {

// The result of scanning a statement text for parameter markers.
struct TParamScan {
  std::string processedText;       // every marker replaced by "?"
  std::vector<std::string> names;  // one per marker, in order of appearance
};

// Scans `text`: a ":" outside a quoted literal and not followed by another
// ":" starts a marker whose name runs to the next blank, CR, LF, ",", ";",
// ")" or the end (a name starting with a quote runs to the matching quote,
// quotes removed); "::" becomes ":"; ', " and ` toggle the literal state.
TParamScan ScanParameterMarkers(std::string_view text);

// One parameter: a name, a data type (engine type code, 0 while no value
// was ever given), a value and whether it was bound explicitly.
class TParam {
 public:
  explicit TParam(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  int DataType() const { return dataType_; }
  bool IsNull() const { return null_; }
  // True once a value was set through one of the setters below.
  bool Bound() const { return bound_; }

  // The value as an integer (0 when null) or as a string ("" when null).
  std::int64_t AsInteger() const;
  std::string AsString() const;

  // Each setter gives the parameter a value and the matching data type.
  void SetAsInteger(std::int64_t value);
  void SetAsString(std::string_view value);
  // Null with the given data type (a null still needs a type to be bound).
  void SetNull(int dataType);
  // Copies type, value and null flag (not the name) from `other`.
  void AssignValue(const TParam& other);
  // Sets the value from a field value of a master dataset; not an explicit
  // binding.
  void SetFromMaster(const sql::Value& value);

  // The value handed to the statement. Strings are stripped of trailing
  // blanks; one that is then empty is bound as null.
  sql::Value BindValue() const;

 private:
  std::string name_;
  int dataType_ = 0;
  bool null_ = true;
  bool bound_ = false;
  std::int64_t integer_ = 0;
  std::string text_;
};

// The parameter list of a query, in order of appearance of the markers.
class TParams {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Parameter i (0-based); raises 9985 when out of range.
  TParam& operator[](int i);
  const TParam& operator[](int i) const;
  // The first parameter of that name (without regard to case), nullptr if
  // none.
  TParam* FindParam(std::string_view name);
  // The first parameter of that name; raises 10038 when there is none.
  TParam& ParamByName(std::string_view name);
  void Clear() { items_.clear(); }
  TParam& Add(std::string name);

  // Replaces the list by one parameter per name; a parameter whose name
  // was present before keeps its value (the first of that name supplies
  // it).
  void Rebuild(const std::vector<std::string>& names);

 private:
  std::vector<std::unique_ptr<TParam>> items_;
};

}  // namespace kura
