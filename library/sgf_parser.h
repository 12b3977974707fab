// Reading SGF (FF[4]) text into game trees: collections of several game
// trees, variations, escaped characters in values and soft line breaks.
// Compressed point lists ("aa:cc") are left as written; the problem
// importer expands them where it takes point lists.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "library/sgf_tree.h"

namespace sorabeku {

// Thrown for text that is not SGF and for a game tree that cannot become
// a problem; the message names the place in the file.
class SgfError : public std::runtime_error {
 public:
  SgfError(const SgfPlace& place, const std::string& what)
      : std::runtime_error(place.line > 0 ? DescribePlace(place) + ": " + what : what),
        place_(place) {}
  const SgfPlace& place() const { return place_; }

 private:
  SgfPlace place_;
};

// Deepest path of nodes a file may hold: deeper trees are refused, so that
// no input can exhaust the stack of the recursive walks (also with the
// sanitizers' larger frames). A problem's longest line, 10 sequences of
// 100 moves, fits.
inline constexpr int kSgfMaxDepth = 1500;

// Parses a whole file: one or more game trees, separated by white space; a
// UTF-8 byte-order mark at the start is skipped. Lower-case letters in
// property identifiers (older files write "AddBlack") are dropped. Values
// keep their bytes; only escapes and soft line breaks are removed.
// Throws SgfError at the first fault: text outside a game tree, an
// unclosed value or tree, a node without ";", a property without value, the
// same property twice in one node, or a tree deeper than kSgfMaxDepth.
SgfCollection ParseSgf(std::string_view text);

}  // namespace sorabeku
