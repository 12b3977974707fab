// Canned execution of a SELECT: the qualifying rows of the source tables
// (joined in FROM order) are evaluated into a result table, grouped and
// aggregated, made distinct, cut to TOP and MaxRowCount, and sorted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/expr/evaluator.h"
#include "engine/sql/sql_query.h"
#include "engine/storage/storage_directory.h"

namespace kura {
class TableCollation;
}

namespace kura::sql {

// The rows of the source tables of one execution. A table is read whole
// (the images of its active records, in record order) only when a join
// needs its rows more than once; the first table is streamed.
class SourceRows {
 public:
  explicit SourceRows(const std::vector<TDataTable*>& tables);
  std::size_t TableCount() const { return tables_.size(); }
  // The rows of `table`, read on first use.
  std::size_t RowCount(std::size_t table) const { return Loaded(table).count; }
  const std::uint8_t* Row(std::size_t table, std::size_t row) const {
    const Rows& r = Loaded(table);
    return r.images.data() + row * r.length;
  }
  // Calls `visit` with the image of every active record of `table` in
  // record order, reading one record at a time unless the table is read
  // already. A false answer of `visit` stops it.
  void Stream(std::size_t table, const std::function<bool(const std::uint8_t*)>& visit) const;
  // Copies the image of record n of `table` into `out` (sized to the
  // record); false for a deleted record. `sequential` reads the records
  // after it into the table's cache too.
  bool ReadImage(std::size_t table, std::int32_t n, std::uint8_t* out, bool sequential) const;
  // Record slots of `table` (at least its rows), without reading them.
  std::size_t SlotCount(std::size_t table) const;
  std::uint32_t RecordLength(std::size_t table) const;
  const std::vector<TFieldDescriptor>& Fields(std::size_t table) const { return *fields_[table]; }
  TDataTable& Table(std::size_t table) const { return *tables_[table]; }
  // The rows of the (uncorrelated) sub-selects that the expressions over
  // these rows use, computed before; nullptr when there are none.
  using SubQueryRows = std::map<const TDataQuery*, std::vector<Value>>;
  void SetSubQueryRows(const SubQueryRows* rows) { subQueries_ = rows; }
  const SubQueryRows* SubQueries() const { return subQueries_; }

 private:
  struct Rows {
    bool loaded = false;
    std::vector<std::uint8_t> images;
    std::size_t count = 0;
    std::uint32_t length = 0;
  };
  const Rows& Loaded(std::size_t table) const;

  std::vector<TDataTable*> tables_;
  const SubQueryRows* subQueries_ = nullptr;
  mutable std::vector<Rows> rows_;
  std::vector<const std::vector<TFieldDescriptor>*> fields_;
};

// One combination of source rows (a row of each table, or none for the
// missing side of an outer join) seen as the row of an expression.
class JoinedRow : public RowAccessor {
 public:
  explicit JoinedRow(const SourceRows& rows) : rows_(rows), current_(rows.TableCount()) {}
  void Set(std::size_t table, const std::uint8_t* image) { current_[table] = image; }
  Value FieldValue(int tablePos, int fieldNo) const override;
  Value SubQueryValue(const TExpToken& node) const override;
  bool SubQueryContains(const TExpToken& node, const Value& value) const override;
  bool SubQueryExists(const TExpToken& node) const override;

 private:
  const SourceRows& rows_;
  std::vector<const std::uint8_t*> current_;
};

// Calls `visit` for every combination of rows that the joins of `query`
// produce (inner and comma joins with their ON condition, left and right
// outer joins with a null row for the unmatched side), in FROM order, the
// unmatched rows of a right outer join after the others. Combinations that
// fail a WHERE conjunct may be left out when every join is inner (the
// caller still tests WHERE). Equalities on text use hash tables only when
// `byteOrderText` (the collation compares bytes). A false answer of
// `visit` stops the walk.
void WalkJoinedRows(const TDataQuery& query, const SourceRows& rows, const Collation& collation,
                    bool byteOrderText, const std::function<bool(JoinedRow&)>& visit);

struct CannedRun {
  TDataSession& session;
  const TDataQuery& query;
  std::vector<TDataTable*> sources;
  const Collation& collation;
  std::shared_ptr<const TableCollation> tableCollation;
  TDataTable& result;
  int maxRowCount = -1;
  // Where the work table of GROUP BY is created (the private directory).
  TDataDirectory& workDirectory;
  // The rows of the statement's sub-selects (see SourceRows).
  const SourceRows::SubQueryRows* subQueries = nullptr;
};

// The values of the one column of the sub-select `run.query` (its WHERE
// and joins applied; no grouping). Raises 11949 for a sub-select with
// aggregates, GROUP BY or more than one column.
std::vector<Value> SubQueryColumn(const CannedRun& run);

// Whether the run's text compares as bytes (no locale collation).
bool ByteOrderText(const CannedRun& run);

// Empties the result table, fills and sorts it; returns the number of
// result rows. Raises 11949 for what cannot be evaluated and passes the
// tables' errors on.
std::int64_t ExecuteCanned(const CannedRun& run);

// UNION [ALL]: `runs` (the master query first, then its partners) fill the
// one result table in turn; the rows are then made distinct unless every
// UNION of the chain is UNION ALL. Returns the number of result rows.
std::int64_t ExecuteUnion(const std::vector<CannedRun>& runs);

// The type of a result column that holds the values of `type` and those of
// the UNION partner's select-list item `other`: integers of the wider range,
// FLOAT or BCD when one is, the longer text. Raises 11949 when one is text
// and the other not, or for other differing types.
struct ColumnType {
  int type = 0;
  int subType = 0;
  int size = 0;
};
ColumnType CommonColumnType(ColumnType type, const TResultField& other);

// Fills `run.result` with one row per group (GROUP BY or aggregates),
// HAVING applied; stops after `limit` source rows when it is 0 or more.
// Returns the number of rows written.
std::int64_t FillGrouped(const CannedRun& run, const SourceRows& rows, std::int64_t limit);

// Appends `image` to the result table as a new record.
void AppendResultRow(TDataTable& result, const std::uint8_t* image);

// Stores `v` into field `fieldNo` of the result row `image`: BLOB and memo
// values go to the result table's BLOB file, the others as WriteFieldValue.
void WriteResultValue(TDataTable& result, std::uint8_t* image, int fieldNo, const Value& v,
                      const TableCollation* collation);

}  // namespace kura::sql
