#include "tools/kura/kura_cli.h"

#include <optional>
#include <sstream>

#include "engine/errors/kura_error.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/table_repair.h"
#include "engine/storage/table_verify.h"
#include "tools/kura/kura_shell.h"
#include "tools/kura/line_reader.h"
#include "tools/kura/table_report.h"
#include "tools/kura/text_codec.h"

#ifndef KURA_TOOL_VERSION
#define KURA_TOOL_VERSION "unknown"
#endif

namespace kura::tool {

const char* const kUsage =
    "usage: kura DATABASE_DIR [OPTIONS] [-c STATEMENTS]\n"
    "       kura verify DATABASE_DIR [TABLE...]\n"
    "       kura repair DATABASE_DIR TABLE\n"
    "       kura info DATABASE_DIR TABLE\n"
    "\n"
    "Without -c the statements are read from standard input (an interactive\n"
    "shell on a terminal, see .help there).\n"
    "\n"
    "options:\n"
    "  -c STATEMENTS      run the statements and leave\n"
    "  --tsv, --csv, --json\n"
    "                     output format of SELECT results (default: aligned table)\n"
    "  --plan             print how each SELECT is produced on standard error\n"
    "  --temp-dir DIR     make the directory of temporary files below DIR\n"
    "                     (default: $TMPDIR, else /tmp)\n"
    "  --continue         a script goes on after a failed statement (the exit\n"
    "                     status is still 1); --bail (default) stops it there\n"
    "  --encoding auto|raw\n"
    "                     auto (default): texts in the table's code page are shown\n"
    "                     and read as UTF-8; raw: bytes unchanged\n"
    "  --help, --version\n"
    "\n"
    "exit status: 0 success, 1 a statement or check failed, 2 usage error\n";

namespace {

struct Usage {
  std::string message;
};

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) throw Usage{"verify needs a database directory"};
  TDataSession session;
  FileAttributes attr;
  if (session.GetEnv().Attributes(args[1], &attr) != 0 || !attr.isDirectory) {
    err << "kura: " << args[1] << " is not a database directory\n";
    return kExitFailed;
  }
  TDataDirectory directory(session, args[1]);
  // Opening a table would roll the journal back; verify only reports it.
  if (JournalPending(session.GetEnv(), JournalPath(session.GetEnv(), directory.Path()))) {
    out << kJournalFileName << ": a commit was cut short (or is running); "
        << "kura repair rolls it back, the tables are not checked before\n";
    return kExitFailed;
  }
  std::vector<std::string> tables(args.begin() + 2, args.end());
  if (tables.empty()) tables = ListTables(session.GetEnv(), directory.Path());
  bool ok = true;
  for (const std::string& table : tables) {
    const TableVerification v = VerifyTable(directory, table);
    out << table << ": ";
    if (v.Ok()) out << "ok";
    for (std::size_t i = 0; i < v.problems.size(); ++i) out << (i ? "; " : "") << v.problems[i];
    out << '\n';
    ok = ok && v.Ok();
  }
  if (tables.empty()) err << "kura: no tables in " << args[1] << '\n';
  return ok ? kExitOk : kExitFailed;
}

int Repair(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) throw Usage{"repair needs a database directory and one table"};
  TDataSession session;
  try {
    const TableRepair r = RepairTable(session, args[1], args[2]);
    for (const std::string& a : r.actions) out << args[2] << ": " << a << '\n';
    // A repair is done when the table verifies; what is left is named.
    TDataDirectory directory(session, args[1]);
    const TableVerification v = VerifyTable(directory, args[2]);
    if (v.Ok()) return kExitOk;
    err << "kura: " << args[2] << " is still damaged after the repair: ";
    for (std::size_t i = 0; i < v.problems.size(); ++i) err << (i ? "; " : "") << v.problems[i];
    err << '\n';
    return kExitFailed;
  } catch (const EKuraEngineError& e) {
    err << e.what() << '\n';
    return kExitFailed;
  }
}

int Info(const std::vector<std::string>& args, bool raw, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) throw Usage{"info needs a database directory and one table"};
  TDataSession session;
  TDataDirectory directory(session, args[1]);
  try {
    TDataTable* t = directory.OpenTable(args[2], {.readOnly = true});
    const TextCodec codec(t->Data().Header().languageId, t->Data().Header().sortId, raw);
    WriteTableInfo(out, *t, codec);
    directory.CloseTable(t);
    return kExitOk;
  } catch (const EKuraEngineError& e) {
    err << e.what() << '\n';
    return kExitFailed;
  }
}

int Dispatch(const std::vector<std::string>& all, std::istream& in, std::ostream& out,
             std::ostream& err, bool interactive, bool lineEditing) {
  ShellOptions options;
  std::optional<std::string> statements;
  std::vector<std::string> args;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::string& a = all[i];
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return kExitOk;
    } else if (a == "--version") {
      out << "kura " << KURA_TOOL_VERSION << '\n';
      return kExitOk;
    } else if (a == "--tsv") {
      options.format = OutputFormat::kTsv;
    } else if (a == "--csv") {
      options.format = OutputFormat::kCsv;
    } else if (a == "--json") {
      options.format = OutputFormat::kJson;
    } else if (a == "--plan") {
      options.plan = true;
    } else if (a == "--continue" || a == "--bail") {
      options.bail = a == "--bail";
    } else if (a == "--encoding" || a.rfind("--encoding=", 0) == 0) {
      std::string value = a.size() > 10 ? a.substr(11) : "";
      if (a == "--encoding") {
        if (++i == all.size()) throw Usage{"--encoding needs auto or raw"};
        value = all[i];
      }
      if (value != "auto" && value != "raw") throw Usage{"--encoding needs auto or raw"};
      options.rawEncoding = value == "raw";
    } else if (a == "--temp-dir" || a.rfind("--temp-dir=", 0) == 0) {
      if (a == "--temp-dir") {
        if (++i == all.size()) throw Usage{"--temp-dir needs a directory"};
        options.tempDirectory = all[i];
      } else {
        options.tempDirectory = a.substr(11);
      }
      if (options.tempDirectory.empty()) throw Usage{"--temp-dir needs a directory"};
    } else if (a == "-c") {
      if (++i == all.size()) throw Usage{"-c needs statements"};
      statements = all[i];
    } else if (a.size() > 1 && a[0] == '-') {
      throw Usage{"unknown option " + a};
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) throw Usage{"a database directory is needed"};
  if (args[0] == "verify") return Verify(args, out, err);
  if (args[0] == "repair") return Repair(args, out, err);
  if (args[0] == "info") return Info(args, options.rawEncoding, out, err);
  if (args.size() != 1) throw Usage{"unexpected argument " + args[1]};
  KuraShell shell(args[0], options, out, err);
  if (statements) {
    // Lines of -c may be dot commands as well as statements.
    std::istringstream text(*statements);
    return shell.Run(text, false);
  }
  if (lineEditing) {
    TerminalLineReader reader(out, ShellHistoryFile());
    return shell.Run(reader);
  }
  return shell.Run(in, interactive);
}

}  // namespace

int RunKura(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, bool interactive, bool lineEditing) {
  try {
    return Dispatch(args, in, out, err, interactive, lineEditing && interactive);
  } catch (const Usage& u) {
    err << "kura: " << u.message << "\n" << kUsage;
    return kExitUsage;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return kExitFailed;
  }
}

}  // namespace kura::tool
