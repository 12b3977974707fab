// The rows of a joined table whose column equals a value, found through an
// index of that table whose first key field is the column: a few lookups
// instead of reading the whole table. The rows found are those the index
// holds under the value (the join's condition is still tested on each).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/sql/canned_execution.h"

namespace kura {
class TableFilterSource;
}

namespace kura::sql {

class JoinIndexProbe {
 public:
  // nullptr when no index of table `table` starts with field `fieldNo` or
  // its keys cannot find every equal value (text is looked up only when
  // it compares as bytes and the table has no locale).
  static std::unique_ptr<JoinIndexProbe> For(const SourceRows& rows, std::size_t table,
                                             int fieldNo, bool byteOrderText);
  ~JoinIndexProbe();

  // The active records whose field equals `v` (null finds the null
  // fields), copied into `images` one after another in record order;
  // returns how many. nullopt when the index cannot answer for this value.
  std::optional<std::size_t> Find(const Value& v, std::vector<std::uint8_t>& images);
  // Lookups made so far.
  std::size_t Probes() const { return probes_; }

 private:
  JoinIndexProbe(const SourceRows& rows, std::size_t table, int index);
  // `v` as a value of the field's kind; false when no field value can
  // equal it, nullopt when it cannot be looked up.
  std::optional<bool> KeyValue(const Value& v, Value* key) const;

  const SourceRows& rows_;
  std::size_t table_;
  int index_;
  const TFieldDescriptor& field_;
  std::unique_ptr<TableFilterSource> source_;
  std::vector<std::int32_t> records_;
  std::size_t probes_ = 0;
};

}  // namespace kura::sql
