#include "engine/sql/join_index_probe.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/storage/table_filter_source.h"

namespace kura::sql {
namespace {

bool IntegerField(const TFieldDescriptor& f) {
  return f.type == kFieldSmallInt || f.type == kFieldInteger || f.type == kFieldWord ||
         f.type == kFieldLargeInt;
}

std::pair<std::int64_t, std::int64_t> FieldRange(const TFieldDescriptor& f) {
  switch (f.type) {
    case kFieldSmallInt: return {-32768, 32767};
    case kFieldWord: return {0, 65535};
    case kFieldInteger:
      return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    default: return {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
  }
}

}  // namespace

std::unique_ptr<JoinIndexProbe> JoinIndexProbe::For(const SourceRows& rows, std::size_t table,
                                                    int fieldNo, bool byteOrderText) {
  const TFieldDescriptor& f = rows.Fields(table)[static_cast<std::size_t>(fieldNo - 1)];
  TableFilterSource source(rows.Table(table));
  const bool text = f.type == kFieldString && byteOrderText && !source.HasLocale();
  if (!IntegerField(f) && !text) return nullptr;
  for (const FilterIndex& index : source.Indexes()) {
    if (index.firstField == fieldNo) {
      return std::unique_ptr<JoinIndexProbe>(new JoinIndexProbe(rows, table, index.number));
    }
  }
  return nullptr;
}

JoinIndexProbe::JoinIndexProbe(const SourceRows& rows, std::size_t table, int index)
    : rows_(rows), table_(table), index_(index),
      field_(rows.Table(table).Data().Field(
          rows.Table(table).Index().Header().slots[static_cast<std::size_t>(index)].fieldNumbers[0])),
      source_(std::make_unique<TableFilterSource>(rows.Table(table))) {}

JoinIndexProbe::~JoinIndexProbe() = default;

std::optional<bool> JoinIndexProbe::KeyValue(const Value& v, Value* key) const {
  if (v.null) return true;
  if (field_.type == kFieldString) {
    if (!IsTextType(v.type, v.subType) || v.text.size() > field_.declaredSize) return std::nullopt;
    *key = v;
    return true;
  }
  std::int64_t n = 0;
  if (IsIntegerType(v.type)) {
    n = v.integer;
  } else if (v.type == kTypeFloat || v.type == kTypeBcd) {
    if (std::nearbyint(v.real) != v.real) return false;
    if (!(std::fabs(v.real) < 9.2e18)) return std::nullopt;
    n = static_cast<std::int64_t>(v.real);
  } else {
    return std::nullopt;
  }
  const auto [lo, hi] = FieldRange(field_);
  if (n < lo || n > hi) return false;
  *key = Value::Integer(n, field_.type == kFieldLargeInt ? kTypeLargeInt : kTypeInteger);
  return true;
}

std::optional<std::size_t> JoinIndexProbe::Find(const Value& v, std::vector<std::uint8_t>& images) {
  Value key;
  const std::optional<bool> possible = KeyValue(v, &key);
  if (!possible) return std::nullopt;
  ++probes_;
  if (!*possible || (v.null && field_.IsAutoIncrement())) return 0;
  KeyRange range;
  range.kind = v.null ? KeyRangeKind::kIsNull : KeyRangeKind::kEqual;
  range.low = key;
  records_.clear();
  {
    ReadLockScope lock(rows_.Table(table_));
    const std::optional<RankSpan> span = source_->Span(index_, range);
    if (!span) return std::nullopt;
    source_->VisitSpan(index_, *span, [&](std::int32_t r) { records_.push_back(r); });
    std::sort(records_.begin(), records_.end());
    const std::uint32_t length = rows_.RecordLength(table_);
    images.resize(records_.size() * length);
    std::size_t count = 0;
    for (std::int32_t r : records_) {
      if (rows_.ReadImage(table_, r, images.data() + count * length, false)) ++count;
    }
    return count;
  }
}

}  // namespace kura::sql
