// The command line of `kura-sgf`: problems of a library to SGF and back.
// Callable in-process for tests.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace sorabeku::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // refused, or the library failed
inline constexpr int kExitUsage = 2;   // the command line is wrong

// Runs `kura-sgf` with `args` (without the program name); returns the exit
// status. A file named "-" is `in` / `out`; reports go to `out`, warnings
// and errors to `err`.
int RunKuraSgf(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err);

extern const char* const kKuraSgfUsage;

}  // namespace sorabeku::tool
