// The command line of `sorabeku-yose`: the endgame solver's judgement of
// every continuation offered in a problem. Callable in-process for tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sorabeku::tool {

// Runs `sorabeku-yose` with `args` (without the program name); returns the
// exit status: 0 every continuation judged, 1 a file, library, line or
// region the solver could not take, 2 a usage error.
int RunSorabekuYose(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kSorabekuYoseUsage;

}  // namespace sorabeku::tool
