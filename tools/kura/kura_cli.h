// The command line of the `kura` tool, callable in-process for tests.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace kura::tool {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a statement or check failed
inline constexpr int kExitUsage = 2;   // the command line is wrong

// Runs `kura` with `args` (without the program name). `interactive` tells
// whether standard input is a terminal (the shell then prompts); with
// `lineEditing` as well, the shell reads the terminal itself through the
// line editor, with history, instead of `in`. Returns the exit status.
int RunKura(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, bool interactive, bool lineEditing = false);

// The text of --help.
extern const char* const kUsage;

}  // namespace kura::tool
