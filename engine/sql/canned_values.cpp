#include "engine/sql/canned_values.h"

#include <algorithm>
#include <cmath>

#include "engine/expr/evaluator.h"
#include "engine/expr/sql_error.h"
#include "engine/storage/field_values.h"
#include "engine/storage/index_key.h"
#include "engine/storage/record_values.h"

namespace kura::sql {

Value ReadFieldValue(const std::uint8_t* rec, const TFieldDescriptor& f) {
  const int type = f.type;
  const int sub = f.subtype;
  if (!f.IsAutoIncrement() && (!f.HasSlot() || IsFieldNull(rec, f))) {
    return Value::NullOf(type == kFieldUInt32 ? kTypeLargeInt : type, sub);
  }
  switch (type) {
    case kFieldString: {
      Value v = Value::String(GetFieldString(rec, f).value_or(""));
      v.subType = sub;
      return v;
    }
    case kFieldDate: return Value::Date(static_cast<std::int32_t>(*GetFieldInt(rec, f)));
    case kFieldTime: return Value::Time(static_cast<std::int32_t>(*GetFieldInt(rec, f)));
    case kFieldBoolean: return Value::Boolean(*GetFieldInt(rec, f) != 0);
    case kFieldSmallInt: case kFieldInteger: case kFieldWord: case kFieldLargeInt: {
      Value v = Value::Integer(*GetFieldInt(rec, f), type);
      v.subType = sub;
      return v;
    }
    case kFieldUInt32: return Value::Integer(*GetFieldInt(rec, f), kTypeLargeInt);
    case kFieldFloat: {
      Value v = Value::Float(*GetFieldDouble(rec, f));
      v.subType = sub;
      return v;
    }
    case kFieldTimestamp: return Value::Timestamp(*GetFieldDouble(rec, f));
    case kFieldBcd:
      return Value::Float(static_cast<double>(BcdTimes10000(rec + f.offset + 1)) / 10000.0,
                          kTypeBcd);
    case kFieldBytes: case kFieldVarBytes: case kFieldExtended: {
      Value v;
      v.type = type == kFieldExtended ? kTypeBytes : type;
      v.null = false;
      v.text = GetFieldBytes(rec, f).value_or("");
      return v;
    }
    default: return Value::NullOf(type, sub);  // BLOBs
  }
}

void WriteFieldValue(std::uint8_t* rec, const TFieldDescriptor& f, const Value& in,
                     const TableCollation* collation) {
  if (in.null || !f.HasSlot() || f.type == kFieldBlob) {
    if (f.HasSlot()) SetFieldNull(rec, f);
    return;
  }
  const Value v = in.type == f.type ? in : ConvertValue(in, f.type, f.subtype);
  if (v.null) {
    SetFieldNull(rec, f);
    return;
  }
  switch (f.type) {
    case kFieldString: SetFieldString(rec, f, v.text, collation); break;
    case kFieldFloat: case kFieldTimestamp: SetFieldDouble(rec, f, v.real); break;
    case kFieldBytes: case kFieldVarBytes: SetFieldBytes(rec, f, v.text); break;
    case kFieldBcd: {
      std::uint8_t bcd[34];
      EncodeBcd(v.AsDouble(), bcd);
      SetFieldBytes(rec, f, std::string_view(reinterpret_cast<const char*>(bcd), sizeof bcd));
      break;
    }
    default:
      // A column never wraps a value it cannot hold.
      if (!FitsIntegerField(f.type, v.integer)) {
        SqlError("Integer overflow in the column '" + f.name + "'");
      }
      SetFieldInt(rec, f, v.integer);
      break;
  }
}

Value ColumnValue(const Value& v, int type, int subType) {
  if (v.null || type == kTypeNone || v.type == type) return v;
  if (type == kTypeBlob) return IsTextType(v.type, v.subType) ? v : ConvertValue(v, kTypeString, 0);
  Value c = ConvertValue(v, type, subType);
  if (IsIntegerType(type) && !c.null && !FitsIntegerField(type, c.integer)) {
    SqlError("Integer overflow in a column of the result");
  }
  return c;
}

bool FitsIntegerField(int type, std::int64_t v) {
  switch (type) {
    case kFieldSmallInt: return v >= INT16_MIN && v <= INT16_MAX;
    case kFieldWord: return v >= 0 && v <= UINT16_MAX;
    case kFieldInteger: return v >= INT32_MIN && v <= INT32_MAX;
    case kFieldUInt32: return v >= 0 && v <= UINT32_MAX;
    default: return true;
  }
}

TFieldDescriptor ResultColumnField(std::uint16_t number, const std::string& name, int type,
                                   int subType, int size, const std::string& text) {
  if (type == kTypeNone) type = kTypeString;  // a bare NULL column
  if (type == kTypeInteger && subType == kSubAutoInc) subType = 0;
  std::uint8_t declared = 0;
  if (HasDeclaredSize(static_cast<std::uint8_t>(type))) {
    if (size > static_cast<int>(kMaxDeclaredSize)) {
      SqlError("Column expression '" + text + "' exceeds the maximum allowable field size");
    }
    declared = static_cast<std::uint8_t>(std::max(size, 1));
  }
  TFieldDescriptor f = MakeField(number, name.substr(0, kMaxFieldNameLength),
                                static_cast<std::uint8_t>(type), declared,
                                static_cast<std::uint8_t>(subType));
  if (type == kTypeBcd) f.declaredScale = 4;  // BCD values are read with four decimals
  return f;
}

}  // namespace kura::sql
