// The engine's field type codes and subtypes, as stored in field descriptors,
// and small predicates over them used by the SQL layer.
#pragma once

namespace kura::sql {

// Type codes. 0 is no type: the null constant and a parameter not yet bound.
inline constexpr int kTypeNone = 0;
inline constexpr int kTypeString = 1;     // zero-terminated single-byte text
inline constexpr int kTypeDate = 2;       // day number, 0001-01-01 is day 1
inline constexpr int kTypeBlob = 3;       // BLOB; subtype 22 is a memo
inline constexpr int kTypeBoolean = 4;    // 16-bit, 0 false, non-zero true
inline constexpr int kTypeSmallInt = 5;   // 16-bit signed
inline constexpr int kTypeInteger = 6;    // 32-bit signed
inline constexpr int kTypeFloat = 7;      // IEEE double
inline constexpr int kTypeBcd = 8;        // packed decimal
inline constexpr int kTypeBytes = 9;      // fixed bytes
inline constexpr int kTypeTime = 10;      // milliseconds since midnight
inline constexpr int kTypeTimestamp = 11; // day number * 86400000 + ms
inline constexpr int kTypeWord = 12;      // 16-bit unsigned
inline constexpr int kTypeVarBytes = 15;  // variable bytes
inline constexpr int kTypeLargeInt = 18;  // 64-bit signed

// Subtypes.
inline constexpr int kSubMoney = 21;          // of kTypeFloat
inline constexpr int kSubMemo = 22;           // of kTypeBlob
inline constexpr int kSubFormattedMemo = 24;  // of kTypeBlob
inline constexpr int kSubGraphic = 26;        // of kTypeBlob
inline constexpr int kSubTypedBlob = 28;      // of kTypeBlob
inline constexpr int kSubAutoInc = 29;        // of kTypeInteger
inline constexpr int kSubFixedString = 31;    // of kTypeString

inline constexpr bool IsIntegerType(int type) {
  return type == kTypeSmallInt || type == kTypeInteger ||
         type == kTypeWord || type == kTypeLargeInt;
}
// Integers, floating point and BCD: the types compared with each other by value.
inline constexpr bool IsNumericType(int type) {
  return IsIntegerType(type) || type == kTypeFloat || type == kTypeBcd;
}
inline constexpr bool IsMemoType(int type, int subType) {
  return type == kTypeBlob && subType == kSubMemo;
}
// Strings and memos: the operands of text operators.
inline constexpr bool IsTextType(int type, int subType) {
  return type == kTypeString || IsMemoType(type, subType);
}
inline constexpr bool IsDateTimeType(int type) {
  return type == kTypeDate || type == kTypeTime || type == kTypeTimestamp;
}

}  // namespace kura::sql
