#include "engine/sql/top_rows.h"

#include <algorithm>

#include "engine/sql/canned_values.h"
#include "engine/storage/field_values.h"

namespace kura::sql {
namespace {

// Values whose order here is the order of the sort's keys.
bool Comparable(const Value& v) {
  return !v.null && (IsNumericType(v.type) || IsDateTimeType(v.type));
}

}  // namespace

std::vector<SortField> OrderFields(const CannedRun& run) {
  std::vector<SortField> order;
  for (const TOrderByField& item : run.query.orderBy) {
    order.push_back({run.result.Data().Field(item.resultIndex + 1), item.descending});
  }
  return order;
}

TopRows::TopRows(const CannedRun& run)
    : run_(run), order_(OrderFields(run)), batch_(std::max<std::int64_t>(4096, 4 * run.query.top)) {
  for (const TOrderByField& item : run.query.orderBy) {
    const auto i = static_cast<std::size_t>(item.resultIndex);
    if (!IsOrderColumn(i)) columns_.push_back(i);
  }
}

bool TopRows::Beyond(const std::uint8_t* image) const {
  if (last_.empty()) return false;
  for (std::size_t i = 0; i < order_.size(); ++i) {
    const Value v = ReadFieldValue(image, order_[i].field);
    const Value& n = last_[i];
    if (!Comparable(v) || !Comparable(n)) return false;
    const Collation& c = ByteOrderCollation();
    const bool before = CompareValues(order_[i].descending ? CompareOp::kGt : CompareOp::kLt, v, n, c);
    if (before) return false;
    if (!CompareValues(CompareOp::kEq, v, n, c)) return true;
  }
  return true;
}

void TopRows::Appended() {
  if (++kept_ >= run_.query.top + batch_) Cut();
}

void TopRows::Cut() {
  SortOptions o;
  o.caseInsensitive = run_.query.noCase;
  o.rowLimit = run_.query.top;
  kept_ = SortTable(run_.session, run_.result, order_, o).outputRows;
  last_.clear();
  if (kept_ == 0 || kept_ < run_.query.top) return;
  const TRecord* row = run_.result.ReadRecord(static_cast<std::int32_t>(kept_));
  if (row == nullptr) return;  // no bound: every row is written
  for (const SortField& f : order_) last_.push_back(ReadFieldValue(row->Data(), f.field));
}

}  // namespace kura::sql
