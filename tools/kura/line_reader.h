// Where the shell's lines come from: a stream (scripts, pipes, tests) or the
// terminal through the line editor, with history kept between sessions.
#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace kura::tool {

class LineReader {
 public:
  virtual ~LineReader() = default;
  // Reads the next line without its line break; false at the end of input.
  // `prompt` is shown first when the reader prompts at all.
  virtual bool ReadLine(const std::string& prompt, std::string& line) = 0;
  // True when lines are typed by a person (prompts, answers after errors).
  virtual bool Interactive() const = 0;
};

// Lines of a stream; with `prompt` the prompt is written to `out` first.
class StreamLineReader : public LineReader {
 public:
  StreamLineReader(std::istream& in, std::ostream& out, bool prompt)
      : in_(in), out_(out), prompt_(prompt) {}
  bool ReadLine(const std::string& prompt, std::string& line) override;
  bool Interactive() const override { return prompt_; }

 private:
  std::istream& in_;
  std::ostream& out_;
  bool prompt_;
};

// Lines typed on the terminal of standard input, with line editing and a
// history that is read from and written to `historyFile` (none when empty).
// `out` is flushed before each prompt so that results come before it.
class TerminalLineReader : public LineReader {
 public:
  TerminalLineReader(std::ostream& out, std::string historyFile);
  ~TerminalLineReader() override;
  bool ReadLine(const std::string& prompt, std::string& line) override;
  bool Interactive() const override { return true; }

 private:
  std::ostream& out_;
  std::string historyFile_;
};

// The history file of the shell: $XDG_STATE_HOME/kura/history, else
// $HOME/.local/state/kura/history; "" when neither variable is set. The
// directory is made when missing.
std::string ShellHistoryFile();

}  // namespace kura::tool
