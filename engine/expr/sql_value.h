// Value: one typed value of an SQL expression (null flag + engine type), and
// the comparison rules of the engine's SQL, which differ from standard SQL in
// how they treat null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr/field_types.h"

namespace kura::sql {

struct Value {
  int type = kTypeNone;  // engine type code; kTypeNone for the untyped null
  int subType = 0;
  bool null = true;
  // Integers of every width, booleans (0/1), dates (day number), times (ms).
  std::int64_t integer = 0;
  // Floating point, BCD and timestamps.
  double real = 0;
  // Strings, memos, bytes and BLOBs.
  std::string text;

  static Value Null() { return Value{}; }
  static Value Integer(std::int64_t v, int type = kTypeInteger);
  static Value Float(double v, int type = kTypeFloat);
  // An empty string is null: the engine stores no empty strings.
  static Value String(std::string v);
  static Value Boolean(bool v);
  static Value Date(std::int32_t dayNumber);
  static Value Time(std::int32_t ms);
  static Value Timestamp(double v);
  // A null value that still carries a type (a null column of that type).
  static Value NullOf(int type, int subType = 0);

  // Non-null and non-zero. A null boolean counts as false.
  bool IsTrue() const;
  // The value as a double (numeric, date, time and timestamp types).
  double AsDouble() const;
};

// How strings are ordered: the query's collation. The default is byte order,
// the collation of tables whose language id is 0.
class Collation {
 public:
  virtual ~Collation() = default;
  // <0, 0 or >0 as a sorts before, equal to or after b.
  virtual int Compare(std::string_view a, std::string_view b) const;
  // The code page of the text (1252 single-byte, 932 Shift-JIS), which the
  // string functions count characters in.
  virtual int CodePage() const { return 1252; }
};

// Bytes of the character that starts at byte `pos` of `text` in `codePage`:
// 2 for a Shift-JIS lead byte followed by another byte, else 1.
std::size_t CharacterBytes(std::string_view text, std::size_t pos, int codePage);
// The number of characters of `text`.
std::size_t CharacterCount(std::string_view text, int codePage);
// The byte offset of character `n` (from 0) of `text`; its size when the
// text has fewer characters.
std::size_t CharacterOffset(std::string_view text, std::size_t n, int codePage);
// The longest head of `text` of at most `bytes` bytes that ends on a
// character boundary.
std::string_view CutToBytes(std::string_view text, std::size_t bytes, int codePage);

// The byte-order collation.
const Collation& ByteOrderCollation();

enum class CompareOp { kEq, kNe, kLt, kLe, kGt, kGe };

// Applies a comparison operator with the engine's null rules:
//  "=":  both null true, one null false; "<>": both null false, one null true;
//  "<" "<=" ">" ">=" on non-strings: one null false, both null compare the
//  zero values (so "<=" and ">=" hold); strings and memos in the ordering
//  operators compare without a null test, null as the empty string.
// Numbers of different numeric types are compared by value. Operands whose
// types cannot be compared (the type check rejects them earlier) compare as
// unequal.
bool CompareValues(CompareOp op, const Value& left, const Value& right,
                   const Collation& collation);

// <0, 0, >0 for two non-null values of comparable types (a null string as
// ""); used by the comparison operators above and by sorting.
int OrderValues(const Value& left, const Value& right,
                const Collation& collation);

}  // namespace kura::sql
