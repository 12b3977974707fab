// TFilter: the set of a table's records that satisfy a condition, held as a
// record bitmap. Comparisons of a field with constants are resolved through
// an index whose first key field is that field, by the range of matching
// keys; what no index serves is tested record by record, and under "AND"
// only on the records the other operand left. The set is kept current as
// the cursor adds, changes and deletes records.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/expr/exp_token.h"
#include "engine/storage/filter_table.h"
#include "engine/storage/image_condition.h"
#include "engine/storage/records_bitmap.h"

namespace kura {

struct FilterOptions {
  // Resolvable comparisons that match more than 90 % of the active records
  // are tested record by record instead (filters of query results are
  // created without this check).
  bool breadthCheck = false;
  // When more than half of the active records fall in a range, collect the
  // keys outside it and invert (only for tables without a locale).
  bool allowComplement = true;
  // Off: every node is tested record by record (the result must not change).
  bool useIndexes = true;
};

// How a node can be computed: 0 not through an index, 1 partly, 2 wholly.
struct FilterAnnotation {
  int level = 0;
  std::optional<FilterIndex> index;   // resolvable leaves
  std::uint64_t estimate = 0;         // matching keys (leaves: exact count)
  std::uint64_t volume = 0;           // estimate × key length
  bool tooBroad = false;
  bool rightFirst = false;            // "AND": evaluate the right operand first
};

class TFilter {
 public:
  // A record-level test supplied by the caller.
  using Callback = std::function<bool(std::uint32_t recordNo, const sql::RowAccessor& row)>;

  // A filter on `table` by `condition` (borrowed: it must outlive the
  // filter). The tree is analysed at once; its parameters must be bound.
  TFilter(FilterTable& table, const sql::TExpToken& condition, FilterOptions options = {});
  // A filter that tests every record with `callback`.
  TFilter(FilterTable& table, Callback callback);
  ~TFilter();

  void Activate() { active_ = true; }
  void Deactivate() { active_ = false; }
  bool Active() const { return active_; }

  // Recomputes the bitmap, starting from the cursor's base set (the active
  // records, intersected with a range and earlier filters as the cursor
  // decides). Passes on the table's errors.
  void Refresh(const TRecordsBitmap& base);

  // After the cursor added or changed record n: set its bit, then clear it
  // again when the record's current values do not satisfy the condition.
  void TestRecord(std::uint32_t recordNo);
  // After the cursor deleted record n.
  void DropRecord(std::uint32_t recordNo) { bitmap_.Clear(recordNo); }

  bool Contains(std::uint32_t recordNo) const { return bitmap_.Test(recordNo); }
  std::uint32_t Count() const { return bitmap_.Count(); }
  const TRecordsBitmap& Bitmap() const { return bitmap_; }

  // The analysis of a node of the condition (nullptr for callback filters
  // and nodes that were not analysed).
  const FilterAnnotation* AnnotationOf(const sql::TExpToken& node) const;

 private:
  struct Leaf;

  void Analyse(const sql::TExpToken& node);
  void AnalyseLeaf(const sql::TExpToken& node, FilterAnnotation& a);
  std::optional<Leaf> MatchLeaf(const sql::TExpToken& node) const;
  std::optional<FilterIndex> ChooseIndex(int field, bool caseInsensitive);

  void EvaluateInto(const sql::TExpToken& node, TRecordsBitmap& bitmap);
  void EvaluateLeaf(const sql::TExpToken& node, const FilterAnnotation& a,
                    TRecordsBitmap& bitmap);
  void CollectLeaf(const Leaf& leaf, const FilterIndex& index, TRecordsBitmap& matches);
  void TestEach(const sql::TExpToken& node, TRecordsBitmap& bitmap);
  // The node compiled for raw record images, when the table offers them
  // and the node compiles (nullptr otherwise); compiled once per node.
  const ImageCondition* CompiledFor(const sql::TExpToken& node);
  bool TestOne(const sql::TExpToken& node, std::uint32_t recordNo);

  FilterTable& table_;
  const sql::TExpToken* condition_ = nullptr;
  Callback callback_;
  FilterOptions options_;
  bool active_ = false;
  TRecordsBitmap bitmap_;
  std::unordered_map<const sql::TExpToken*, FilterAnnotation> annotations_;
  std::unordered_map<const sql::TExpToken*, std::unique_ptr<Leaf>> leaves_;
  std::unordered_map<const sql::TExpToken*, std::optional<ImageCondition>> compiled_;
};

}  // namespace kura
