#include "engine/storage/index_checker.h"

#include <cstring>
#include <exception>

namespace kura {

struct IndexChecker::Walk {
  IndexPageStore& store;
  const PageShape& shape;
  const KeyComparator& cmp;
  std::string name;
  bool requireFill;
  int leafDepth = -1;
  std::vector<std::uint8_t> lastKey;  // last leaf key seen, in index order
  struct Link {
    std::int32_t page, prev, next;
  };
  std::vector<std::vector<Link>> levels;  // pages of each level, left to right
};

void IndexChecker::Report(const Walk& w, const std::string& text) {
  problems_.push_back(w.name + ": " + text);
}

bool IndexChecker::Claim(Walk& w, std::int32_t n, const char* what) {
  if (n < 1 || n >= nextPage_) {
    Report(w, std::string(what) + " page " + std::to_string(n) + " is outside the file");
    return false;
  }
  if (!seen_.insert(n).second) {
    Report(w, "page " + std::to_string(n) + " is reachable twice");
    return false;
  }
  return true;
}

void IndexChecker::CheckTree(IndexPageStore& store, const PageShape& shape,
                             const KeyComparator& cmp, const IndexRoots& roots,
                             const std::string& name, bool requireFill) {
  Walk w{store, shape, cmp, name, requireFill, -1, {}, {}};
  if (roots.root != 0 && Claim(w, roots.root, "root")) {
    try {
      CheckPage(w, roots.root, 0, nullptr);
      CheckLinks(w);
    } catch (const std::exception& e) {
      Report(w, std::string("unreadable page: ") + e.what());
    }
  }
  CheckFreeChain(w, roots.firstFree);
}

// Checks page n and its subtree; returns the number of keys found in it.
std::uint64_t IndexChecker::CheckPage(Walk& w, std::int32_t n, int depth,
                                      const std::uint8_t* parentKey) {
  const std::string where = "page " + std::to_string(n) + ": ";
  if (depth >= kMaxTreeDepth) {
    Report(w, where + "deeper than 64 pages");
    return 0;
  }
  TPage& page = w.store.Fetch(n);
  const bool isRoot = depth == 0;
  const std::uint8_t t = page.Type();
  if (isRoot ? (t != kPageRoot && t != kPageRootLeaf) : (t != kPageInternal && t != kPageLeaf))
    Report(w, where + "type " + std::to_string(t) + " does not fit its place");
  if (t > kPageRootLeaf || page.Count() == 0) {
    Report(w, where + "not a tree page or empty");
    return 0;
  }
  if (w.levels.size() <= std::size_t(depth)) w.levels.resize(std::size_t(depth) + 1);
  w.levels[std::size_t(depth)].push_back({n, page.Prev(), page.Next()});
  const std::size_t k = w.shape.keyLength;
  if (parentKey != nullptr && std::memcmp(parentKey, page.Key(0), k) != 0)
    Report(w, where + "its parent entry does not repeat its first key");
  if (page.Overflows()) Report(w, where + "holds more than fits");
  if (!isRoot && w.requireFill && page.Underflows()) Report(w, where + "less than half full");
  for (int i = 1; i < page.Count(); ++i) {
    const int c = w.cmp(page.Key(i - 1), page.Key(i));
    if (c > 0 || (c == 0 && w.shape.unique && page.IsLeaf()))
      Report(w, where + "entries out of order at " + std::to_string(i));
  }
  if (page.IsLeaf()) {
    if (w.leafDepth < 0) w.leafDepth = depth;
    if (w.leafDepth != depth) Report(w, where + "leaf at a different depth");
    if (!w.lastKey.empty()) {
      const int c = w.cmp(w.lastKey.data(), page.Key(0));
      if (c > 0 || (c == 0 && w.shape.unique)) Report(w, where + "first key out of order");
    }
    w.lastKey.assign(page.Key(page.Count() - 1), page.Key(page.Count() - 1) + k);
    return std::uint64_t(page.Count());
  }
  // Copy what is needed: fetching children may evict nothing, but keep the
  // walk independent of the cache's behaviour.
  const int count = page.Count();
  std::vector<std::uint8_t> keys(page.Key(0), page.Key(0) + std::size_t(count) * (k + 8));
  std::vector<std::int32_t> children(static_cast<std::size_t>(count));
  std::vector<std::uint32_t> counts(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    children[std::size_t(i)] = page.Ref(i);
    counts[std::size_t(i)] = page.SubCount(i);
  }
  std::uint64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const std::int32_t child = children[std::size_t(i)];
    if (!Claim(w, child, "child")) continue;
    const std::uint64_t below =
        CheckPage(w, child, depth + 1, &keys[std::size_t(i) * (k + 8)]);
    if (!w.shape.noCounts && below != counts[std::size_t(i)])
      Report(w, where + "entry " + std::to_string(i) + " counts " +
                    std::to_string(counts[std::size_t(i)]) + " keys, its child holds " +
                    std::to_string(below));
    total += below;
  }
  return total;
}

void IndexChecker::CheckLinks(Walk& w) {
  for (std::size_t d = 0; d < w.levels.size(); ++d) {
    const auto& level = w.levels[d];
    for (std::size_t i = 0; i < level.size(); ++i) {
      const std::int32_t prev = i == 0 ? 0 : level[i - 1].page;
      const std::int32_t next = i + 1 == level.size() ? 0 : level[i + 1].page;
      if (level[i].prev != prev || level[i].next != next)
        Report(w, "page " + std::to_string(level[i].page) + ": sibling links " +
                      std::to_string(level[i].prev) + "/" + std::to_string(level[i].next) +
                      ", expected " + std::to_string(prev) + "/" + std::to_string(next));
    }
  }
}

void IndexChecker::CheckFreeChain(Walk& w, std::int32_t first) {
  for (std::int32_t n = first; n != 0;) {
    if (!Claim(w, n, "free")) return;  // also ends a cycle
    try {
      TPage& page = w.store.Fetch(n);
      if (page.Count() != 0) {
        Report(w, "free page " + std::to_string(n) + " has entries");
        return;
      }
      n = page.Next();
    } catch (const std::exception& e) {
      Report(w, "free page " + std::to_string(n) + " unreadable: " + e.what());
      return;
    }
  }
}

void IndexChecker::CheckEntries(TIndexTree& tree, const std::vector<IndexEntry>& expected,
                                const std::string& name) {
  std::vector<IndexEntry> actual;
  try {
    actual = tree.Entries();
  } catch (const std::exception& e) {
    problems_.push_back(name + ": cannot walk the leaves: " + e.what());
    return;
  }
  if (actual.size() != expected.size())
    problems_.push_back(name + ": " + std::to_string(actual.size()) + " entries, expected " +
                        std::to_string(expected.size()));
  const std::size_t n = std::min(actual.size(), expected.size());
  for (std::size_t i = 0; i < n; ++i)
    if (actual[i].key != expected[i].key || actual[i].record != expected[i].record) {
      problems_.push_back(name + ": entry " + std::to_string(i) + " differs");
      return;
    }
}

}  // namespace kura
