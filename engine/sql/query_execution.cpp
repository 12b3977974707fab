#include "engine/sql/query_execution.h"

#include <algorithm>
#include <set>

#include "engine/errors/kura_error.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/canned_execution.h"
#include "engine/sql/canned_values.h"
#include "engine/sql/dml_execution.h"
#include "engine/storage/file_handler.h"
#include "engine/storage/locale.h"
#include "engine/storage/names.h"
#include "engine/storage/record_file_sort.h"

namespace kura::sql {
namespace {

// The query's string order over a table locale (byte order without one).
class LocaleCollation : public Collation {
 public:
  explicit LocaleCollation(std::shared_ptr<const TableCollation> tc) : tc_(std::move(tc)) {}
  int Compare(std::string_view a, std::string_view b) const override {
    return tc_ ? tc_->Compare(a, b) : Collation::Compare(a, b);
  }
  int CodePage() const override { return tc_ ? tc_->CodePage() : Collation::CodePage(); }

 private:
  std::shared_ptr<const TableCollation> tc_;
};

// Removes the files that a failed creation or opening of a temporary result
// table left in `dir`. Best effort: the failure itself is what the caller
// reports.
void RemoveResultFiles(TDataSession& session, const TDataDirectory& dir, const std::string& name) {
  for (std::string_view ext : {kDataExtension, kIndexExtension, kBlobExtension}) {
    const std::string path = dir.Path() + TableFileName(name, ext);
    try {
      if (TFileHandler::Exists(session.Files(), path, false)) {
        TFileHandler::Delete(session.Files(), path, false, name);
      }
    } catch (const EKuraEngineError&) {
    }
  }
}

bool IsFieldNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

// Result column names: cut to a field name's length (on a character
// boundary of the code page), made to start like a field name, and made
// unique by a numeric suffix.
std::vector<std::string> ResultNames(const TDataQuery& q, int codePage) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (std::size_t i = 0; i < q.selectList.size(); ++i) {
    std::string name = TrimBlanks(q.selectList[i].name);
    if (name.empty() || !IsFieldNameStart(static_cast<unsigned char>(name[0]))) {
      name = "EXPR" + std::to_string(i + 1);
    }
    name = std::string(CutToBytes(name, kMaxFieldNameLength, codePage));
    std::string unique = name;
    for (int n = 1; !taken.insert(UpperAscii(unique)).second; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      unique = std::string(CutToBytes(name, kMaxFieldNameLength - suffix.size(), codePage)) + suffix;
    }
    names.push_back(unique);
  }
  return names;
}

bool ReadsOuterColumns(const TExpToken& n) {
  if (n.nodeClass == NodeClass::kColumn && n.outerLevel != 0) return true;
  bool outer = false;
  n.ForEachChild([&](const TExpToken& c) { outer = outer || ReadsOuterColumns(c); });
  return outer;
}

// A sub-select that reads a column of an enclosing query.
bool IsCorrelated(const TDataQuery& q) {
  bool outer = q.where && ReadsOuterColumns(*q.where);
  for (const TResultField& f : q.selectList) outer = outer || ReadsOuterColumns(*f.expression);
  for (const auto& s : q.sources) {
    outer = outer || (s->join && s->join->condition && ReadsOuterColumns(*s->join->condition));
  }
  return outer;
}

double Seconds(std::int64_t start, std::int64_t end) {
  return end < start ? 0.0 : static_cast<double>(end - start) / 1000.0;
}

}  // namespace

std::unique_ptr<TExpToken> CloneBound(const TExpToken& n) {
  auto c = std::make_unique<TExpToken>();
  c->nodeClass = n.nodeClass == NodeClass::kParameter ? NodeClass::kConstant : n.nodeClass;
  c->op = n.op;
  c->func = n.func;
  c->aggregate = n.aggregate;
  c->type = n.type;
  c->subType = n.subType;
  c->size = n.size;
  c->value = n.value;
  c->isParameter = n.isParameter;
  c->parameterNumber = n.parameterNumber;
  c->text = n.text;
  for (const auto& a : n.args) c->args.push_back(CloneBound(*a));
  if (n.left) c->left = CloneBound(*n.left);
  if (n.right) c->right = CloneBound(*n.right);
  c->correlationName = n.correlationName;
  c->columnName = n.columnName;
  c->isStar = n.isStar;
  c->tablePosition = n.tablePosition;
  c->fieldNumber = n.fieldNumber;
  c->outerLevel = n.outerLevel;
  c->trimMode = n.trimMode;
  c->extractPart = n.extractPart;
  c->roundDecimals = n.roundDecimals;
  c->castType = n.castType;
  c->castSubType = n.castSubType;
  c->castSize = n.castSize;
  c->subQuery = n.subQuery;
  c->depth = n.depth;
  return c;
}

TQueryExecution::TQueryExecution(TDataSession& session, TableCatalog& catalog)
    : session_(session), catalog_(catalog) {}

TQueryExecution::~TQueryExecution() {
  try {
    Release();
  } catch (const EKuraEngineError&) {
    // Closing tables while being destroyed: nothing is left to report to.
  }
}

bool TQueryExecution::IsSelect() const {
  return Prepared() && statement_->Kind() == StatementKind::kSelect;
}

void TQueryExecution::Prepare(std::string_view text) {
  Unprepare();
  statement_ = std::make_unique<TQueryStatement>(catalog_);
  statement_->SetRequestLive(requestLive_);
  statement_->SetMaxRowCount(maxRowCount_);
  text_ = std::string(text);
  try {
    statement_->Prepare(text_);
    SetUp();
  } catch (...) {
    Unprepare();
    throw;
  }
  advanced_ = false;
}

void TQueryExecution::Unprepare() {
  Release();
  statement_.reset();
}

void TQueryExecution::Release() {
  executed_ = false;
  resultCursor_ = nullptr;
  if (result_) {
    std::unique_ptr<TDataCursor> result = std::move(result_);
    result->Close();
  }
  std::vector<OpenSource> sources = std::move(sources_);
  sources_.clear();
  for (OpenSource& s : sources) s.cursor->Close();
  std::vector<std::vector<OpenSource>> partners = std::move(partnerSources_);
  partnerSources_.clear();
  for (auto& list : subSources_) partners.push_back(std::move(list));
  subSources_.clear();
  subSelects_.clear();
  for (auto& list : partners) {
    for (OpenSource& s : list) s.cursor->Close();
  }
  liveFilter_.reset();
  live_ = false;
  chosenIndex_ = kNoIndex;
  orderByCalculated_ = false;
  collation_.reset();
}

void TQueryExecution::SetUp() {
  ++generation_;
  if (statement_->Kind() != StatementKind::kSelect) {
    live_ = true;
    return;
  }
  const TDataQuery& q = statement_->Master();
  const std::vector<const TDataQuery*> partners = UnionPartners();
  for (const auto& query : statement_->Queries()) {
    if (query.get() == &q || std::find(partners.begin(), partners.end(), query.get()) != partners.end()) {
      continue;
    }
    if (!query->isSubSelect || query->unionPartner != nullptr || query->isUnionPartner ||
        IsCorrelated(*query)) {
      SqlError("Correlated or UNIONed sub-select queries are not supported by this engine");
    }
    subSelects_.insert(subSelects_.begin(), query.get());  // innermost first
  }
  for (const TDataQuery* p : partners) {
    if (p->selectList.size() != q.selectList.size()) {
      SqlError("The queries of a UNION must have the same number of columns");
    }
  }
  OpenSources();
  for (const TDataQuery* p : partners) {
    partnerSources_.emplace_back();
    OpenSourcesOf(*p, partnerSources_.back());
  }
  for (const TDataQuery* s : subSelects_) {
    subSources_.emplace_back();
    OpenSourcesOf(*s, subSources_.back());
  }
  if (q.languageId != 0 || !q.language.empty()) {
    collation_ = TableCollation::For(static_cast<std::int16_t>(q.languageId),
                                     static_cast<std::int16_t>(q.sortId));
  }
  textRules_ = std::make_unique<LocaleCollation>(collation_);
  if (statement_->RequestLive()) ChooseIndex();
  Decide();
  if (live_) {
    sources_[0].cursor->SetOrder(chosenIndex_);
    resultCursor_ = sources_[0].cursor.get();
  } else {
    CreateResultTable();
    resultCursor_ = result_.get();
  }
}

Value TQueryExecution::ResultValue(std::size_t field, const RowAccessor& row) const {
  const TResultField& f = statement_->Master().selectList[field];
  return ColumnValue(Evaluate(*f.expression, row, *textRules_), f.type, f.subType);
}

std::vector<const TDataQuery*> TQueryExecution::UnionPartners() const {
  std::vector<const TDataQuery*> partners;
  for (const TDataQuery* p = statement_->Master().unionPartner; p != nullptr; p = p->unionPartner) {
    partners.push_back(p);
  }
  return partners;
}

void TQueryExecution::OpenSources() {
  OpenSourcesOf(statement_->Master(), sources_);
  const TDataFileHeader& h = sources_.front().table->Data().Header();
  collation_ = TableCollation::For(h.languageId, h.sortId);
}

void TQueryExecution::OpenSourcesOf(const TDataQuery& q, std::vector<OpenSource>& into) {
  for (const auto& s : q.sources) {
    TDataDirectory& dir = catalog_.DirectoryFor(s->databasePart, s->inMemory);
    CursorOpenOptions options;
    options.readOnly = !statement_->RequestLive();
    options.inMemory = s->inMemory;
    options.recordOrder = true;
    auto cursor = std::make_unique<TDataCursor>(session_, dir);
    cursor->Open(s->tableName, options);
    TDataTable* t = &cursor->Table();
    into.push_back({std::move(cursor), t});
  }
}

// An index serves ORDER BY when its leading key fields are the ORDER BY
// columns in order with the same per-field directions, its whole-index
// direction is that of the items (descending only when all are), and, when
// a string column is involved, its case sensitivity matches NOCASE.
void TQueryExecution::ChooseIndex() {
  const TDataQuery& q = statement_->Master();
  if (!q.hasOrderBy || q.orderBy.empty() || sources_.size() != 1) return;
  std::vector<int> fields;
  std::vector<bool> desc;
  bool allDescending = true;
  bool anyString = false;
  for (const TOrderByField& item : q.orderBy) {
    const TResultField& f = q.selectList[static_cast<std::size_t>(item.resultIndex)];
    if (!f.isColumn || f.tablePosition != 1) {
      orderByCalculated_ = !f.isColumn;
      return;
    }
    fields.push_back(f.fieldNumber);
    desc.push_back(item.descending);
    allDescending = allDescending && item.descending;
    anyString = anyString || f.type == kTypeString;
  }
  const TIndexFileHeader& h = sources_[0].table->Index().Header();
  for (int slot = 0; slot <= h.secondaryCount; ++slot) {
    const TIndexDescriptor& d = h.slots[static_cast<std::size_t>(slot)];
    if (d.fieldCount < fields.size()) continue;
    bool serves = (d.descending != 0) == allDescending &&
                  (!anyString || (d.caseInsensitive != 0) == q.noCase);
    for (std::size_t i = 0; serves && i < fields.size(); ++i) {
      serves = d.fieldNumbers[i] == fields[i] && (d.fieldDescending[i] != 0) == desc[i];
    }
    if (serves) {
      chosenIndex_ = slot;
      return;
    }
  }
}

void TQueryExecution::Decide() {
  const TDataQuery& q = statement_->Master();
  bool calculatedBlob = false;
  for (const TResultField& f : q.selectList) {
    calculatedBlob = calculatedBlob || (!f.isColumn && f.type == kTypeBlob);
  }
  bool aggregates = false;
  for (const TResultField& f : q.selectList) {
    aggregates = aggregates || (f.expression && ContainsAggregate(*f.expression));
  }
  live_ = statement_->RequestLive() && q.intoTable.empty() && !q.distinct &&
          q.sources.size() == 1 && !q.severalTables && !q.hasGroupBy && !aggregates &&
          !q.hasHaving && (!q.hasOrderBy || chosenIndex_ != kNoIndex) && !calculatedBlob &&
          q.top < 0 && statement_->Queries().size() == 1;
  statement_->resultLive = live_;
}

void TQueryExecution::CreateResultTable() {
  const TDataQuery& q = statement_->Master();
  DataFileDefinition def;
  const std::vector<std::string> names = ResultNames(q, collation_ ? collation_->CodePage() : 1252);
  for (std::size_t i = 0; i < q.selectList.size(); ++i) {
    const TResultField& f = q.selectList[i];
    ColumnType type{f.type, f.subType, f.size};
    for (const TDataQuery* p : UnionPartners()) type = CommonColumnType(type, p->selectList[i]);
    def.fields.push_back(ResultColumnField(static_cast<std::uint16_t>(i + 1), names[i], type.type,
                                           type.subType, type.size, f.expression->text));
  }
  if (collation_) {
    def.languageId = collation_->LanguageId();
    def.sortId = collation_->SortId();
  }
  TIndexFileHeader index = NewIndexHeader();
  index.noPrimaryFields = 1;
  // The table is created, closed and opened again by the result cursor,
  // which then owns it; a temporary one is deleted when the cursor closes.
  TableOpenOptions create;
  create.exclusive = true;
  CursorOpenOptions open;
  open.exclusive = true;
  open.recordOrder = true;
  std::string name;
  if (q.intoTable.empty()) {
    if (!privateDirectory_) {
      privateDirectory_ = std::make_unique<TDataDirectory>(session_, PrivateDirectoryOf(session_));
    }
    resultDirectory_ = privateDirectory_.get();
    name = resultDirectory_->UniqueTemporaryName(".DAT");
    name.resize(name.size() - 4);
    open.temporary = true;
  } else {
    resultDirectory_ = &catalog_.DirectoryFor(q.intoDatabase, q.intoMemory);
    name = q.intoTable;
    create.inMemory = open.inMemory = q.intoMemory;
    // INTO replaces a table of that name.
    if (resultDirectory_->TableExists(name, q.intoMemory)) {
      resultDirectory_->DeleteTable(name, q.intoMemory);
    }
  }
  auto cursor = std::make_unique<TDataCursor>(session_, *resultDirectory_);
  try {
    resultDirectory_->CloseTable(resultDirectory_->CreateTable(name, create, def, index));
    cursor->Open(name, open);
  } catch (...) {
    if (open.temporary) RemoveResultFiles(session_, *resultDirectory_, name);
    throw;
  }
  result_ = std::move(cursor);
}

void TQueryExecution::Execute(const std::vector<Value>& parameters) {
  if (!Prepared()) SqlError("The statement has not been prepared");
  if (advanced_) {
    // A script ran before: start again from its first statement.
    const std::string text = text_;
    Prepare(text);
  }
  const std::int64_t start = session_.GetEnv().NowMillis();
  std::size_t used = 0;
  rowsAffected_ = 0;
  remembered_ = 0;
  executionTime_ = 0;
  ExecuteOne(parameters, &used);
  while (statement_->HasNextStatement()) {
    Release();
    advanced_ = true;
    statement_->PrepareNext();
    SetUp();
    ExecuteOne(parameters, &used);
  }
  executed_ = true;
  executionTime_ = Seconds(start, session_.GetEnv().NowMillis());
  statement_->executionTime = executionTime_;
  statement_->rowsAffected = rowsAffected_;
}

void TQueryExecution::ExecuteOne(const std::vector<Value>& parameters, std::size_t* used) {
  const auto count = static_cast<std::size_t>(statement_->ParameterCount());
  std::vector<Value> mine;
  for (std::size_t i = 0; i < count && *used + i < parameters.size(); ++i) {
    mine.push_back(parameters[*used + i]);
  }
  *used += count;
  statement_->BindParameters(mine);
  if (statement_->Kind() != StatementKind::kSelect) {
    ExecuteTransaction();
    return;
  }
  const TDataQuery& q = statement_->Master();
  if (q.where && q.where->type != kTypeBoolean && q.where->type != kTypeNone) {
    SqlError("WHERE or JOIN clause must be a boolean expression");
  }
  if (live_) {
    ExecuteLive();
    return;
  }
  std::vector<TDataTable*> tables;
  for (const OpenSource& s : sources_) tables.push_back(s.table);
  const LocaleCollation collation(collation_);
  if (!privateDirectory_) {
    privateDirectory_ = std::make_unique<TDataDirectory>(session_, PrivateDirectoryOf(session_));
  }
  TDataDirectory& work = *privateDirectory_;
  // Sub-selects first, innermost first: each may use those inside it.
  SourceRows::SubQueryRows subRows;
  for (std::size_t i = 0; i < subSelects_.size(); ++i) {
    std::vector<TDataTable*> subTables;
    for (const OpenSource& s : subSources_[i]) subTables.push_back(s.table);
    CannedRun sub{session_, *subSelects_[i], subTables, collation, collation_, result_->Table(),
                  -1, work, &subRows};
    subRows[subSelects_[i]] = SubQueryColumn(sub);
  }
  CannedRun run{session_, q, tables, collation, collation_, result_->Table(),
                statement_->MaxRowCount(), work, &subRows};
  if (partnerSources_.empty()) {
    rowsAffected_ += ExecuteCanned(run);
  } else {
    std::vector<std::vector<TDataTable*>> partnerTables;
    for (const auto& list : partnerSources_) {
      partnerTables.emplace_back();
      for (const OpenSource& s : list) partnerTables.back().push_back(s.table);
    }
    const std::vector<const TDataQuery*> partners = UnionPartners();
    std::vector<CannedRun> runs{run};
    for (std::size_t i = 0; i < partners.size(); ++i) {
      runs.push_back({session_, *partners[i], partnerTables[i], collation, collation_,
                      result_->Table(), statement_->MaxRowCount(), work, &subRows});
    }
    rowsAffected_ += ExecuteUnion(runs);
  }
  result_->Refresh();
  result_->First();
}

// The live result is the source table itself: the bound WHERE copy becomes
// the source cursor's filter; the rows affected are the rows it passes.
void TQueryExecution::ExecuteLive() {
  const TDataQuery& q = statement_->Master();
  TDataCursor& cursor = *sources_[0].cursor;
  // The filter of the last execution borrows the old condition, which
  // therefore goes only after the filter has; the visible set is computed
  // once, for the new condition.
  std::unique_ptr<TExpToken> condition = q.where ? CloneBound(*q.where) : nullptr;
  if (condition) {
    cursor.SetFilter(*condition);
  } else {
    cursor.ClearFilters();
  }
  liveFilter_ = std::move(condition);
  cursor.First();
  rowsAffected_ += cursor.RecordCount();
}

void TQueryExecution::ExecuteTransaction() {
  TDataDirectory& dir = catalog_.Directory();
  switch (statement_->Kind()) {
    case StatementKind::kStartTransaction:
      if (dir.InTransaction()) {
        SqlError("Transaction already in progress for database '" + dir.Path() + "'");
      }
      dir.StartTransaction();
      remembered_ = rowsAffected_;
      return;
    case StatementKind::kCommit:
    case StatementKind::kRollback:
      if (!dir.InTransaction()) {
        SqlError("Transaction not in progress for database '" + dir.Path() + "'");
      }
      if (statement_->Kind() == StatementKind::kCommit) {
        dir.Commit();
      } else {
        dir.Rollback();
        rowsAffected_ = remembered_;
      }
      return;
    default:
      // Structure statements and INSERT, UPDATE, DELETE.
      rowsAffected_ += ExecuteChangeStatement(session_, catalog_, *statement_, text_);
      return;
  }
}

}  // namespace kura::sql
