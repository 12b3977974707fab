// The dot commands of the kura shell.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "engine/expr/evaluator.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/sql_lexer.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/index_header.h"
#include "engine/storage/table_verify.h"
#include "tools/kura/env_files.h"
#include "tools/kura/kura_shell.h"
#include "tools/kura/table_dump.h"
#include "tools/kura/table_report.h"

namespace kura::tool {

const char* const kShellHelp =
    "Statements end with \";\" and may span lines. EXPLAIN before a statement\n"
    "shows how a SELECT would be produced, without running it. \"?\" and\n"
    "\":NAME\" in a statement take the values set with .param.\n"
    ".bail on|off          stop a script at its first failure (on; --continue: off)\n"
    ".changes on|off       report the rows an INSERT, UPDATE or DELETE changed\n"
    "                      (on at a terminal)\n"
    ".dump [TABLE]         the statements that rebuild every table, or TABLE\n"
    ".exit, .quit          leave the shell\n"
    ".headers on|off       the header of table, TSV and CSV results (on)\n"
    ".help                 this text\n"
    ".import FILE TABLE    add the rows of the CSV file FILE to TABLE; its first\n"
    "                      line names the columns. A missing TABLE is made with\n"
    "                      VARCHAR columns as wide as their longest value (a\n"
    "                      Japanese table when the texts need it)\n"
    ".indexes [TABLE]      the indexes of every table, or of TABLE\n"
    ".mode table|tsv|csv|json   the format of SELECT results\n"
    ".nullvalue TEXT       how null is shown in table and CSV results (empty)\n"
    ".output [FILE]        write results to FILE, or to standard output again\n"
    ".param set NAME VALUE the value of \":NAME\", or of the N-th \"?\" for ?N;\n"
    "                      VALUE is a number, 'text', TRUE, FALSE or NULL\n"
    ".param unset NAME     forget a value; .param list, .param clear\n"
    ".plan on|off          print how each SELECT is produced on standard error\n"
    ".read FILE            run the statements and commands of FILE\n"
    ".schema [TABLE]       the statements that create every table, or TABLE\n"
    ".tables               the tables of the database\n"
    ".timer on|off         the time each statement took\n";

namespace {

constexpr int kMaxReadDepth = 16;
constexpr std::size_t kMaxVarChar = 250;

struct CommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The words of a dot command; '...' and "..." hold blanks, a doubled quote
// stands for itself.
std::vector<std::string> Words(const std::string& line, std::vector<bool>& quoted) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    std::string word;
    quoted.push_back(line[i] == '\'' || line[i] == '"');
    if (quoted.back()) {
      const char quote = line[i++];
      for (; i < line.size(); ++i) {
        if (line[i] == quote && i + 1 < line.size() && line[i + 1] == quote) {
          word += quote;
          ++i;
        } else if (line[i] == quote) {
          ++i;
          break;
        } else {
          word += line[i];
        }
      }
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

bool Switch(const std::vector<std::string>& args, const char* command) {
  if (args.size() == 2 && (args[1] == "on" || args[1] == "off")) return args[1] == "on";
  throw CommandError(std::string("kura: ") + command + " needs on or off");
}

void Arguments(const std::vector<std::string>& args, std::size_t least, std::size_t most,
               const char* usage) {
  if (args.size() - 1 < least || args.size() - 1 > most)
    throw CommandError(std::string("kura: usage: ") + usage);
}

// A value of .param set: a number, a quoted text, TRUE, FALSE, NULL; any
// other word is a text.
sql::Value ParameterValue(const std::string& word, bool quoted) {
  if (quoted) return sql::Value::String(word);
  std::string upper = word;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "NULL") return sql::Value::Null();
  if (upper == "TRUE" || upper == "FALSE") return sql::Value::Boolean(upper == "TRUE");
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(word.c_str(), &end, 10);
  if (!word.empty() && *end == 0 && errno == 0)
    return sql::Value::Integer(n, n >= INT32_MIN && n <= INT32_MAX ? sql::kTypeInteger : sql::kTypeLargeInt);
  const double d = std::strtod(word.c_str(), &end);
  if (!word.empty() && *end == 0 && !std::isspace(static_cast<unsigned char>(word[0])))
    return sql::Value::Float(d);
  return sql::Value::String(word);
}

std::string ParameterKey(const std::string& name) {
  if (name.size() > 1 && name[0] == ':') return name;
  const std::string digits = name[0] == '?' ? name.substr(1) : name;
  if (!digits.empty() && digits.size() < 6 &&
      std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
      std::stoi(digits) > 0)
    return "?" + std::to_string(std::stoi(digits));
  throw CommandError("kura: a parameter is named :NAME or ?N, not " + name);
}

std::string ParameterText(const sql::Value& v) {
  if (v.null) return "NULL";
  const std::string text = sql::ConvertValue(v, sql::kTypeString, 0).text;
  if (!sql::IsTextType(v.type, v.subType)) return text;
  std::string s = "'";
  for (char c : text) s += c == '\'' ? std::string("''") : std::string(1, c);
  return s + "'";
}

// The values of CSV record number `r` (from 0) for the columns `targets`.
std::vector<sql::Value> ImportValues(const std::vector<std::optional<std::string>>& record,
                                     std::size_t r, const std::vector<const sql::SqlColumn*>& targets,
                                     const TextCodec& codec) {
  std::vector<sql::Value> values;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!record[i]) {
      values.push_back(sql::Value::NullOf(targets[i]->type, targets[i]->subType));
      continue;
    }
    std::string stored;
    if (!codec.Store(*record[i], stored))
      throw CommandError("kura: record " + std::to_string(r + 1) +
                         " holds characters that the table's code page cannot store");
    values.push_back(sql::ConvertValue(sql::Value::String(stored), targets[i]->type, targets[i]->subType));
  }
  return values;
}

}  // namespace

std::vector<std::string> KuraShell::Tables(const std::vector<std::string>& args) {
  if (args.size() > 1) return {args[1]};
  return ListTables(session_.GetEnv(), Database().Path());
}

void KuraShell::ShowSchema(const std::string& table) {
  TDataTable* t = Database().OpenTable(table, {.readOnly = true});
  try {
    const TextCodec codec(t->Data().Header().languageId, t->Data().Header().sortId,
                          options_.rawEncoding);
    Out() << SchemaStatements(*t, codec);
  } catch (...) {
    directory_->CloseTable(t);
    throw;
  }
  directory_->CloseTable(t);
}

void KuraShell::ShowIndexes(const std::vector<std::string>& args) {
  for (const std::string& table : Tables(args)) {
    TDataTable* t = Database().OpenTable(table, {.readOnly = true});
    const TIndexFileHeader& x = t->Index().Header();
    if (x.noPrimaryFields == 0 && x.slots[0].fieldCount > 0) Out() << table << " primary\n";
    for (int i = 1; i <= x.secondaryCount; ++i) Out() << table << ' ' << x.slots[i].name << '\n';
    directory_->CloseTable(t);
  }
}

void KuraShell::Dump(const std::vector<std::string>& args) {
  for (const std::string& table : Tables(args))
    WriteTableDump(Out(), session_, Database(), table, options_.rawEncoding);
}

void KuraShell::SetParameter(const std::vector<std::string>& args, bool valueQuoted) {
  const std::string what = args.size() > 1 ? args[1] : "";
  if (what == "set" && args.size() == 4) {
    parameters_[ParameterKey(args[2])] = ParameterValue(args[3], valueQuoted);
  } else if (what == "unset" && args.size() == 3) {
    parameters_.erase(ParameterKey(args[2]));
  } else if (what == "list" && args.size() == 2) {
    for (const auto& [name, value] : parameters_) Out() << name << " = " << ParameterText(value) << '\n';
  } else if (what == "clear" && args.size() == 2) {
    parameters_.clear();
  } else {
    throw CommandError("kura: usage: .param set NAME VALUE | unset NAME | list | clear");
  }
}

void KuraShell::SetMode(const std::vector<std::string>& args) {
  Arguments(args, 1, 1, ".mode table|tsv|csv|json");
  if (args[1] == "table") style_.format = OutputFormat::kTable;
  else if (args[1] == "tsv") style_.format = OutputFormat::kTsv;
  else if (args[1] == "csv") style_.format = OutputFormat::kCsv;
  else if (args[1] == "json") style_.format = OutputFormat::kJson;
  else throw CommandError("kura: usage: .mode table|tsv|csv|json");
}

void KuraShell::SetOutput(const std::vector<std::string>& args) {
  Arguments(args, 0, 1, ".output [FILE]");
  if (output_) output_->flush();
  output_.reset();
  if (args.size() == 2) {
    output_ = std::make_unique<EnvOutputFile>(session_.GetEnv(), args[1]);
    outputName_ = args[1];
  }
}

KuraShell::DotOutcome KuraShell::Read(const std::vector<std::string>& args) {
  Arguments(args, 1, 1, ".read FILE");
  if (readDepth_ >= kMaxReadDepth)
    throw CommandError("kura: .read is nested more than " + std::to_string(kMaxReadDepth) + " deep");
  std::istringstream text(ReadWholeFile(session_.GetEnv(), args[1]));
  StreamLineReader reader(text, out_, false);
  ++readDepth_;
  RunResult result;
  try {
    result = RunLines(reader, false, 1);
  } catch (...) {
    --readDepth_;
    throw;
  }
  --readDepth_;
  return result.ok ? DotOutcome::kOk : DotOutcome::kFailed;
}

void KuraShell::Import(const std::vector<std::string>& args) {
  Arguments(args, 2, 2, ".import FILE TABLE");
  const auto records = ParseCsv(ReadWholeFile(session_.GetEnv(), args[1]));
  if (records.empty()) throw CommandError("kura: " + args[1] + " is empty: no column names");
  const auto& header = records[0];
  std::vector<std::string> names;
  for (const auto& name : header) {
    if (!name || name->empty()) throw CommandError("kura: a column of " + args[1] + " has no name");
    names.push_back(*name);
  }
  for (std::size_t r = 1; r < records.size(); ++r)
    if (records[r].size() != names.size())
      throw CommandError("kura: record " + std::to_string(r + 1) + " of " + args[1] + " has " +
                         std::to_string(records[r].size()) + " fields, not " +
                         std::to_string(names.size()));
  TDataDirectory& database = Database(true);
  sql::TableCatalog catalog(database);
  std::string columns;
  for (const std::string& n : names) columns += (columns.empty() ? "" : ", ") + SqlName(n);
  if (!catalog.FindTable("", args[2], false)) {
    std::string create = "CREATE TABLE " + SqlName(args[2]) + " (";
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::size_t width = 1;
      for (std::size_t r = 1; r < records.size(); ++r)
        width = std::max(width, records[r][i].value_or("").size());
      create += (i ? ", " : "") + SqlName(names[i]) +
                (width > kMaxVarChar ? " MEMO" : " VARCHAR(" + std::to_string(width) + ")");
    }
    // Texts that Windows-1252 cannot hold (Japanese ones) make a Japanese table.
    const TextCodec western(0, 0, options_.rawEncoding);
    std::string stored;
    bool fits = true;
    for (const auto& record : records)
      for (const auto& field : record) fits = fits && western.Store(field.value_or(""), stored);
    Execute(create + (fits ? ")" : ") LOCALE JAPANESE"));
  }
  const auto schema = catalog.FindTable("", args[2], false);
  const TextCodec codec(static_cast<std::int16_t>(schema->languageId),
                        static_cast<std::int16_t>(schema->sortId), options_.rawEncoding);
  std::vector<const sql::SqlColumn*> targets;
  for (const std::string& n : names) {
    auto c = std::find_if(schema->columns.begin(), schema->columns.end(),
                          [&](const sql::SqlColumn& col) { return sql::SameName(col.name, n); });
    if (c == schema->columns.end())
      throw CommandError("kura: the table " + args[2] + " has no column " + n);
    targets.push_back(&*c);
  }
  std::string marks;
  for (std::size_t i = 0; i < names.size(); ++i) marks += i ? ", ?" : "?";
  sql::TQueryExecution q(session_, catalog);
  std::string insert;
  codec.Store("INSERT INTO " + SqlName(args[2]) + " (" + columns + ") VALUES (" + marks + ")", insert);
  q.Prepare(insert);
  // All rows or none: a failing record leaves the table as it was.
  const bool own = !database.InTransaction();
  if (own) database.StartTransaction();
  try {
    for (std::size_t r = 1; r < records.size(); ++r) q.Execute(ImportValues(records[r], r, targets, codec));
  } catch (...) {
    if (own) database.Rollback();
    throw;
  }
  if (own) database.Commit();
}

KuraShell::DotOutcome KuraShell::RunDotCommand(const std::string& line) {
  std::vector<bool> quoted;
  const std::vector<std::string> args = Words(line, quoted);
  const std::string command = args.empty() ? "" : args[0];
  try {
    if (command == ".quit" || command == ".exit") return DotOutcome::kQuit;
    if (command == ".help") {
      Out() << kShellHelp;
    } else if (command == ".tables") {
      Arguments(args, 0, 0, ".tables");
      for (const std::string& t : Tables(args)) Out() << t << '\n';
    } else if (command == ".schema") {
      Arguments(args, 0, 1, ".schema [TABLE]");
      for (const std::string& t : Tables(args)) ShowSchema(t);
    } else if (command == ".indexes") {
      Arguments(args, 0, 1, ".indexes [TABLE]");
      ShowIndexes(args);
    } else if (command == ".dump") {
      Arguments(args, 0, 1, ".dump [TABLE]");
      Dump(args);
    } else if (command == ".import") {
      Import(args);
    } else if (command == ".read") {
      return Read(args);
    } else if (command == ".output") {
      SetOutput(args);
    } else if (command == ".mode") {
      SetMode(args);
    } else if (command == ".headers") {
      style_.headers = Switch(args, ".headers");
    } else if (command == ".nullvalue") {
      Arguments(args, 1, 1, ".nullvalue TEXT");
      style_.nullText = args[1];
    } else if (command == ".param") {
      SetParameter(args, quoted.size() > 3 && quoted[3]);
    } else if (command == ".plan") {
      options_.plan = Switch(args, ".plan");
    } else if (command == ".changes") {
      changes_ = Switch(args, ".changes");
      changesChosen_ = true;
    } else if (command == ".timer") {
      timer_ = Switch(args, ".timer");
    } else if (command == ".bail") {
      options_.bail = Switch(args, ".bail");
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

}  // namespace kura::tool
