#include "tools/kura/kura_shell.h"

#include <cstring>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <utility>

#include "engine/errors/database_error.h"
#include "engine/errors/kura_error.h"
#include "engine/expr/evaluator.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/storage_cursor.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
#include "engine/expr/sql_error.h"
#include "engine/storage/table_verify.h"
#include "tools/kura/script_text.h"
#include "tools/kura/table_report.h"
#include "tools/kura/text_codec.h"

namespace kura::tool {
const char* const kShellHelp =
    "Statements end with \";\" and may span lines.\n"
    ".help            this text\n"
    ".tables          the tables of the database\n"
    ".schema TABLE    the statements that create TABLE and its indexes\n"
    ".quit, .exit     leave the shell\n";

KuraShell::KuraShell(std::string directory, ShellOptions options, std::ostream& out,
                     std::ostream& err)
    : path_(std::move(directory)), options_(options), out_(out), err_(err) {
  FileAttributes attr;
  Env& env = session_.GetEnv();
  if (env.Attributes(path_, &attr) != 0 || !attr.exists) {
    // A directory that cannot be made is the error, not the first table
    // a statement then fails to find in it.
    if (const int e = env.MakeDirectory(path_); e != 0) {
      throw std::runtime_error("kura: cannot make the database directory " + path_ + ": " +
                               std::strerror(e));
    }
  }
  session_.settings.privateDirectory = options_.tempDirectory;
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

bool KuraShell::RunStatement(const std::string& sql) {
  try {
    Execute(sql);
    return true;
  } catch (const std::exception& e) {
    // Engine errors carry their complete message ("Kura Engine Error # ...").
    err_ << e.what() << '\n';
    return false;
  }
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

}  // namespace

void KuraShell::WriteSelect(sql::TQueryExecution& q, const TextCodec& codec) {
  ResultTable result;
  if (!q.Live()) {
    TDataTable& t = *q.ResultTable();
    for (const TFieldDescriptor& f : t.Data().Fields()) {
      result.columns.push_back(f.name);
      result.numeric.push_back(sql::IsNumericType(f.type));
    }
    for (std::int32_t n = 1; n <= t.Data().RecordCount(); ++n) {
      const TRecord* r = t.ReadRecord(n);
      if (r == nullptr || RecordStatus(r->Data()) != kRecordActive) continue;
      auto& row = result.rows.emplace_back();
      for (const TFieldDescriptor& f : t.Data().Fields()) {
        if (f.type == kFieldBlob && t.Blob() != nullptr) {
          const BlobRef ref = GetBlobRef(r->Data(), f);
          row.push_back(ref.firstBlock == 0 ? std::nullopt
                                            : ShownValue(sql::Value::String(t.Blob()->ReadValue(ref)), codec));
        } else {
          row.push_back(ShownValue(ReadFieldValue(r->Data(), f), codec));
        }
      }
    }
  } else {
    const sql::TDataQuery& master = q.Statement().Master();
    for (const sql::TResultField& f : master.selectList) {
      result.columns.push_back(f.name);
      result.numeric.push_back(sql::IsNumericType(f.type));
    }
    TDataCursor c(session_, *directory_);
    c.Open(q.LiveTable()->Name(), {.readOnly = true, .recordOrder = true});
    c.SetOrder(q.ChosenIndex());
    if (q.LiveFilter() != nullptr) c.AddFilter(*q.LiveFilter());
    c.First();
    while (c.Next()) {
      c.ReadCurrent();
      auto& row = result.rows.emplace_back();
      for (const sql::TResultField& f : master.selectList) {
        const sql::Value v = f.isColumn ? c.GetField(c.Image(), f.fieldNumber)
                                        : sql::Evaluate(*f.expression, c.Row(c.Image()));
        row.push_back(ShownValue(v, codec));
      }
    }
    c.Close();
  }
  WriteResult(out_, options_.format, result);
}

void KuraShell::Execute(const std::string& typed) {
  sql::TableCatalog catalog(*directory_);
  std::string sql = typed;
  std::pair<std::int16_t, std::int16_t> locale{0, 0};
  {
    const std::unique_ptr<sql::ParsedStatement> st = sql::ParseStatement(typed);
    if (st->moreStatements) {
      RunText(typed, true);
      return;
    }
    if (auto l = StatementLocale(*st, catalog)) locale = *l;
  }
  // Texts typed on a UTF-8 terminal are written in the table's code page.
  const TextCodec codec(locale.first, locale.second, options_.rawEncoding);
  if (!codec.Store(typed, sql))
    sql::SqlError("The statement holds characters that the table's code page cannot store");
  sql::TQueryExecution q(session_, catalog);
  q.SetRequestLive(true);
  q.Prepare(sql);
  if (options_.plan && q.IsSelect()) err_ << PlanText(q) << std::endl;
  q.Execute();
  if (q.IsSelect()) WriteSelect(q, codec);
}

bool KuraShell::RunText(std::string_view text, bool stopOnError) {
  std::vector<std::string> statements;
  const std::size_t rest = TakeStatements(text, statements);
  if (!IsBlank(text.substr(rest))) statements.emplace_back(text.substr(rest));
  bool ok = true;
  for (const std::string& s : statements) {
    if (RunStatement(s)) continue;
    ok = false;
    if (stopOnError) break;
  }
  return ok;
}

void KuraShell::ShowSchema(const std::string& table) {
  TDataTable* t = directory_->OpenTable(table, {.readOnly = true});
  try {
    const TextCodec codec(t->Data().Header().languageId, t->Data().Header().sortId,
                          options_.rawEncoding);
    out_ << SchemaStatements(*t, codec);
  } catch (...) {
    directory_->CloseTable(t);
    throw;
  }
  directory_->CloseTable(t);
}

KuraShell::DotOutcome KuraShell::RunDotCommand(const std::string& line) {
  std::istringstream words(line);
  std::string command, argument, extra;
  words >> command >> argument >> extra;
  try {
    if (command == ".quit" || command == ".exit") return DotOutcome::kQuit;
    if (command == ".help") {
      out_ << kShellHelp;
    } else if (command == ".tables" && argument.empty()) {
      for (const std::string& t : ListTables(session_.GetEnv(), directory_->Path()))
        out_ << t << '\n';
    } else if (command == ".schema" && !argument.empty() && extra.empty()) {
      ShowSchema(argument);
    } else {
      err_ << "kura: unknown command or wrong arguments: " << line << " (see .help)\n";
      return DotOutcome::kFailed;
    }
  } catch (const std::exception& e) {
    err_ << e.what() << '\n';
    return DotOutcome::kFailed;
  }
  return DotOutcome::kOk;
}

int KuraShell::Run(std::istream& in, bool prompt) {
  std::string pending, line;
  bool ok = true;
  for (;;) {
    if (prompt) out_ << (IsBlank(pending) ? "kura> " : "  ...> ") << std::flush;
    if (!std::getline(in, line)) break;
    if (IsBlank(pending) && !line.empty() && line[0] == '.') {
      pending.clear();
      const DotOutcome outcome = RunDotCommand(line);
      if (outcome == DotOutcome::kQuit) break;
      if (outcome == DotOutcome::kFailed) {
        ok = false;
        if (!prompt) return 1;
      }
      continue;
    }
    pending += line;
    pending += '\n';
    std::vector<std::string> statements;
    const std::size_t rest = TakeStatements(pending, statements);
    pending.erase(0, rest);
    for (const std::string& s : statements) {
      if (RunStatement(s)) continue;
      ok = false;
      if (!prompt) return 1;  // a script stops at its first failure
    }
  }
  if (prompt) out_ << '\n';
  if (!IsBlank(pending) && !RunStatement(pending)) ok = false;
  return (ok || prompt) ? 0 : 1;
}

}  // namespace kura::tool
