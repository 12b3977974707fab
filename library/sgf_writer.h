// Writing game trees as SGF text. The layout is fixed, so that the same
// trees always give the same bytes: each game tree starts on a line of its
// own, each node starts a line, a variation opens with "(" at the start of
// its line, closing parentheses follow the last node of their tree, and
// the file ends with a line break.
#pragma once

#include <string>

#include "library/sgf_tree.h"

namespace sorabeku {

// One value with "\" and "]" escaped (the only characters that must be).
std::string EscapeSgfValue(std::string_view value);

// The whole collection: every root node with its descendants, properties
// in the order they are held.
std::string WriteSgf(const SgfCollection& trees);

}  // namespace sorabeku
