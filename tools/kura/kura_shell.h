// KuraShell: the statements and dot commands of the `kura` tool over one
// database directory. It runs statements through the engine and reports
// each failure with the engine's complete message on the error stream.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "engine/sql/statement_parser.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/storage_session.h"
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
};

class KuraShell {
 public:
  // `directory` is the database directory; it is created when missing.
  KuraShell(std::string directory, ShellOptions options, std::ostream& out, std::ostream& err);
  ~KuraShell();

  // Runs every statement of `text` in order. A failure is reported and,
  // when `stopOnError`, ends the run. Text after the last ";" is run as a
  // statement too. Returns false when any statement failed.
  bool RunText(std::string_view text, bool stopOnError);
  // Runs one statement (with or without its ";"); false when it failed.
  bool RunStatement(const std::string& sql);

  enum class DotOutcome { kOk, kFailed, kQuit };
  // ".help", ".tables", ".schema TABLE", ".quit" / ".exit".
  DotOutcome RunDotCommand(const std::string& line);

  // Reads statements and dot commands from `in` until its end or .quit;
  // with `prompt` a prompt is written before each line. Returns the exit
  // status: 0 when everything succeeded, 1 otherwise (interactive sessions
  // always end with 0 unless reading failed).
  int Run(std::istream& in, bool prompt);

  TDataDirectory& Directory() { return *directory_; }

 private:
  void Execute(const std::string& sql);
  // Writes the rows of an executed SELECT (live: through a cursor of the
  // table in the chosen order and filter; canned: the result table).
  void WriteSelect(sql::TQueryExecution& q, const TextCodec& codec);
  void ShowSchema(const std::string& table);

  std::string path_;
  ShellOptions options_;
  std::ostream& out_;
  std::ostream& err_;
  TDataSession session_;
  std::unique_ptr<TDataDirectory> directory_;
};

// The text of `.help`.
extern const char* const kShellHelp;

}  // namespace kura::tool
