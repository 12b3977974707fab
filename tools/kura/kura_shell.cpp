#include "tools/kura/kura_shell.h"

#include <sstream>

#include "engine/errors/database_error.h"
#include "engine/errors/kura_error.h"
#include "engine/sql/ddl_execution.h"
#include "engine/sql/sql_error.h"
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
  if (env.Attributes(path_, &attr) != 0 || !attr.exists) env.MakeDirectory(path_);
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

// Texts typed on a UTF-8 terminal are stored in the new table's code page.
void KuraShell::ConvertTexts(sql::ParsedStatement& st) const {
  if (st.kind != sql::StatementKind::kCreateTable) return;
  sql::CreateTableClauses& c = st.change->createTable;
  const TextCodec codec(static_cast<std::int16_t>(c.languageId),
                        static_cast<std::int16_t>(c.sortId), options_.rawEncoding);
  auto store = [&](std::string& text) {
    std::string stored;
    if (!codec.Store(text, stored))
      sql::SqlError("Text '" + text + "' cannot be stored in the code page of the table '" +
                    c.table + "'");
    text = stored;
  };
  store(c.description);
  for (sql::ColumnDefinition& col : c.columns) {
    store(col.description);
    store(col.defaultText);
    store(col.minText);
    store(col.maxText);
  }
}

void KuraShell::Execute(const std::string& sql) {
  std::unique_ptr<sql::ParsedStatement> st = sql::ParseStatement(sql);
  if (st->moreStatements) {
    RunText(sql, true);
    return;
  }
  ConvertTexts(*st);
  if (sql::ExecuteStructureStatement(*directory_, *st, path_)) return;
  // Statements that read or change rows run through the query execution
  // layer, which this build of the engine does not have yet.
  throw std::runtime_error(std::string("kura: ") + sql::StatementKindName(st->kind) +
                           " statements cannot be run by this build of the engine yet");
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
