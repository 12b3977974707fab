// The rows of a joined table by the value of one of its columns, for an
// equality of the join: every two values that "=" finds equal land under
// the same key (numbers by value, text by its bytes, null with null).
// Integral numbers are kept in an open-addressing table of 64-bit keys;
// other numbers and texts by an encoded key. Rows with equal keys are
// chained in ascending order.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/expr/sql_value.h"

namespace kura::sql {

class JoinKeyTable {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // Room for rows 0..rows-1. Rows must then be added from the last down.
  explicit JoinKeyTable(std::size_t rows);
  void Add(const Value& key, std::uint32_t row);
  // The first row under `key`, kNone when there is none.
  std::uint32_t First(const Value& key) const;
  // The row after `row` under the same key, kNone at the end.
  std::uint32_t Next(std::uint32_t row) const { return next_[row]; }

 private:
  // True (with *out set) when the value is an integer or an integral number
  // within the 64-bit range.
  static bool IntegralKey(const Value& v, std::int64_t* out);
  static std::string OtherKey(const Value& v);
  std::size_t Slot(std::int64_t key) const;

  struct Entry {
    std::int64_t key = 0;
    std::uint32_t head = kNone;  // kNone: a free slot
  };
  std::vector<Entry> slots_;
  std::unordered_map<std::string, std::uint32_t> others_;
  std::vector<std::uint32_t> next_;
};

}  // namespace kura::sql
