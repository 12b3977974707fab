#include "tools/kura/kura_shell.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <utility>

#include "engine/errors/kura_error.h"
#include "engine/expr/evaluator.h"
#include "engine/sql/query_execution.h"
#include "engine/expr/sql_error.h"
#include "engine/sql/statement_parser.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
#include "tools/kura/error_position.h"
#include "tools/kura/script_text.h"

namespace kura::tool {

KuraShell::KuraShell(std::string directory, ShellOptions options, std::ostream& out,
                     std::ostream& err)
    : path_(std::move(directory)), options_(options), out_(out), err_(err) {
  style_.format = options_.format;
  FileAttributes attr;
  session_.settings.privateDirectory = options_.tempDirectory;
  if (session_.GetEnv().Attributes(path_, &attr) == 0 && attr.isDirectory)
    directory_ = std::make_unique<TDataDirectory>(session_, path_);
}

KuraShell::~KuraShell() {
  // Leaving without COMMIT rolls the transaction back.
  if (directory_ && directory_->InTransaction()) {
    try {
      directory_->Rollback();
    } catch (const std::exception& e) {
      err_ << e.what() << '\n';
    }
  }
}

TDataDirectory& KuraShell::Database(bool create) {
  if (directory_) return *directory_;
  Env& env = session_.GetEnv();
  FileAttributes attr;
  const bool exists = env.Attributes(path_, &attr) == 0 && attr.exists;
  if (exists && attr.isDirectory) {
  } else if (create && !exists) {
    if (const int error = env.MakeDirectory(path_); error != 0)
      throw std::runtime_error("kura: cannot make the database directory " + path_ + ": " +
                               std::strerror(error));
  } else {
    throw std::runtime_error("kura: no database at " + path_);
  }
  directory_ = std::make_unique<TDataDirectory>(session_, path_);
  return *directory_;
}

bool KuraShell::RunStatement(const std::string& sql, int line) {
  const auto started = std::chrono::steady_clock::now();
  bool ok = true;
  try {
    Execute(sql);
  } catch (const sql::ESqlPositionedError& e) {
    err_ << e.what() << '\n' << PositionText(sql, e.Offset(), line);
    ok = false;
  } catch (const std::exception& e) {
    // Engine errors carry their complete message ("Kura Engine Error # ...").
    err_ << e.what() << '\n';
    ok = false;
  }
  if (!Out()) {
    // A full disk or a reader that went away: the rows stopped there.
    err_ << "kura: the results could not all be written to "
         << (output_ ? outputName_ : std::string("standard output")) << '\n';
    Out().clear();
    ok = false;
  }
  if (timer_) {
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - started;
    char text[64];
    std::snprintf(text, sizeof text, "Time: %.3f ms\n", spent.count());
    Out() << text;
  }
  return ok;
}

namespace {

// The table whose code page the statement's texts are written in: the
// table it creates, changes or first reads; for CREATE TABLE its LOCALE.
std::optional<std::pair<std::int16_t, std::int16_t>> StatementLocale(
    const sql::ParsedStatement& st, sql::TableCatalog& catalog) {
  std::string table;
  switch (st.kind) {
    case sql::StatementKind::kCreateTable:
      return std::make_pair(static_cast<std::int16_t>(st.change->createTable.languageId),
                            static_cast<std::int16_t>(st.change->createTable.sortId));
    case sql::StatementKind::kSelect:
    case sql::StatementKind::kInsert:
    case sql::StatementKind::kUpdate:
    case sql::StatementKind::kDelete:
      if (!st.master().sources.empty()) table = st.master().sources.front()->tableName;
      break;
    default:
      return std::nullopt;
  }
  if (table.empty()) return std::nullopt;
  auto schema = catalog.FindTable("", table, false);
  if (!schema) return std::nullopt;  // preparing will report it
  return std::make_pair(static_cast<std::int16_t>(schema->languageId),
                        static_cast<std::int16_t>(schema->sortId));
}

// "live, record order", "live, index N (name)" or "canned".
std::string PlanText(const sql::TQueryExecution& q) {
  if (!q.Live()) return "canned";
  if (q.ChosenIndex() == sql::kNoIndex) return "live, record order";
  const TIndexFileHeader& h = q.LiveTable()->Index().Header();
  const int n = q.ChosenIndex();
  const std::string name = n == 0 ? "primary" : h.slots[static_cast<std::size_t>(n)].name;
  return "live, index " + std::to_string(n) + " (" + name + ")";
}

std::optional<std::string> ShownValue(const sql::Value& v, const TextCodec& codec) {
  if (v.null) return std::nullopt;
  const sql::Value text = sql::ConvertValue(v, sql::kTypeString, 0);
  if (text.null) return std::string();
  return sql::IsTextType(v.type, v.subType) ? codec.Show(text.text) : text.text;
}

ColumnKind KindOf(int type) {
  if (type == sql::kTypeBoolean) return ColumnKind::kBoolean;
  return sql::IsNumericType(type) ? ColumnKind::kNumber : ColumnKind::kText;
}

// When the statement starts with the word EXPLAIN, blanks it out (offsets
// stay those of the typed text) and returns true.
bool TakeExplain(std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  constexpr std::string_view kWord = "EXPLAIN";
  if (text.size() - i <= kWord.size()) return false;
  for (std::size_t k = 0; k < kWord.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(text[i + k])) != kWord[k]) return false;
  if (static_cast<unsigned char>(text[i + kWord.size()]) > 32) return false;
  text.replace(i, kWord.size(), kWord.size(), ' ');
  return true;
}

bool Creates(const sql::ParsedStatement& st) {
  return st.kind == sql::StatementKind::kCreateTable ||
         (st.kind == sql::StatementKind::kSelect && !st.master().intoTable.empty());
}

bool ChangesRows(const sql::ParsedStatement& st) {
  return st.kind == sql::StatementKind::kInsert || st.kind == sql::StatementKind::kUpdate ||
         st.kind == sql::StatementKind::kDelete;
}

}  // namespace

void KuraShell::WriteSelect(sql::TQueryExecution& q, const TextCodec& codec) {
  std::vector<std::string> columns;
  std::vector<ColumnKind> kinds;
  if (!q.Live()) {
    TDataTable& t = *q.ResultTable();
    for (const TFieldDescriptor& f : t.Data().Fields()) {
      columns.push_back(f.name);
      kinds.push_back(KindOf(f.type));
    }
    ResultWriter writer(Out(), style_, columns, kinds);
    for (std::int32_t n = 1; n <= t.Data().RecordCount() && Out(); ++n) {
      const TRecord* r = t.ReadRecord(n);
      if (r == nullptr || RecordStatus(r->Data()) != kRecordActive) continue;
      ResultRow row;
      for (const TFieldDescriptor& f : t.Data().Fields()) {
        if (f.type == kFieldBlob && t.Blob() != nullptr) {
          const BlobRef ref = GetBlobRef(r->Data(), f);
          row.push_back(ref.firstBlock == 0 ? std::nullopt
                                            : ShownValue(sql::Value::String(t.Blob()->ReadValue(ref)), codec));
        } else {
          row.push_back(ShownValue(ReadFieldValue(r->Data(), f), codec));
        }
      }
      writer.Row(std::move(row));
    }
    writer.Finish();
    return;
  }
  const sql::TDataQuery& master = q.Statement().Master();
  for (const sql::TResultField& f : master.selectList) {
    columns.push_back(f.name);
    kinds.push_back(KindOf(f.type));
  }
  ResultWriter writer(Out(), style_, columns, kinds);
  TDataCursor c(session_, *directory_);
  c.Open(q.LiveTable()->Name(), {.readOnly = true, .recordOrder = true});
  c.SetOrder(q.ChosenIndex());
  if (q.LiveFilter() != nullptr) c.AddFilter(*q.LiveFilter());
  c.First();
  // Each row is written as it is read; a reader that went away (a closed
  // pipe) ends the reading.
  while (Out() && c.Next()) {
    c.ReadCurrent();
    ResultRow row;
    for (const sql::TResultField& f : master.selectList) {
      const sql::Value v = f.isColumn ? c.GetField(c.Image(), f.fieldNumber)
                                      : sql::Evaluate(*f.expression, c.Row(c.Image()));
      row.push_back(ShownValue(v, codec));
    }
    writer.Row(std::move(row));
  }
  c.Close();
  writer.Finish();
}

std::vector<sql::Value> KuraShell::ParameterValues(const std::vector<std::string>& names,
                                                   const TextCodec& codec) const {
  std::vector<sql::Value> values;
  int position = 0;
  for (const std::string& name : names) {
    const std::string key = name.empty() ? "?" + std::to_string(++position) : name;
    const auto found = parameters_.find(key);
    if (found == parameters_.end())
      throw std::runtime_error("kura: no value for the parameter " + key + " (see .param)");
    sql::Value v = found->second;
    if (!v.null && sql::IsTextType(v.type, v.subType) && !codec.Store(found->second.text, v.text))
      sql::SqlError("The parameter " + key + " holds characters that the table's code page cannot store");
    values.push_back(std::move(v));
  }
  return values;
}

void KuraShell::Execute(const std::string& typed) {
  std::vector<std::string> parameterNames;
  std::string text = MarkParameters(typed, parameterNames);
  const bool explain = TakeExplain(text);
  std::unique_ptr<sql::ParsedStatement> st = sql::ParseStatement(text);
  if (st->moreStatements) {
    // The grammar found an end that the shell's cutting did not: each part
    // runs on its own.
    const std::size_t end = st->endPosition;
    st.reset();
    Execute(typed.substr(0, end));
    try {
      Execute(typed.substr(end));
    } catch (const sql::ESqlPositionedError& e) {
      throw sql::ESqlPositionedError(e, end + e.Offset());
    }
    return;
  }
  TDataDirectory& database = Database(Creates(*st) && !explain);
  sql::TableCatalog catalog(database);
  std::pair<std::int16_t, std::int16_t> locale{0, 0};
  if (auto l = StatementLocale(*st, catalog)) locale = *l;
  const bool changes = ChangesRows(*st);
  st.reset();
  // Texts typed on a UTF-8 terminal are written in the table's code page.
  const TextCodec codec(locale.first, locale.second, options_.rawEncoding);
  std::string sql;
  if (!codec.Store(text, sql))
    sql::SqlError("The statement holds characters that the table's code page cannot store");
  const std::vector<sql::Value> values = ParameterValues(parameterNames, codec);
  sql::TQueryExecution q(session_, catalog);
  q.SetRequestLive(true);
  try {
    q.Prepare(sql);
  } catch (const sql::ESqlPositionedError& e) {
    // The offset in the stored text, as an offset in the typed one.
    throw sql::ESqlPositionedError(e, codec.Show(sql.substr(0, e.Offset())).size());
  }
  if (explain) {
    Out() << (q.IsSelect() ? PlanText(q) : "no plan: not a SELECT") << '\n';
    return;
  }
  if (options_.plan && q.IsSelect()) err_ << PlanText(q) << std::endl;
  q.Execute(values);
  if (q.IsSelect()) WriteSelect(q, codec);
  if (changes && changes_)
    Out() << q.RowsAffected() << (q.RowsAffected() == 1 ? " row\n" : " rows\n");
}

namespace {

int Newlines(std::string_view text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// The blank lines before the first word of a statement.
int LeadingLines(std::string_view statement) {
  const std::size_t word = statement.find_first_not_of(" \t\r\n");
  return Newlines(statement.substr(0, word == std::string_view::npos ? 0 : word));
}

}  // namespace

KuraShell::RunResult KuraShell::RunLines(LineReader& reader, bool interactive, int firstLine) {
  std::string pending, line;
  int lineNo = firstLine - 1;  // the line read last
  int pendingLine = firstLine;  // the line on which `pending` starts
  RunResult result;
  auto fail = [&] {
    result.ok = false;
    return !interactive && options_.bail;  // a script stops at its first failure
  };
  // At a terminal lines count from the statement's own first line.
  auto firstLineOf = [&](std::string_view statement, int line) {
    return interactive ? 1 - LeadingLines(statement) : line;
  };
  while (reader.ReadLine(IsBlank(pending) ? "kura> " : "  ...> ", line)) {
    ++lineNo;
    if (IsBlank(pending)) {
      pending.clear();
      pendingLine = lineNo;
      if (!line.empty() && line[0] == '.') {
        const DotOutcome outcome = RunDotCommand(line);
        if (outcome == DotOutcome::kQuit) {
          result.quit = true;
          return result;
        }
        if (outcome == DotOutcome::kFailed && fail()) return result;
        continue;
      }
    }
    pending += line;
    pending += '\n';
    std::vector<StatementSpan> spans;
    const std::size_t rest = TakeStatementSpans(pending, spans);
    for (const StatementSpan& s : spans) {
      const std::string statement = pending.substr(s.begin, s.end - s.begin);
      const int start = pendingLine + Newlines(std::string_view(pending).substr(0, s.begin));
      if (!RunStatement(statement, firstLineOf(statement, start)) && fail()) return result;
    }
    pendingLine += Newlines(std::string_view(pending).substr(0, rest));
    pending.erase(0, rest);
  }
  if (interactive) out_ << '\n';
  if (!IsBlank(pending) && !RunStatement(pending, firstLineOf(pending, pendingLine)))
    result.ok = false;
  return result;
}

int KuraShell::Run(LineReader& reader) {
  const bool interactive = reader.Interactive();
  if (interactive && !changesChosen_) changes_ = true;
  const RunResult result = RunLines(reader, interactive, 1);
  Out().flush();
  return (result.ok || interactive) ? 0 : 1;
}

int KuraShell::Run(std::istream& in, bool prompt) {
  StreamLineReader reader(in, out_, prompt);
  return Run(reader);
}

}  // namespace kura::tool
