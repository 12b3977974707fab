// What `sorabeku-yose` says about one problem: for each branch point and
// each continuation, the solver's value of the first move, the best value
// of the position, ko, and the fate of the groups in the region after the
// first move and at the end of the line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "library/sgf_tree.h"

namespace sorabeku::tool {

// The report of one game tree as JSON (see yose_cli.cpp for the keys).
// Never throws for a region or search too large: the continuation gets an
// "error" text instead. Throws LineError or SgfError for a broken tree.
nlohmann::json ReportProblem(const SgfNode& root);

// The same report as lines of text for a reader.
std::string ReportText(const nlohmann::json& report);

// True when some continuation of the report could not be judged.
bool HasErrors(const nlohmann::json& report);

}  // namespace sorabeku::tool
