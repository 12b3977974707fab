// The walk over the row combinations of the source tables, depth first in
// FROM order, so that a caller that has enough rows (TOP, MaxRowCount)
// stops it at once and no list of combinations is ever built.
//
// At each table after the first, an equality of the join (of its ON
// condition, or of WHERE when every join is inner) between a column of
// that table and an expression of the tables before it is answered by a
// hash table of that table's rows, built once per walk: only the rows with
// the same key are tried, and the whole condition is still tested on each.
// When every join is inner, each WHERE conjunct is also tested as soon as
// the tables it reads are set, so that combinations are cut off early.
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "engine/sql/canned_execution.h"

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

// A key equal for every two values that "=" finds equal: numbers by value,
// text by its bytes (only used with a byte-order collation), null as null.
std::string KeyOf(const Value& v) {
  if (v.null) return "n";
  if (IsIntegerType(v.type)) return "i" + std::to_string(v.integer);
  if (v.type == kTypeFloat || v.type == kTypeBcd) {
    const double d = v.real;
    if (std::nearbyint(d) == d && std::fabs(d) < 9.2e18) {
      return "i" + std::to_string(static_cast<std::int64_t>(d));
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "f%a", d);
    return buf;
  }
  return "s" + v.text;
}

struct Level {
  JoinKind kind = JoinKind::kInner;
  const TExpToken* on = nullptr;
  std::vector<const TExpToken*> filters;  // WHERE conjuncts tested at this table
  const TExpToken* probe = nullptr;       // over the tables before this one
  const TExpToken* build = nullptr;       // a column of this table
  std::unordered_map<std::string, std::vector<std::uint32_t>> buckets;
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
  // conjuncts) that a hash table can answer.
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
        return;
      }
    }
  }

  void BuildBuckets(std::size_t k) {
    Level& level = levels_[k];
    JoinedRow row(rows_);
    for (std::size_t r = 0; r < rows_.RowCount(k); ++r) {
      row.Set(k, rows_.Row(k, r));
      level.buckets[KeyOf(Evaluate(*level.build, row, collation_))].push_back(
          static_cast<std::uint32_t>(r));
    }
  }

  bool Passes(const std::vector<const TExpToken*>& filters) {
    for (const TExpToken* f : filters) {
      if (!EvaluateCondition(*f, row_, collation_)) return false;
    }
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
    auto tryRow = [&](std::size_t r) {
      row_.Set(k, rows_.Row(k, r));
      if (level.on != nullptr && !EvaluateCondition(*level.on, row_, collation_)) return;
      matched = true;
      if (!level.matched.empty()) level.matched[r] = 1;
      if (Passes(level.filters)) Walk(k + 1);
    };
    if (level.probe != nullptr) {
      if (level.buckets.empty() && rows_.RowCount(k) > 0) BuildBuckets(k);
      const auto it = level.buckets.find(KeyOf(Evaluate(*level.probe, row_, collation_)));
      if (it != level.buckets.end()) {
        for (std::uint32_t r : it->second) {
          tryRow(r);
          if (stopped_) return;
        }
      }
    } else {
      for (std::size_t r = 0; r < rows_.RowCount(k) && !stopped_; ++r) tryRow(r);
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
