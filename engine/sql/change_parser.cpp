// The grammar of CREATE TABLE, CREATE INDEX, DROP TABLE, DROP INDEX,
// INSERT, UPDATE and DELETE. Each failure raises 11949 with a message in
// the style of the SELECT grammar ("... expected ..., instead found '" and
// the current token).
#include <string>

#include "engine/expr/field_types.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/change_statement.h"
#include "engine/sql/expression_parser.h"
#include "engine/sql/statement_parser.h"

namespace kura::sql {
namespace {

bool IsName(const Token& t) {
  return t.kind == TokenKind::kSymbol || t.kind == TokenKind::kBracketed ||
         t.IsQuoted();
}

struct TypeKeyword {
  const char* word;
  int type;
  int subType;
  bool sized;  // takes "(n)"
};

constexpr TypeKeyword kTypeKeywords[] = {
    {"SMALLINT", kTypeSmallInt, 0, false},
    {"INTEGER", kTypeInteger, 0, false},
    {"INT", kTypeInteger, 0, false},
    {"AUTOINC", kTypeInteger, kSubAutoInc, false},
    {"WORD", kTypeWord, 0, false},
    {"LARGEINT", kTypeLargeInt, 0, false},
    {"BOOLEAN", kTypeBoolean, 0, false},
    {"FLOAT", kTypeFloat, 0, false},
    {"MONEY", kTypeFloat, kSubMoney, false},
    {"BCD", kTypeBcd, 0, false},
    {"DATE", kTypeDate, 0, false},
    {"TIME", kTypeTime, 0, false},
    {"TIMESTAMP", kTypeTimestamp, 0, false},
    {"CHAR", kTypeString, kSubFixedString, true},
    {"VARCHAR", kTypeString, 0, true},
    {"BYTES", kTypeBytes, 0, true},
    {"VARBYTES", kTypeVarBytes, 0, true},
    {"BLOB", kTypeBlob, 0, false},
    {"MEMO", kTypeBlob, kSubMemo, false},
    {"GRAPHIC", kTypeBlob, kSubGraphic, false},
};

constexpr const char* kIndexModifiers[] = {"UNIQUE", "ASC", "ASCENDING", "DESC",
                                           "DESCENDING", "NOCASE"};

class ChangeParser {
 public:
  ChangeParser(TExpressionParser& p, ParsedStatement& st,
               const std::function<void()>& parseSelect)
      : p_(p), st_(st), parseSelect_(parseSelect), c_(*st.change) {}

  void Parse();

 private:
  const Token& Cur() const { return p_.Current(); }
  void Advance() { p_.Advance(); }
  bool AtEnd() const { return Cur().kind == TokenKind::kEnd || Cur().Is(';'); }
  // Takes a name token or fails with `message` + the current token.
  std::string TakeName(const std::string& message);
  void Expect(char c, const std::string& message);
  void ExpectKeyword(const char* word, const std::string& message);
  int TakeInteger(const std::string& message);

  void ParseCreateTable();
  bool TakeCondition(bool notExists);
  void ParseColumn(CreateTableClauses& t);
  void ParseColumnType(ColumnDefinition& col);
  std::string ParseLiteral(const std::string& keyword);
  void ParseTableOptions(CreateTableClauses& t);
  void ParseNameList(std::vector<std::string>& names, const std::string& what);
  void ParseCreateIndex();
  void ParseDropIndex();
  void ParseInsert();
  void ParseUpdate();
  void ParseDelete();
  ExpPtr ParseValue(const char* context, const char* emptyMessage);
  ExpPtr ParseWhere();
  // Makes `table` the master query's one source table, so that names in
  // the statement's expressions resolve against it.
  void SetTarget(const std::string& table);

  TExpressionParser& p_;
  ParsedStatement& st_;
  const std::function<void()>& parseSelect_;
  ChangeClauses& c_;
};

std::string ChangeParser::TakeName(const std::string& message) {
  if (!IsName(Cur())) p_.FailFound(message);
  std::string name = Cur().text;
  Advance();
  return name;
}

void ChangeParser::Expect(char c, const std::string& message) {
  if (!Cur().Is(c)) p_.FailFound(message);
  Advance();
}

void ChangeParser::ExpectKeyword(const char* word, const std::string& message) {
  if (!Cur().IsKeyword(word)) p_.FailFound(message);
  Advance();
}

int ChangeParser::TakeInteger(const std::string& message) {
  if (Cur().kind != TokenKind::kInteger || Cur().text.size() > 9) p_.FailFound(message);
  const int v = std::stoi(Cur().text);
  Advance();
  return v;
}

void ChangeParser::Parse() {
  switch (st_.kind) {
    case StatementKind::kCreateTable: ParseCreateTable(); break;
    case StatementKind::kCreateIndex: ParseCreateIndex(); break;
    case StatementKind::kDropTable:
      c_.conditional = TakeCondition(false);
      c_.dropTable = TakeName("Table name expected after DROP TABLE keywords, instead found '");
      break;
    case StatementKind::kDropIndex: ParseDropIndex(); break;
    case StatementKind::kInsert: ParseInsert(); break;
    case StatementKind::kUpdate: ParseUpdate(); break;
    case StatementKind::kDelete: ParseDelete(); break;
    default: break;  // transactions have no clauses
  }
}

// "IF NOT EXISTS" (after CREATE TABLE) or "IF EXISTS" (after DROP TABLE);
// a table named IF stays a name when neither follows.
bool ChangeParser::TakeCondition(bool notExists) {
  if (!Cur().IsKeyword("IF")) return false;
  const Token next = p_.PeekNext();
  if (!next.IsKeyword(notExists ? "NOT" : "EXISTS")) return false;
  Advance();
  if (notExists) ExpectKeyword("NOT", "NOT keyword expected after IF keyword, instead found '");
  ExpectKeyword("EXISTS", "EXISTS keyword expected after IF keyword, instead found '");
  return true;
}

void ChangeParser::ParseCreateTable() {
  CreateTableClauses& t = c_.createTable;
  c_.conditional = TakeCondition(true);
  t.table = TakeName("Table name expected after CREATE TABLE keywords, instead found '");
  Expect('(', "Left parentheses expected after table name, instead found '");
  for (;;) {
    if (Cur().IsKeyword("PRIMARY")) {
      Advance();
      ExpectKeyword("KEY", "KEY keyword expected after PRIMARY keyword, instead found '");
      if (!t.primaryKey.empty()) SqlError("Primary key is already defined for the table '" + t.table + "'");
      ParseNameList(t.primaryKey, "PRIMARY KEY");
    } else {
      ParseColumn(t);
    }
    if (!Cur().Is(',')) break;
    Advance();
  }
  Expect(')', "Right parentheses expected after column definitions, instead found '");
  ParseTableOptions(t);
}

void ChangeParser::ParseColumn(CreateTableClauses& t) {
  ColumnDefinition col;
  col.name = TakeName("Column name expected in column definitions, instead found '");
  ParseColumnType(col);
  for (;;) {
    if (Cur().IsKeyword("NOT")) {
      Advance();
      ExpectKeyword("NULL", "NULL keyword expected after NOT keyword, instead found '");
      col.notNull = true;
    } else if (Cur().IsKeyword("DEFAULT")) {
      col.defaultText = ParseLiteral("DEFAULT");
    } else if (Cur().IsKeyword("MIN")) {
      col.minText = ParseLiteral("MIN");
    } else if (Cur().IsKeyword("MAX")) {
      col.maxText = ParseLiteral("MAX");
    } else if (Cur().IsKeyword("DESCRIPTION")) {
      Advance();
      if (!Cur().IsQuoted())
        p_.FailFound("String expected after DESCRIPTION keyword, instead found '");
      col.description = Cur().text;
      Advance();
    } else {
      break;
    }
  }
  t.columns.push_back(std::move(col));
}

void ChangeParser::ParseColumnType(ColumnDefinition& col) {
  const std::string word = Cur().text;
  const TypeKeyword* found = nullptr;
  if (Cur().kind == TokenKind::kSymbol)
    for (const auto& k : kTypeKeywords)
      if (Cur().IsKeyword(k.word)) found = &k;
  if (!found) p_.FailFound("Data type expected for column '" + col.name + "', instead found '");
  Advance();
  col.type = found->type;
  col.subType = found->subType;
  if (found->sized) {
    Expect('(', "Left parentheses expected after data type " + std::string(found->word) +
                    ", instead found '");
    col.size = TakeInteger("Size expected for data type " + std::string(found->word) +
                           ", instead found '");
    Expect(')', "Right parentheses expected after size, instead found '");
  } else if (found->type == kTypeBcd && Cur().Is('(')) {
    Advance();
    col.precision = TakeInteger("Precision expected for data type BCD, instead found '");
    if (Cur().Is(',')) {
      Advance();
      col.scale = TakeInteger("Scale expected for data type BCD, instead found '");
    }
    Expect(')', "Right parentheses expected after precision and scale, instead found '");
    if (col.precision < 1 || col.precision > 32 || col.scale > col.precision)
      SqlError("Invalid precision or scale specified for the column '" + col.name + "'");
  }
}

// A literal after DEFAULT, MIN or MAX, kept as its text: a number with an
// optional sign, a quoted text, TRUE, FALSE or one of the CURRENT_ words.
std::string ChangeParser::ParseLiteral(const std::string& keyword) {
  Advance();
  const std::string message = "Literal value expected after " + keyword + " keyword, instead found '";
  std::string sign;
  if (Cur().Is('-') || Cur().Is('+')) {
    if (Cur().Is('-')) sign = "-";
    Advance();
    if (Cur().kind != TokenKind::kInteger && Cur().kind != TokenKind::kNumber) p_.FailFound(message);
  }
  const Token& t = Cur();
  const bool ok = t.kind == TokenKind::kInteger || t.kind == TokenKind::kNumber ||
                  t.IsQuoted() || t.IsKeyword("TRUE") || t.IsKeyword("FALSE") ||
                  t.IsKeyword("CURRENT_DATE") || t.IsKeyword("CURRENT_TIME") ||
                  t.IsKeyword("CURRENT_TIMESTAMP");
  if (!ok) p_.FailFound(message);
  std::string text = sign + t.text;
  Advance();
  return text;
}

void ChangeParser::ParseTableOptions(CreateTableClauses& t) {
  for (;;) {
    if (Cur().IsKeyword("DESCRIPTION")) {
      Advance();
      if (!Cur().IsQuoted())
        p_.FailFound("String expected after DESCRIPTION keyword, instead found '");
      t.description = Cur().text;
      Advance();
    } else if (Cur().IsKeyword("LOCALE")) {
      Advance();
      const std::string name = Cur().text;
      if (Cur().kind == TokenKind::kInteger && name.size() <= 5) {
        t.languageId = std::stoi(name);
      } else if (!IsName(Cur()) || !LookupLanguage(name, &t.languageId)) {
        SqlError("Invalid locale constant '" + name + "' specified after LOCALE keyword");
      }
      Advance();
      if (Cur().Is(',')) {
        Advance();
        const std::string sort = Cur().text;
        if (Cur().kind == TokenKind::kInteger && sort.size() <= 5) {
          t.sortId = std::stoi(sort);
        } else if (!IsName(Cur()) || !LookupSort(sort, &t.sortId)) {
          SqlError("Invalid sort constant '" + sort + "' specified after LOCALE keyword");
        }
        Advance();
      }
    } else if (Cur().IsKeyword("BLOB")) {
      Advance();
      ExpectKeyword("BLOCK", "BLOCK keyword expected after BLOB keyword, instead found '");
      ExpectKeyword("SIZE", "SIZE keyword expected after BLOCK keyword, instead found '");
      t.blobBlockSize = static_cast<std::uint32_t>(
          TakeInteger("Integer value expected after BLOB BLOCK SIZE keywords, instead found '"));
    } else {
      break;
    }
  }
}

void ChangeParser::ParseNameList(std::vector<std::string>& names, const std::string& what) {
  Expect('(', "Left parentheses expected after " + what + " keywords, instead found '");
  for (;;) {
    names.push_back(TakeName("Column name expected in " + what + " column list, instead found '"));
    if (!Cur().Is(',')) break;
    Advance();
  }
  Expect(')', "Right parentheses expected after " + what + " column list, instead found '");
}

void ChangeParser::ParseCreateIndex() {
  CreateIndexClauses& x = c_.createIndex;
  // CREATE INDEX has passed INDEX; otherwise the modifiers come first.
  bool modifiers = false;
  for (;;) {
    bool any = false;
    for (const char* w : kIndexModifiers) any = any || Cur().IsKeyword(w);
    if (!any) break;
    modifiers = true;
    if (Cur().IsKeyword("UNIQUE")) x.unique = true;
    if (Cur().IsKeyword("NOCASE")) x.noCase = true;
    if (Cur().IsKeyword("DESC") || Cur().IsKeyword("DESCENDING")) x.descending = true;
    Advance();
  }
  if (modifiers) ExpectKeyword("INDEX", "INDEX keyword expected, instead found '");
  x.index = TakeName("Index name expected after INDEX keyword, instead found '");
  ExpectKeyword("ON", "ON keyword expected after index name, instead found '");
  x.table = TakeName("Table name expected after ON keyword, instead found '");
  Expect('(', "Left parentheses expected after table name, instead found '");
  for (;;) {
    IndexColumn col;
    col.name = TakeName("Column name expected in index column list, instead found '");
    if (Cur().IsKeyword("ASC") || Cur().IsKeyword("ASCENDING")) {
      Advance();
    } else if (Cur().IsKeyword("DESC") || Cur().IsKeyword("DESCENDING")) {
      col.descending = true;
      Advance();
    }
    x.columns.push_back(std::move(col));
    if (!Cur().Is(',')) break;
    Advance();
  }
  Expect(')', "Right parentheses expected after index column list, instead found '");
}

void ChangeParser::ParseDropIndex() {
  const char* message = "Table name and index name expected after DROP INDEX keywords, instead found '";
  c_.dropIndexTable = TakeName(message);
  Expect('.', message);
  c_.dropIndexName = TakeName(message);
}

ExpPtr ChangeParser::ParseValue(const char* context, const char* emptyMessage) {
  p_.SetContext(context, {.aggregates = false, .star = false, .predicates = true,
                          .parameters = true, .subSelects = false});
  if (AtEnd() || Cur().Is(',') || Cur().Is(')')) SqlError(emptyMessage);
  ExpPtr e = p_.ParseExpression();
  p_.SetContext(kContextStatement, {});
  return e;
}

ExpPtr ChangeParser::ParseWhere() {
  if (!Cur().IsKeyword("WHERE")) return nullptr;
  p_.SetContext(kContextWhere, {.aggregates = false, .star = false, .predicates = true,
                                .parameters = true, .subSelects = false});
  Advance();
  if (AtEnd()) SqlError("WHERE clause is empty");
  ExpPtr e = p_.ParseExpression();
  p_.SetContext(kContextStatement, {});
  return e;
}

void ChangeParser::SetTarget(const std::string& table) {
  auto source = std::make_unique<TSourceTable>();
  source->tableName = table;
  source->correlationName = table;
  source->position = 1;
  st_.master().sources.push_back(std::move(source));
}

void ChangeParser::ParseInsert() {
  DataChangeClauses& d = c_.data;
  ExpectKeyword("INTO", "INTO keyword expected after INSERT keyword, instead found '");
  d.table = TakeName("Table name expected after INTO keyword, instead found '");
  SetTarget(d.table);
  if (Cur().Is('(') && !p_.PeekNext().IsKeyword("SELECT")) {
    Advance();
    for (;;) {
      d.columns.push_back(TakeName("Column name expected in INSERT column list, instead found '"));
      if (!Cur().Is(',')) break;
      Advance();
    }
    Expect(')', "Right parentheses expected after INSERT column list, instead found '");
  }
  if (Cur().IsKeyword("SELECT") || Cur().Is('(')) {
    d.fromSelect = true;
    d.selectStart = Cur().position;
    parseSelect_();
    return;
  }
  ExpectKeyword("VALUES", "VALUES or SELECT keyword expected, instead found '");
  for (;;) {
    Expect('(', "Left parentheses expected after VALUES keyword, instead found '");
    std::vector<ExpPtr> row;
    for (;;) {
      row.push_back(ParseValue(kContextStatement, "Value expression is empty"));
      if (!Cur().Is(',')) break;
      Advance();
    }
    Expect(')', "Right parentheses expected after VALUES list, instead found '");
    d.rows.push_back(std::move(row));
    if (!Cur().Is(',')) break;
    Advance();
  }
}

void ChangeParser::ParseUpdate() {
  DataChangeClauses& d = c_.data;
  d.table = TakeName("Table name expected after UPDATE keyword, instead found '");
  SetTarget(d.table);
  ExpectKeyword("SET", "SET keyword expected after table name, instead found '");
  for (;;) {
    TResultField item;
    item.name = TakeName("Column name expected after SET keyword, instead found '");
    Expect('=', "Equals sign expected after column name, instead found '");
    item.expression = ParseValue(kContextSelectList, "SET expression is empty");
    st_.master().selectList.push_back(std::move(item));
    if (!Cur().Is(',')) break;
    Advance();
  }
  st_.master().where = ParseWhere();
}

void ChangeParser::ParseDelete() {
  DataChangeClauses& d = c_.data;
  ExpectKeyword("FROM", "FROM keyword expected after DELETE keyword, instead found '");
  d.table = TakeName("Table name expected after FROM keyword, instead found '");
  SetTarget(d.table);
  st_.master().where = ParseWhere();
}

}  // namespace

void ParseChangeStatement(TExpressionParser& p, ParsedStatement& statement,
                          const std::function<void()>& parseSelect) {
  statement.change = std::make_unique<ChangeClauses>();
  ChangeParser(p, statement, parseSelect).Parse();
}

}  // namespace kura::sql
