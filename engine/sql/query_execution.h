// TQueryExecution: a prepared statement together with what its execution
// needs — the opened source tables, the decision between a live result (the
// source table itself, filtered by the WHERE condition and ordered by an
// index) and a canned result (a temporary result table filled and sorted at
// each execution), and statement scripts separated by ";".
//
// Owns the statement, the source tables it opened and the canned result
// table; destroying it closes them all and deletes the temporary table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/query_statement.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/storage_session.h"

namespace kura {
class TableCollation;
}

namespace kura::sql {

// The index number that means record order.
inline constexpr int kNoIndex = 255;

// An opened source table of the master query: its cursor (shared, record
// order; read-write when RequestLive) and the cursor's table.
struct OpenSource {
  std::unique_ptr<TDataCursor> cursor;
  TDataTable* table = nullptr;
};

class TQueryExecution {
 public:
  // `session` and `catalog` must outlive the object.
  TQueryExecution(TDataSession& session, TableCatalog& catalog);
  ~TQueryExecution();
  TQueryExecution(const TQueryExecution&) = delete;
  TQueryExecution& operator=(const TQueryExecution&) = delete;

  void SetRequestLive(bool live) { requestLive_ = live; }
  void SetMaxRowCount(int count) { maxRowCount_ = count; }

  // Parses the first statement of `text`, opens its source tables (shared,
  // in record order; read-write when RequestLive), decides live or canned,
  // chooses the index for ORDER BY and, for a canned SELECT, creates the
  // result table. Raises 11949 with the parser's messages, 11010 for a
  // missing table, and the tables' own errors; nothing stays prepared then.
  void Prepare(std::string_view text);
  void Unprepare();
  bool Prepared() const { return statement_ && statement_->Prepared(); }

  // Binds `parameters` by position to the "?" of the text and executes the
  // statement, then each further statement of the text. Raises 11949 for a
  // parameter count or type mismatch and passes the tables' errors on;
  // after a failure the temporary result table is still the statement's
  // and is deleted with it.
  void Execute(const std::vector<Value>& parameters = {});

  // ---- the current (last executed) statement ----
  const TQueryStatement& Statement() const { return *statement_; }
  bool IsSelect() const;
  bool Live() const { return live_; }
  // The index serving ORDER BY on a live result; kNoIndex for record order.
  int ChosenIndex() const { return chosenIndex_; }
  // True when an ORDER BY item names a calculated select-list item.
  bool OrderByCalculated() const { return orderByCalculated_; }
  // The result cursor of an executed SELECT, owned by this object: for a
  // live result the source table's cursor in the chosen order with the
  // WHERE condition (its bound copy) as its filter, so that rows added,
  // changed or deleted through it are re-tested at once; for a canned
  // result a cursor on the result table, before its first row. nullptr
  // before the first execution and for other statements.
  TDataCursor* ResultCursor() const { return executed_ ? resultCursor_ : nullptr; }
  // Live results: the source table and the bound WHERE copy (nullptr
  // without WHERE) installed on its cursor.
  TDataTable* LiveTable() const { return live_ && !sources_.empty() ? sources_[0].table : nullptr; }
  const TExpToken* LiveFilter() const { return liveFilter_.get(); }
  // Canned results: the result table (also for INTO), exclusive.
  TDataTable* ResultTable() const { return result_ ? &result_->Table() : nullptr; }
  const std::vector<OpenSource>& Sources() const { return sources_; }

  // The text rules of the query (its collation and code page), for
  // evaluating its calculated columns. Valid while it is prepared.
  const Collation& TextRules() const { return *textRules_; }
  // The value of the calculated select-list item `field` (from 0) of the
  // master query for `row`, as a canned result column of its type holds it.
  Value ResultValue(std::size_t field, const RowAccessor& row) const;

  std::int64_t RowsAffected() const { return rowsAffected_; }
  double ExecutionTime() const { return executionTime_; }
  // Changes whenever a statement is set up anew (prepared, or the next
  // statement of a script): what was derived from the statement and its
  // result cursor before is stale then.
  std::uint64_t Generation() const { return generation_; }

 private:
  void SetUp();
  void Release();
  void OpenSources();
  void OpenSourcesOf(const TDataQuery& q, std::vector<OpenSource>& into);
  std::vector<const TDataQuery*> UnionPartners() const;
  void Decide();
  void ChooseIndex();
  void CreateResultTable();
  void ExecuteOne(const std::vector<Value>& parameters, std::size_t* used);
  void ExecuteLive();
  void ExecuteTransaction();

  TDataSession& session_;
  TableCatalog& catalog_;
  bool requestLive_ = false;
  int maxRowCount_ = -1;
  std::string text_;
  bool advanced_ = false;  // a script moved past its first statement
  std::unique_ptr<TQueryStatement> statement_;
  std::unique_ptr<TDataDirectory> privateDirectory_;
  std::vector<OpenSource> sources_;
  // The sources of each UNION partner of the master query, in order.
  std::vector<std::vector<OpenSource>> partnerSources_;
  // The uncorrelated sub-selects, innermost first, with their sources.
  std::vector<const TDataQuery*> subSelects_;
  std::vector<std::vector<OpenSource>> subSources_;
  std::shared_ptr<const TableCollation> collation_;
  std::unique_ptr<Collation> textRules_;
  bool live_ = false;
  int chosenIndex_ = kNoIndex;
  bool orderByCalculated_ = false;
  TDataDirectory* resultDirectory_ = nullptr;
  std::unique_ptr<TDataCursor> result_;
  TDataCursor* resultCursor_ = nullptr;
  bool executed_ = false;
  std::unique_ptr<TExpToken> liveFilter_;
  std::int64_t rowsAffected_ = 0;
  std::int64_t remembered_ = 0;  // the sum at START TRANSACTION
  double executionTime_ = 0;
  std::uint64_t generation_ = 0;
};

// A deep copy of an expression tree in which parameters carry their bound
// values as constants (sub-select pointers are shared).
std::unique_ptr<TExpToken> CloneBound(const TExpToken& node);

}  // namespace kura::sql
