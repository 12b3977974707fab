// The walk over the row combinations of the source tables, depth first in
// FROM order, so that a caller that has enough rows (TOP, MaxRowCount)
// stops it at once and no list of combinations is ever built.
//
// The first table is read one record at a time. At each table after it, an
// equality of the join (of its ON condition, or of WHERE when every join is
// inner) between a column of that table and an expression of the tables
// before it is answered through an index of that table on the column while
// few values have been looked up, then by a hash table of that table's
// rows, built once per walk: only the rows with the same key are tried, and
// the whole condition is still tested on each.
// When every join is inner, each WHERE conjunct is also tested as soon as
// the tables it reads are set, so that combinations are cut off early.
#include <algorithm>
#include <memory>

#include "engine/sql/canned_execution.h"
#include "engine/sql/join_index_probe.h"
#include "engine/sql/join_key_table.h"

namespace kura::sql {
namespace {

constexpr int kUnknownTables = 1 << 30;

void Conjuncts(const TExpToken* n, std::vector<const TExpToken*>& out) {
  if (n == nullptr) return;
  if (n->nodeClass == NodeClass::kBinary && n->op == OpCode::kAnd) {
    Conjuncts(n->left.get(), out);
    Conjuncts(n->right.get(), out);
    return;
  }
  out.push_back(n);
}

// The last table (from 0) that `n` reads; -1 when it reads none,
// kUnknownTables when it cannot be told (sub-selects, outer columns).
int LastTable(const TExpToken& n) {
  if (n.nodeClass == NodeClass::kSubQuery || n.nodeClass == NodeClass::kAggregate) {
    return kUnknownTables;
  }
  if (n.nodeClass == NodeClass::kColumn) {
    return n.outerLevel != 0 ? kUnknownTables : n.tablePosition - 1;
  }
  int last = -1;
  n.ForEachChild([&](const TExpToken& c) { last = std::max(last, LastTable(c)); });
  return last;
}

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

struct Level {
  JoinKind kind = JoinKind::kInner;
  const TExpToken* on = nullptr;
  std::vector<const TExpToken*> filters;  // WHERE conjuncts tested at this table
  const TExpToken* probe = nullptr;       // over the tables before this one
  const TExpToken* build = nullptr;       // a column of this table
  std::unique_ptr<JoinIndexProbe> index;  // answers `probe` while few are asked
  std::vector<std::uint8_t> found;        // the rows the index gave for a probe
  std::unique_ptr<JoinKeyTable> keys;     // answers `probe` once built
  // The ON condition is the equality of two integer columns: the rows a
  // key finds meet it, so it is not tested again.
  bool keyDecides = false;
  std::vector<char> matched;  // right outer joins: rows that found a partner
};

class JoinWalker {
 public:
  JoinWalker(const TDataQuery& query, const SourceRows& rows, const Collation& collation,
             bool byteOrderText, const std::function<bool(JoinedRow&)>& visit)
      : rows_(rows), collation_(collation), visit_(visit), row_(rows),
        levels_(rows.TableCount()) {
    bool allInner = true;
    for (std::size_t k = 0; k < levels_.size(); ++k) {
      const TJoin* join = query.sources[k]->join.get();
      levels_[k].kind = join ? join->kind : JoinKind::kInner;
      levels_[k].on = join ? join->condition.get() : nullptr;
      allInner = allInner && levels_[k].kind == JoinKind::kInner;
      if (levels_[k].kind == JoinKind::kRightOuter) levels_[k].matched.assign(rows.RowCount(k), 0);
    }
    std::vector<const TExpToken*> where;
    if (allInner) Conjuncts(query.where.get(), where);
    for (const TExpToken* c : where) {
      const int last = LastTable(*c);
      if (last < static_cast<int>(levels_.size())) {
        levels_[static_cast<std::size_t>(std::max(last, 0))].filters.push_back(c);
      }
    }
    for (std::size_t k = 1; k < levels_.size(); ++k) ChooseHashKey(k, byteOrderText);
  }

  void Run() {
    Walk(0);
    for (std::size_t k = 1; k < levels_.size() && !stopped_; ++k) {
      if (levels_[k].kind == JoinKind::kRightOuter) WalkUnmatched(k);
    }
  }

 private:
  // The first equality of the table's ON condition (and pushed WHERE
  // conjuncts) that a hash table can answer, and the index that can.
  void ChooseHashKey(std::size_t k, bool byteOrderText) {
    Level& level = levels_[k];
    std::vector<const TExpToken*> candidates;
    Conjuncts(level.on, candidates);
    candidates.insert(candidates.end(), level.filters.begin(), level.filters.end());
    for (const TExpToken* c : candidates) {
      if (c->nodeClass != NodeClass::kBinary || c->op != OpCode::kEq) continue;
      for (const auto& [mine, other] : {std::pair{c->left.get(), c->right.get()},
                                        std::pair{c->right.get(), c->left.get()}}) {
        const bool column = mine->nodeClass == NodeClass::kColumn && mine->outerLevel == 0 &&
                            mine->tablePosition - 1 == static_cast<int>(k);
        if (!column || LastTable(*other) >= static_cast<int>(k)) continue;
        const bool numbers = IsNumericType(mine->type) && IsNumericType(other->type);
        const bool texts = byteOrderText && IsTextType(mine->type, mine->subType) &&
                           IsTextType(other->type, other->subType);
        if (!numbers && !texts) continue;
        level.probe = other;
        level.build = mine;
        level.keyDecides = c == level.on && other->nodeClass == NodeClass::kColumn &&
                           other->outerLevel == 0 && IsIntegerType(mine->type) &&
                           IsIntegerType(other->type);
        if (level.kind != JoinKind::kRightOuter) {
          level.index = JoinIndexProbe::For(rows_, k, mine->fieldNumber, byteOrderText);
        }
        return;
      }
    }
  }

  void BuildKeys(std::size_t k) {
    Level& level = levels_[k];
    const std::size_t n = rows_.RowCount(k);
    level.keys = std::make_unique<JoinKeyTable>(n);
    JoinedRow row(rows_);
    for (std::size_t r = n; r-- > 0;) {
      row.Set(k, rows_.Row(k, r));
      level.keys->Add(Evaluate(*level.build, row, collation_), static_cast<std::uint32_t>(r));
    }
  }

  bool Passes(const std::vector<const TExpToken*>& filters) {
    for (const TExpToken* f : filters) {
      if (!EvaluateCondition(*f, row_, collation_)) return false;
    }
    return true;
  }

  // The index answers while its lookups cost less than reading the table
  // once would.
  bool UseIndex(std::size_t k) {
    const Level& level = levels_[k];
    if (level.index == nullptr || level.keys != nullptr) return false;
    return level.index->Probes() < std::max<std::size_t>(64, rows_.SlotCount(k) / 1024);
  }

  // Tries the rows of table k whose column equals the probe value; false
  // when the index cannot answer for it.
  bool TryIndexed(std::size_t k, const Value& key, const std::function<void(const std::uint8_t*, std::size_t)>& tryRow) {
    Level& level = levels_[k];
    const std::optional<std::size_t> count = level.index->Find(key, level.found);
    if (!count) return false;
    const std::uint32_t length = rows_.RecordLength(k);
    for (std::size_t i = 0; i < *count && !stopped_; ++i) tryRow(level.found.data() + i * length, kNoRow);
    return true;
  }

  // Tables before k are set in row_.
  void Walk(std::size_t k) {
    if (k == levels_.size()) {
      if (!visit_(row_)) stopped_ = true;
      return;
    }
    Level& level = levels_[k];
    bool matched = false;
    auto tryRow = [&](const std::uint8_t* image, std::size_t r) {
      row_.Set(k, image);
      if (level.on != nullptr && !level.keyDecides &&
          !EvaluateCondition(*level.on, row_, collation_)) {
        return;
      }
      matched = true;
      if (r != kNoRow && !level.matched.empty()) level.matched[r] = 1;
      if (Passes(level.filters)) Walk(k + 1);
    };
    if (k == 0) {
      rows_.Stream(0, [&](const std::uint8_t* image) {
        tryRow(image, kNoRow);
        return !stopped_;
      });
    } else if (level.probe != nullptr) {
      const Value key = Evaluate(*level.probe, row_, collation_);
      if (!UseIndex(k) || !TryIndexed(k, key, tryRow)) {
        if (level.keys == nullptr) BuildKeys(k);
        for (std::uint32_t r = level.keys->First(key); r != JoinKeyTable::kNone && !stopped_;
             r = level.keys->Next(r)) {
          tryRow(rows_.Row(k, r), r);
        }
      }
    } else {
      for (std::size_t r = 0; r < rows_.RowCount(k) && !stopped_; ++r) tryRow(rows_.Row(k, r), r);
    }
    if (stopped_) return;
    if (!matched && level.kind == JoinKind::kLeftOuter) {
      row_.Set(k, nullptr);
      Walk(k + 1);
    }
    row_.Set(k, nullptr);
  }

  // The rows of a right outer join's table that found no partner, with
  // every table before it missing.
  void WalkUnmatched(std::size_t k) {
    Level& level = levels_[k];
    for (std::size_t r = 0; r < level.matched.size() && !stopped_; ++r) {
      if (level.matched[r]) continue;
      row_.Set(k, rows_.Row(k, r));
      Walk(k + 1);
    }
    row_.Set(k, nullptr);
  }

  const SourceRows& rows_;
  const Collation& collation_;
  const std::function<bool(JoinedRow&)>& visit_;
  JoinedRow row_;
  std::vector<Level> levels_;
  bool stopped_ = false;
};

}  // namespace

void WalkJoinedRows(const TDataQuery& query, const SourceRows& rows, const Collation& collation,
                    bool byteOrderText, const std::function<bool(JoinedRow&)>& visit) {
  JoinWalker(query, rows, collation, byteOrderText, visit).Run();
}

}  // namespace kura::sql
