// KuraShell: the statements and dot commands of the `kura` tool over one
// database directory. It runs statements through the engine, writes SELECT
// results as their rows come, and reports each failure with the engine's
// complete message on the error stream, with the line and column of the
// offending token where the statement grammar names one.
#pragma once

#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/sql_value.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/storage_session.h"
#include "tools/kura/line_reader.h"
#include "tools/kura/result_format.h"
#include "tools/kura/text_codec.h"

namespace kura::sql {
class TQueryExecution;
}

namespace kura::tool {

struct ShellOptions {
  OutputFormat format = OutputFormat::kTable;
  bool plan = false;  // print how each SELECT is produced on the error stream
  bool rawEncoding = false;
  // Below which the session's own directory of temporary files is made
  // (empty: $TMPDIR, else /tmp).
  std::string tempDirectory;
  bool bail = true;   // a script stops at its first failure
};

class KuraShell {
 public:
  // `directory` is the database directory. It is opened when it exists;
  // only a statement that creates a table makes it when it is missing, and
  // anything else is refused with "no database at ...".
  KuraShell(std::string directory, ShellOptions options, std::ostream& out, std::ostream& err);
  ~KuraShell();

  enum class DotOutcome { kOk, kFailed, kQuit };
  // One dot command (see kShellHelp).
  DotOutcome RunDotCommand(const std::string& line);

  // Reads statements and dot commands until the end of input or .quit.
  // Returns the exit status: 0 when everything succeeded, 1 otherwise
  // (interactive sessions always end with 0).
  int Run(LineReader& reader);
  int Run(std::istream& in, bool prompt);

 private:
  struct RunResult {
    bool ok = true;
    bool quit = false;
  };
  // `firstLine` is the number of the reader's first line in messages.
  RunResult RunLines(LineReader& reader, bool interactive, int firstLine);
  // Runs one statement that starts on line `line` of its input; reports
  // its failure (also results that could not be written) and returns
  // false then.
  bool RunStatement(const std::string& sql, int line);
  void Execute(const std::string& typed);
  // Writes the rows of an executed SELECT as they are read (live: through
  // a cursor of the table in the chosen order and filter; canned: the
  // result table).
  void WriteSelect(sql::TQueryExecution& q, const TextCodec& codec);
  // The values of the statement's parameters, in the order of its "?".
  std::vector<sql::Value> ParameterValues(const std::vector<std::string>& names,
                                          const TextCodec& codec) const;
  // The database; made when missing and `create`, else raises "no database".
  TDataDirectory& Database(bool create = false);
  std::ostream& Out() { return output_ ? *output_ : out_; }

  // Dot commands.
  void ShowSchema(const std::string& table);
  void ShowIndexes(const std::vector<std::string>& args);
  void Dump(const std::vector<std::string>& args);
  void Import(const std::vector<std::string>& args);
  void SetParameter(const std::vector<std::string>& args, bool valueQuoted);
  void SetMode(const std::vector<std::string>& args);
  void SetOutput(const std::vector<std::string>& args);
  DotOutcome Read(const std::vector<std::string>& args);
  std::vector<std::string> Tables(const std::vector<std::string>& args);

  std::string path_;
  ShellOptions options_;
  OutputStyle style_;
  bool changes_ = false;        // report rows changed by INSERT, UPDATE, DELETE
  bool changesChosen_ = false;  // .changes was given
  bool timer_ = false;
  int readDepth_ = 0;
  std::map<std::string, sql::Value> parameters_;  // ":NAME" or "?N"
  std::ostream& out_;
  std::ostream& err_;
  TDataSession session_;
  std::unique_ptr<TDataDirectory> directory_;
  std::unique_ptr<std::ostream> output_;  // .output FILE
  std::string outputName_;
};

// The text of `.help`.
extern const char* const kShellHelp;

}  // namespace kura::tool
