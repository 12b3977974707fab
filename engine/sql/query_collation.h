// The collation a query compares strings with: that of its first source table,
// unless LANGUAGE (and SORT) name another. Header-only so that the SQL layer's
// sources build without the storage layer (the fuzz target does).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/errors/kura_error.h"
#include "engine/expr/sql_value.h"
#include "engine/sql/sql_query.h"
#include "engine/storage/locale.h"

namespace kura::sql {

// A Collation over a table locale's collation.
class QueryCollation : public Collation {
 public:
  explicit QueryCollation(std::shared_ptr<const kura::TableCollation> collation)
      : collation_(std::move(collation)) {}
  int Compare(std::string_view a, std::string_view b) const override {
    return collation_->Compare(a, b);
  }
  const kura::TableCollation& table() const { return *collation_; }

 private:
  std::shared_ptr<const kura::TableCollation> collation_;
};

// The collation of a resolved query. Raises 15878 when the locale is not
// installed (naming the first source table).
inline QueryCollation CollationOf(const TDataQuery& query) {
  std::int16_t language = 0;
  std::int16_t sort = 0;
  std::string table;
  if (!query.sources.empty() && query.sources.front()->schema) {
    language = static_cast<std::int16_t>(query.sources.front()->schema->languageId);
    sort = static_cast<std::int16_t>(query.sources.front()->schema->sortId);
    table = query.sources.front()->tableName;
  }
  if (!query.language.empty()) {
    language = static_cast<std::int16_t>(query.languageId);
    sort = static_cast<std::int16_t>(query.sortId);
  }
  auto collation = kura::TableCollation::For(language, sort);
  if (!collation) Raise(KURA_CANNOTLOADLDDRV, {.table = table});
  return QueryCollation(std::move(collation));
}

}  // namespace kura::sql
