#include "engine/sql/name_resolver.h"

#include <string>

#include "engine/errors/kura_error.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/sql_lexer.h"

namespace kura::sql {
namespace {

constexpr std::size_t kMaxColumns = 1024;

// Bytes a value of the column takes (declared size for strings and bytes).
int ValueSize(const SqlColumn& c) {
  switch (c.type) {
    case kTypeString:
    case kTypeBytes:
    case kTypeVarBytes: return c.size;
    case kTypeBoolean:
    case kTypeSmallInt:
    case kTypeWord: return 2;
    case kTypeDate:
    case kTypeInteger:
    case kTypeTime: return 4;
    case kTypeBcd: return 34;
    default: return 8;
  }
}

void BindColumn(TExpToken& node, const TSourceTable& table, int fieldIndex,
                int outerLevel) {
  const SqlColumn& c = table.schema->columns[static_cast<std::size_t>(fieldIndex)];
  node.tablePosition = table.position;
  node.fieldNumber = fieldIndex + 1;
  node.outerLevel = outerLevel;
  node.type = c.type;
  node.subType = c.subType;
  node.size = ValueSize(c);
}

int FindColumn(const TSourceTable& table, const std::string& name) {
  if (!table.schema) return -1;
  const auto& cols = table.schema->columns;
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (SameName(cols[i].name, name)) return static_cast<int>(i);
  return -1;
}

[[noreturn]] void InvalidColumn(const TExpToken& node, const std::string& context) {
  SqlError("Invalid column name '" + node.columnName +
           "' or table correlation name '" + node.correlationName +
           "' specified in " + context);
}

class Resolver {
 public:
  Resolver(TDataQuery& query, std::string context)
      : query_(query), context_(std::move(context)) {}

  void Resolve(TExpToken& node) {
    if (node.nodeClass == NodeClass::kColumn) {
      ResolveColumn(node);
      return;
    }
    if (node.nodeClass == NodeClass::kSubQuery) return;  // its own query
    if (node.left) Resolve(*node.left);
    if (node.right) Resolve(*node.right);
    for (auto& a : node.args) Resolve(*a);
  }

 private:
  void ResolveColumn(TExpToken& node) {
    int level = 0;
    if (!node.correlationName.empty()) {
      for (TDataQuery* q = &query_; q; q = q->outer, ++level) {
        if (const TSourceTable* t = q->FindSource(node.correlationName)) {
          const int field = FindColumn(*t, node.columnName);
          if (field < 0) InvalidColumn(node, context_);
          BindColumn(node, *t, field, level);
          return;
        }
      }
      SqlError("Table correlation name '" + node.correlationName +
               "' referenced in WHERE clause is not defined in the FROM clause");
    }
    for (TDataQuery* q = &query_; q; q = q->outer, ++level) {
      for (const auto& t : q->sources) {
        const int field = FindColumn(*t, node.columnName);
        if (field >= 0) {
          BindColumn(node, *t, field, level);
          return;
        }
      }
    }
    InvalidColumn(node, context_);
  }

  TDataQuery& query_;
  std::string context_;
};

void OpenSources(TDataQuery& q, SqlCatalog& catalog) {
  for (auto& t : q.sources) {
    t->schema = catalog.FindTable(t->databasePart, t->tableName, t->inMemory);
    if (!t->schema) Raise(KURA_OSENOENT, {.table = t->tableName});
  }
}

TResultField ColumnField(const TSourceTable& t, int fieldIndex) {
  TResultField f;
  f.expression = std::make_unique<TExpToken>();
  TExpToken& node = *f.expression;
  node.nodeClass = NodeClass::kColumn;
  node.correlationName = t.correlationName;
  node.columnName = t.schema->columns[static_cast<std::size_t>(fieldIndex)].name;
  node.text = node.columnName;
  BindColumn(node, t, fieldIndex, 0);
  return f;
}

void ExpandStars(TDataQuery& q) {
  std::vector<TResultField> expanded;
  for (auto& field : q.selectList) {
    const TExpToken& e = *field.expression;
    if (e.nodeClass != NodeClass::kColumn || !e.isStar) {
      expanded.push_back(std::move(field));
      continue;
    }
    for (const auto& t : q.sources) {
      if (!e.correlationName.empty() && !SameName(t->correlationName, e.correlationName))
        continue;
      for (std::size_t i = 0; i < t->schema->columns.size(); ++i)
        expanded.push_back(ColumnField(*t, static_cast<int>(i)));
    }
    if (!e.correlationName.empty() && !q.FindSource(e.correlationName))
      SqlError("Table correlation name '" + e.correlationName +
               "' referenced in WHERE clause is not defined in the FROM clause");
    if (expanded.size() > kMaxColumns)
      SqlError("Maximum number of columns (1024) in result set exceeded");
  }
  q.selectList = std::move(expanded);
}

// The select-list item that `name` (with an optional correlation name)
// names, or -1.
int FindResultColumn(const TDataQuery& q, const std::string& correlation,
                     const std::string& name) {
  for (std::size_t i = 0; i < q.selectList.size(); ++i) {
    const TResultField& f = q.selectList[i];
    if (!SameName(f.name, name)) continue;
    if (!correlation.empty()) {
      if (!f.isColumn) continue;
      const TSourceTable* t = q.FindSource(correlation);
      if (!t || t->position != f.tablePosition) continue;
    }
    return static_cast<int>(i);
  }
  return -1;
}

void ResolveOrderBy(TDataQuery& q) {
  for (auto& item : q.orderBy) {
    if (item.columnName.empty()) {
      const int n = item.columnNumber;
      if (n < 1 || n > static_cast<int>(q.selectList.size()) ||
          q.selectList[static_cast<std::size_t>(n - 1)].type == kTypeBlob)
        SqlError("Invalid column number '" + item.numberText +
                 "' specified in ORDER BY clause");
      item.resultIndex = n - 1;
      continue;
    }
    item.resultIndex = FindResultColumn(q, item.correlationName, item.columnName);
    if (item.resultIndex < 0)
      SqlError("Invalid column name '" + item.columnName +
               "' or table correlation name '" + item.correlationName +
               "' specified in ORDER BY clause");
  }
}

void ResolveGroupBy(TDataQuery& q) {
  for (auto& item : q.groupBy) {
    if (item.columnName.empty()) {
      const int n = item.columnNumber;
      if (n < 1 || n > static_cast<int>(q.selectList.size()))
        SqlError("Invalid column number '" + std::to_string(n) +
                 "' specified in GROUP BY clause");
      item.resultIndex = n - 1;
      continue;
    }
    item.resultIndex = FindResultColumn(q, item.correlationName, item.columnName);
    if (item.resultIndex >= 0) continue;
    TExpToken probe;
    probe.nodeClass = NodeClass::kColumn;
    probe.correlationName = item.correlationName;
    probe.columnName = item.columnName;
    Resolver(q, "GROUP BY clause").Resolve(probe);
    item.tablePosition = probe.tablePosition;
    item.fieldNumber = probe.fieldNumber;
  }
}

}  // namespace

void ResolveNames(ParsedStatement& statement, SqlCatalog& catalog) {
  for (auto& q : statement.queries) OpenSources(*q, catalog);
  for (auto& q : statement.queries) {
    ExpandStars(*q);
    for (auto& f : q->selectList) Resolver(*q, kContextSelectList).Resolve(*f.expression);
    for (auto& t : q->sources)
      if (t->join && t->join->condition)
        Resolver(*q, kContextStatement).Resolve(*t->join->condition);
    if (q->where) Resolver(*q, kContextWhere).Resolve(*q->where);
    if (q->having) Resolver(*q, kContextHaving).Resolve(*q->having);
  }
}

void ResolveResultColumns(ParsedStatement& statement) {
  for (auto& q : statement.queries) {
    for (auto& f : q->selectList) {
      const TExpToken& e = *f.expression;
      f.isColumn = e.nodeClass == NodeClass::kColumn && e.outerLevel == 0;
      if (f.isColumn) {
        f.tablePosition = e.tablePosition;
        f.fieldNumber = e.fieldNumber;
      }
      f.type = e.type;
      f.subType = e.subType;
      f.size = e.size;
      if (f.name.empty()) {
        f.name = f.isColumn ? q->sources[static_cast<std::size_t>(e.tablePosition - 1)]
                                  ->schema->columns[static_cast<std::size_t>(e.fieldNumber - 1)]
                                  .name
                            : e.text;
      }
    }
    ResolveOrderBy(*q);
    ResolveGroupBy(*q);
  }
}

}  // namespace kura::sql
