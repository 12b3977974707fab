// IndexChecker: structural checks of index trees, for tests and for a
// verify command. It reports what it finds instead of raising.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/index_key.h"
#include "engine/storage/index_page.h"
#include "engine/storage/index_tree.h"

namespace kura {

class IndexChecker {
 public:
  // Pages are numbered 1 ... nextPage - 1.
  explicit IndexChecker(std::int32_t nextPage) : nextPage_(nextPage) {}

  // Checks one index: page types, entry order (strict in a unique index),
  // exact subtree counts, that every internal entry repeats the smallest
  // key of its child, leaves all at one depth, depth at most 64, sibling
  // links on every level, pages neither overfull nor (when `requireFill`)
  // underfull, and the free chain (empty pages, no cycle). A page reachable
  // twice, within this index or from an index checked before by the same
  // checker, is reported too. `name` prefixes the messages.
  void CheckTree(IndexPageStore& store, const PageShape& shape, const KeyComparator& cmp,
                 const IndexRoots& roots, const std::string& name, bool requireFill = true);

  // Reports a difference between the index's entries and `expected`, the
  // (key, record) pairs it should hold in index order.
  void CheckEntries(TIndexTree& tree, const std::vector<IndexEntry>& expected,
                    const std::string& name);

  const std::vector<std::string>& Problems() const { return problems_; }
  bool Ok() const { return problems_.empty(); }

 private:
  struct Walk;
  std::uint64_t CheckPage(Walk& w, std::int32_t n, int depth, const std::uint8_t* parentKey);
  void CheckLinks(Walk& w);
  void CheckFreeChain(Walk& w, std::int32_t first);
  bool Claim(Walk& w, std::int32_t n, const char* what);
  void Report(const Walk& w, const std::string& text);

  std::int32_t nextPage_;
  std::set<std::int32_t> seen_;
  std::vector<std::string> problems_;
};

}  // namespace kura
