#include "engine/sql/statement_parser.h"

#include <string>

#include "engine/expr/sql_error.h"
#include "engine/sql/expression_parser.h"

namespace kura::sql {
namespace {

constexpr int kMaxColumns = 1024;

struct LanguageEntry {
  const char* name;
  int id;
};

// The language names accepted after LANGUAGE, with their language ids: the
// locales the engine has installed (a test keeps this list and the storage
// layer's in step). ANSI_STANDARD is the byte-order collation.
constexpr LanguageEntry kLanguages[] = {
    {"ANSI_STANDARD", 0},
    {"ENGLISH_US", 1033},
    {"JAPANESE", 1041},
};

constexpr LanguageEntry kSorts[] = {{"DEFAULT", 0}};

// Bare words that end a table reference instead of being taken as its alias.
// FULL is among them so that a FULL join is reported, not taken as an alias,
// and ON so that "a JOIN b ON ..." joins b under its own name.
constexpr const char* kNotTableAliases[] = {
    "LEFT", "RIGHT", "INNER", "JOIN", "ON", "WHERE", "ORDER", "GROUP", "HAVING",
    "TOP", "RANGE", "WITH", "ENCRYPTED", "LANGUAGE", "NOJOINOPTIMIZE",
    "UNION", "FULL"};

// Words after which a WHERE or HAVING condition is empty.
constexpr const char* kClauseWords[] = {
    "GROUP", "HAVING", "ORDER", "TOP", "WITH", "LANGUAGE", "ENCRYPTED",
    "NOJOINOPTIMIZE", "UNION"};

bool IsName(const Token& t) {
  return t.kind == TokenKind::kSymbol || t.kind == TokenKind::kBracketed ||
         t.IsQuoted();
}

class StatementParser {
 public:
  StatementParser(std::string_view text, std::size_t start)
      : p_(text, start), result_(std::make_unique<ParsedStatement>()) {
    p_.parameters = &result_->parameters;
    p_.parseSubSelect = [this](bool parenthesised) {
      return ParseSubSelect(parenthesised);
    };
  }

  std::unique_ptr<ParsedStatement> Parse();

 private:
  const Token& Cur() const { return p_.Current(); }
  void Advance() { p_.Advance(); }
  bool AtStatementEnd() const {
    return Cur().kind == TokenKind::kEnd || Cur().Is(';');
  }
  StatementKind ParseKind();
  void SkipStatementBody();
  TDataQuery* NewQuery();
  TDataQuery* ParseSelectChain(TDataQuery* outer);
  TDataQuery* ParseSelectQuery(TDataQuery* outer, bool unionPartner);
  TDataQuery* ParseSubSelect(bool parenthesised);
  void ParseSelectList(TDataQuery& q);
  std::string ParseAlias();
  void ParseInto(TDataQuery& q);
  void ParseFrom(TDataQuery& q);
  TSourceTable& ParseTableReference(TDataQuery& q, const char* nameMessage);
  bool ParseJoin(TDataQuery& q);
  // Passes the clause keyword (WHERE, HAVING, ON) and parses the condition.
  ExpPtr ParseCondition(const char* context, const ExpressionRules& rules,
                        const char* emptyMessage);
  void ParseGroupBy(TDataQuery& q);
  void ParseOrderBy(TDataQuery& q);
  void ParseLanguage(TDataQuery& q);

  TExpressionParser p_;
  std::unique_ptr<ParsedStatement> result_;
  TDataQuery* currentQuery_ = nullptr;  // the query whose clauses are parsed
};

std::unique_ptr<ParsedStatement> StatementParser::Parse() {
  result_->kind = ParseKind();
  if (result_->kind == StatementKind::kSelect) {
    TDataQuery* master = ParseSelectChain(nullptr);
    master->isMaster = true;
  } else {
    NewQuery()->kind = result_->kind;
    result_->queries.front()->isMaster = true;
    if (result_->kind == StatementKind::kAlterTable) {
      SkipStatementBody();
    } else {
      // INSERT ... SELECT: the SELECT becomes the statement's second query.
      ParseChangeStatement(p_, *result_, [this] {
        TDataQuery* q = ParseSelectChain(nullptr);
        q->isSubSelect = false;
      });
    }
  }
  if (!AtStatementEnd())
    p_.FailFound(std::string("End of ") + StatementKindName(result_->kind) +
                 " statement expected, instead found '");
  if (Cur().Is(';')) {
    Advance();
    result_->endPosition = p_.ConsumedEnd();
    result_->moreStatements = Cur().kind != TokenKind::kEnd;
  } else {
    result_->endPosition = Cur().position;
  }
  return std::move(result_);
}

StatementKind StatementParser::ParseKind() {
  const Token& t = Cur();
  if (t.IsKeyword("SELECT") || t.Is('(')) return StatementKind::kSelect;
  struct Simple { const char* word; StatementKind kind; };
  static const Simple kSimple[] = {
      {"INSERT", StatementKind::kInsert}, {"UPDATE", StatementKind::kUpdate},
      {"DELETE", StatementKind::kDelete}, {"ROLLBACK", StatementKind::kRollback},
      {"COMMIT", StatementKind::kCommit}};
  for (const auto& s : kSimple) {
    if (t.IsKeyword(s.word)) {
      Advance();
      return s.kind;
    }
  }
  if (t.IsKeyword("CREATE")) {
    Advance();
    if (Cur().IsKeyword("TABLE")) { Advance(); return StatementKind::kCreateTable; }
    if (Cur().IsKeyword("INDEX")) { Advance(); return StatementKind::kCreateIndex; }
    for (const char* w : {"UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE"})
      if (Cur().IsKeyword(w)) return StatementKind::kCreateIndex;
    p_.FailFound("TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword expected, instead found '");
  }
  if (t.IsKeyword("ALTER")) {
    Advance();
    if (!Cur().IsKeyword("TABLE")) p_.FailFound("TABLE keyword expected, instead found '");
    Advance();
    return StatementKind::kAlterTable;
  }
  if (t.IsKeyword("DROP")) {
    Advance();
    if (Cur().IsKeyword("TABLE")) { Advance(); return StatementKind::kDropTable; }
    if (Cur().IsKeyword("INDEX")) { Advance(); return StatementKind::kDropIndex; }
    p_.FailFound("TABLE or INDEX keyword expected, instead found '");
  }
  if (t.IsKeyword("START")) {
    Advance();
    if (!Cur().IsKeyword("TRANSACTION"))
      p_.FailFound("TRANSACTION keyword expected, instead found '");
    Advance();
    return StatementKind::kStartTransaction;
  }
  p_.FailFound("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found '");
}

// The clauses of ALTER TABLE are not parsed: their tokens are read (so that
// lexical errors are still found) up to the statement's end.
void StatementParser::SkipStatementBody() {
  while (!AtStatementEnd()) Advance();
}

TDataQuery* StatementParser::NewQuery() {
  result_->queries.push_back(std::make_unique<TDataQuery>());
  return result_->queries.back().get();
}

TDataQuery* StatementParser::ParseSelectChain(TDataQuery* outer) {
  TDataQuery* first = ParseSelectQuery(outer, false);
  TDataQuery* last = first;
  while (Cur().IsKeyword("UNION")) {
    if (last->hasOrderBy)
      SqlError("You cannot use an ORDER BY clause within a UNIONed query");
    Advance();
    bool all = false;
    if (Cur().IsKeyword("ALL")) {
      all = true;
      Advance();
    }
    if (!Cur().IsKeyword("SELECT") && !Cur().Is('('))
      p_.FailFound("SELECT keyword expected, instead found '");
    first->isUnionPartner = true;
    TDataQuery* partner = ParseSelectQuery(outer, true);
    last->unionPartner = partner;
    last->unionAll = all;
    last = partner;
  }
  return first;
}

TDataQuery* StatementParser::ParseSubSelect(bool parenthesised) {
  const std::string savedContext = p_.ContextName();
  const ExpressionRules savedRules = p_.Rules();
  const bool savedInside = p_.insideAggregate;
  p_.insideAggregate = false;
  (void)parenthesised;  // "(" SELECT and IN's SELECT parse alike
  TDataQuery* q = ParseSelectChain(currentQuery_);
  for (TDataQuery* s = q; s; s = s->unionPartner) s->isSubSelect = true;
  p_.SetContext(savedContext, savedRules);
  p_.insideAggregate = savedInside;
  return q;
}

TDataQuery* StatementParser::ParseSelectQuery(TDataQuery* outer, bool unionPartner) {
  TDataQuery& q = *NewQuery();
  q.outer = outer;
  TDataQuery* const enclosing = currentQuery_;
  currentQuery_ = &q;
  q.isUnionPartner = unionPartner;
  const bool parenthesised = Cur().Is('(');
  if (parenthesised) {
    Advance();
    if (!Cur().IsKeyword("SELECT")) p_.FailFound("SELECT keyword expected, instead found '");
  }
  p_.SetContext(kContextSelectList,
                {.aggregates = true, .star = true, .predicates = true,
                 .parameters = false, .subSelects = false});
  Advance();  // SELECT
  if (Cur().IsKeyword("ALL")) Advance();
  if (Cur().IsKeyword("DISTINCT")) {
    q.distinct = true;
    Advance();
  }
  ParseSelectList(q);
  if (Cur().IsKeyword("INTO")) ParseInto(q);
  ParseFrom(q);
  if (Cur().IsKeyword("WHERE")) {
    q.where = ParseCondition(kContextWhere,
                             {.aggregates = false, .star = false, .predicates = true,
                              .parameters = true, .subSelects = true},
                             "WHERE clause is empty");
  }
  if (Cur().IsKeyword("GROUP")) ParseGroupBy(q);
  if (Cur().IsKeyword("HAVING")) {
    if (!q.hasGroupBy)
      SqlError("A GROUP BY clause must exist in order to use the HAVING clause");
    q.hasHaving = true;
    q.having = ParseCondition(kContextHaving,
                              {.aggregates = true, .star = false, .predicates = true,
                               .parameters = false, .subSelects = false},
                              "HAVING clause is empty");
  }
  if (Cur().IsKeyword("ORDER")) ParseOrderBy(q);
  if (Cur().IsKeyword("TOP")) {
    Advance();
    if (Cur().kind != TokenKind::kInteger || Cur().text.size() > 9)
      p_.FailFound("Integer value expected after TOP keyword, instead found '");
    q.top = std::stoi(Cur().text);
    Advance();
  }
  if (Cur().IsKeyword("WITH")) {
    Advance();
    if (!Cur().IsKeyword("LOCKS"))
      p_.FailFound("LOCKS keyword expected after WITH keyword, instead found '");
    Advance();
    q.withLocks = true;
  }
  if (Cur().IsKeyword("LANGUAGE")) ParseLanguage(q);
  if (Cur().IsKeyword("ENCRYPTED")) {
    Advance();
    if (!Cur().IsKeyword("WITH"))
      p_.FailFound("WITH keyword expected after ENCRYPTED keyword, instead found '");
    Advance();
    if (!IsName(Cur()))
      p_.FailFound("Password expected after ENCRYPTED WITH keywords, instead found '");
    q.password = Cur().text;
    Advance();
  }
  if (Cur().IsKeyword("NOJOINOPTIMIZE")) {
    Advance();
    q.noJoinOptimize = true;
  }
  if (parenthesised) {
    if (!Cur().Is(')'))
      p_.FailFound("Right parentheses expected after SELECT statement, instead found '");
    Advance();
  }
  currentQuery_ = enclosing;
  return &q;
}

void StatementParser::ParseSelectList(TDataQuery& q) {
  p_.SetContext(kContextSelectList,
                {.aggregates = true, .star = true, .predicates = true,
                 .parameters = false, .subSelects = false});
  bool onlyAggregates = true;
  for (;;) {
    if (AtStatementEnd() || Cur().Is(',') || Cur().IsKeyword("FROM") ||
        Cur().IsKeyword("INTO"))
      SqlError("Source column expression is empty");
    if (static_cast<int>(q.selectList.size()) >= kMaxColumns)
      SqlError("Maximum number of columns (1024) in result set exceeded");
    TResultField field;
    field.expression = p_.ParseExpression();
    const TExpToken& e = *field.expression;
    if (e.nodeClass == NodeClass::kAggregate) {
      field.aggregate = e.aggregate;
    } else {
      onlyAggregates = false;
      if (ContainsAggregate(e))
        SqlError("Aggregate functions cannot be used within expressions");
    }
    field.name = ParseAlias();
    q.selectList.push_back(std::move(field));
    if (!Cur().Is(',')) break;
    Advance();
  }
  if (onlyAggregates) q.hasGroupBy = true;
  p_.SetContext(kContextStatement, {});
}

std::string StatementParser::ParseAlias() {
  std::string alias;
  if (Cur().IsKeyword("AS")) {
    Advance();
    if (!IsName(Cur()))
      p_.FailFound("Symbol or string expected after AS keyword, instead found '");
  } else if (!IsName(Cur()) || Cur().IsKeyword("INTO") || Cur().IsKeyword("FROM")) {
    return alias;
  }
  alias = Cur().text;
  Advance();
  if (Cur().Is('.')) {
    Advance();
    if (!IsName(Cur()))
      p_.FailFound("Symbol or string expected after table correlation name, instead found '");
    alias += "." + Cur().text;
    Advance();
  }
  return alias;
}

void StatementParser::ParseInto(TDataQuery& q) {
  if (&q != result_->queries.front().get())
    SqlError("The INTO clause can only be used with the master query");
  Advance();
  if (Cur().IsKeyword("MEMORY") && IsName(p_.PeekNext())) {
    q.intoMemory = true;
    Advance();
  }
  const char* message = "Result table name expected in INTO clause, instead found '";
  if (!IsName(Cur())) p_.FailFound(message);
  q.intoTable = Cur().text;
  Advance();
  if (Cur().Is('\\')) {
    Advance();
    if (!IsName(Cur())) p_.FailFound(message);
    q.intoDatabase = q.intoTable;
    q.intoTable = Cur().text;
    Advance();
  }
}

void StatementParser::ParseFrom(TDataQuery& q) {
  if (!Cur().IsKeyword("FROM")) p_.FailFound("FROM keyword expected, instead found '");
  Advance();
  for (;;) {
    ParseTableReference(q, "Table name expected after FROM keyword, instead found '");
    while (ParseJoin(q)) {
    }
    if (!Cur().Is(',')) break;
    Advance();
    q.severalTables = true;
  }
}

TSourceTable& StatementParser::ParseTableReference(TDataQuery& q,
                                                   const char* nameMessage) {
  auto table = std::make_unique<TSourceTable>();
  if (Cur().IsKeyword("MEMORY") && IsName(p_.PeekNext())) {
    table->inMemory = true;
    Advance();
  }
  if (!IsName(Cur())) p_.FailFound(nameMessage);
  table->tableName = Cur().text;
  Advance();
  if (Cur().Is('\\')) {
    Advance();
    if (!IsName(Cur())) p_.FailFound(nameMessage);
    table->databasePart = table->tableName;
    table->tableName = Cur().text;
    Advance();
  }
  table->correlationName = table->tableName;
  if (Cur().IsKeyword("AS")) {
    Advance();
    if (!IsName(Cur()))
      p_.FailFound("Symbol or string expected after AS keyword, instead found '");
    table->correlationName = Cur().text;
    Advance();
  } else if (IsName(Cur())) {
    bool reserved = false;
    for (const char* w : kNotTableAliases) reserved = reserved || Cur().IsKeyword(w);
    if (!reserved) {
      table->correlationName = Cur().text;
      Advance();
    }
  }
  if (q.FindSource(table->correlationName))
    SqlError("Duplicate table correlation name '" + table->correlationName +
             "' found in source tables");
  table->position = static_cast<int>(q.sources.size()) + 1;
  q.sources.push_back(std::move(table));
  return *q.sources.back();
}

bool StatementParser::ParseJoin(TDataQuery& q) {
  JoinKind kind = JoinKind::kInner;
  if (Cur().IsKeyword("FULL"))
    SqlError("Full outer joins are currently not supported in SQL SELECT statements");
  if (Cur().IsKeyword("INNER")) {
    Advance();
    if (!Cur().IsKeyword("JOIN"))
      p_.FailFound("JOIN keyword expected after INNER keyword, instead found '");
  } else if (Cur().IsKeyword("LEFT") || Cur().IsKeyword("RIGHT")) {
    const bool left = Cur().IsKeyword("LEFT");
    kind = left ? JoinKind::kLeftOuter : JoinKind::kRightOuter;
    Advance();
    if (Cur().IsKeyword("OUTER")) Advance();
    if (!Cur().IsKeyword("JOIN"))
      p_.FailFound(left ? "JOIN keyword expected after LEFT or OUTER keyword, instead found '"
                        : "JOIN keyword expected after RIGHT or OUTER keyword, instead found '");
  } else if (!Cur().IsKeyword("JOIN")) {
    return false;
  }
  Advance();  // JOIN
  TSourceTable& table =
      ParseTableReference(q, "Table name expected after JOIN keyword, instead found '");
  if (!Cur().IsKeyword("ON"))
    p_.FailFound("ON keyword expected in JOIN clause, instead found '");
  table.join = std::make_unique<TJoin>();
  table.join->kind = kind;
  table.join->condition =
      ParseCondition(kContextStatement,
                     {.aggregates = false, .star = false, .predicates = true,
                      .parameters = true, .subSelects = false},
                     nullptr);
  q.severalTables = true;
  return true;
}

ExpPtr StatementParser::ParseCondition(const char* context,
                                       const ExpressionRules& rules,
                                       const char* emptyMessage) {
  // The context is set before the clause keyword is passed, so that the
  // condition's first token is read in it.
  p_.SetContext(context, rules);
  Advance();
  bool empty = AtStatementEnd() || Cur().Is(')');
  for (const char* w : kClauseWords) empty = empty || Cur().IsKeyword(w);
  if (empty && emptyMessage) SqlError(emptyMessage);
  ExpPtr e = p_.ParseExpression();
  p_.SetContext(kContextStatement, {});
  return e;
}

void StatementParser::ParseGroupBy(TDataQuery& q) {
  Advance();
  if (!Cur().IsKeyword("BY"))
    p_.FailFound("BY keyword expected after GROUP keyword, instead found '");
  Advance();
  q.hasGroupBy = true;
  for (;;) {
    TGroupByField item;
    if (Cur().kind == TokenKind::kInteger && Cur().text.size() <= 9) {
      item.columnNumber = std::stoi(Cur().text);
      Advance();
    } else if (IsName(Cur())) {
      item.columnName = Cur().text;
      Advance();
      if (Cur().Is('.')) {
        Advance();
        if (!IsName(Cur()))
          p_.FailFound("Column name or column number expected in GROUP BY clause, instead found '");
        item.correlationName = item.columnName;
        item.columnName = Cur().text;
        Advance();
      }
    } else {
      p_.FailFound("Column name or column number expected in GROUP BY clause, instead found '");
    }
    q.groupBy.push_back(std::move(item));
    if (!Cur().Is(',')) break;
    Advance();
  }
}

void StatementParser::ParseOrderBy(TDataQuery& q) {
  Advance();
  if (!Cur().IsKeyword("BY"))
    p_.FailFound("BY keyword expected after ORDER keyword, instead found '");
  if (q.isUnionPartner)
    SqlError("You cannot use an ORDER BY clause within a UNIONed query");
  Advance();
  q.hasOrderBy = true;
  const char* message = "Column name or column number expected in ORDER BY clause, instead found '";
  for (;;) {
    if (static_cast<int>(q.orderBy.size()) >= kMaxColumns)
      SqlError("Maximum number of columns (1024) in ORDER BY clause exceeded");
    TOrderByField item;
    if (Cur().kind == TokenKind::kInteger) {
      item.numberText = Cur().text;
      item.columnNumber = Cur().text.size() <= 9 ? std::stoi(Cur().text) : -1;
      Advance();
    } else if (IsName(Cur())) {
      item.columnName = Cur().text;
      Advance();
      if (Cur().Is('.')) {
        Advance();
        if (!IsName(Cur())) p_.FailFound(message);
        item.correlationName = item.columnName;
        item.columnName = Cur().text;
        Advance();
      }
    } else {
      p_.FailFound(message);
    }
    if (Cur().IsKeyword("ASC") || Cur().IsKeyword("ASCENDING")) {
      Advance();
    } else if (Cur().IsKeyword("DESC") || Cur().IsKeyword("DESCENDING")) {
      item.descending = true;
      Advance();
    }
    q.orderBy.push_back(std::move(item));
    if (!Cur().Is(',')) break;
    Advance();
  }
  if (Cur().IsKeyword("NOCASE")) {
    q.noCase = true;
    Advance();
  }
}

void StatementParser::ParseLanguage(TDataQuery& q) {
  Advance();
  const std::string name = Cur().text;
  if (!IsName(Cur()) || !LookupLanguage(name, &q.languageId))
    SqlError("Invalid language constant '" + name + "' specified after LANGUAGE keyword");
  q.language = name;
  Advance();
  if (Cur().IsKeyword("SORT")) {
    Advance();
    const std::string sort = Cur().text;
    if (!IsName(Cur()) || !LookupSort(sort, &q.sortId))
      SqlError("Invalid sort constant '" + sort + "' specified after SORT keyword");
    q.sort = sort;
    Advance();
  }
}

}  // namespace

bool LookupLanguage(std::string_view name, int* languageId) {
  for (const auto& l : kLanguages) {
    if (SameName(name, l.name)) {
      *languageId = l.id;
      return true;
    }
  }
  return false;
}

bool LookupSort(std::string_view name, int* sortId) {
  for (const auto& s : kSorts) {
    if (SameName(name, s.name)) {
      *sortId = s.id;
      return true;
    }
  }
  return false;
}

std::unique_ptr<ParsedStatement> ParseStatement(std::string_view text,
                                                std::size_t start) {
  StatementParser parser(text, start);
  return parser.Parse();
}

}  // namespace kura::sql
