#include "tools/kura/line_reader.h"

#include <editline/readline.h>

#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kura::tool {
namespace {

constexpr int kHistoryLines = 2000;

}  // namespace

bool StreamLineReader::ReadLine(const std::string& prompt, std::string& line) {
  if (prompt_) out_ << prompt << std::flush;
  return static_cast<bool>(std::getline(in_, line));
}

TerminalLineReader::TerminalLineReader(std::ostream& out, std::string historyFile)
    : out_(out), historyFile_(std::move(historyFile)) {
  // The editor takes characters, not bytes, only in a multibyte locale; the
  // shell's texts are UTF-8 whatever the environment says.
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  rl_readline_name = "kura";
  using_history();
  stifle_history(kHistoryLines);
  if (!historyFile_.empty()) read_history(historyFile_.c_str());
}

TerminalLineReader::~TerminalLineReader() {
  if (!historyFile_.empty()) write_history(historyFile_.c_str());
}

bool TerminalLineReader::ReadLine(const std::string& prompt, std::string& line) {
  out_.flush();
  char* typed = readline(prompt.c_str());
  if (typed == nullptr) return false;
  line = typed;
  std::free(typed);
  // Repeating the line before is not worth a history entry.
  const HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
  if (line.find_first_not_of(" \t") != std::string::npos && (last == nullptr || line != last->line)) {
    add_history(line.c_str());
    // Written at once, so that a session that is killed keeps its lines.
    if (!historyFile_.empty()) write_history(historyFile_.c_str());
  }
  return true;
}

std::string ShellHistoryFile() {
  std::filesystem::path dir;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    dir = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
    dir = std::filesystem::path(home) / ".local" / "state";
  } else {
    return "";
  }
  dir /= "kura";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "";
  return (dir / "history").string();
}

}  // namespace kura::tool
