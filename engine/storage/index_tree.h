// TIndexTree: the B+-tree of one index over pages of a page store: search,
// insertion with splits, deletion with merging and redistribution, exact
// subtree key counts on every internal entry, the index's free page chain,
// and ordinal positions (rank, key at rank, range counts) from those counts.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/index_key.h"
#include "engine/storage/index_page.h"

namespace kura {

// Where the tree's pages live. Pages handed out stay valid (and are not
// evicted) until the store's owner ends the update; the tree never holds
// one across calls.
class IndexPageStore {
 public:
  virtual ~IndexPageStore() = default;
  // The page numbered n, read and decoded when not cached. Raises 8965 when
  // n is not a page of the file or the page is damaged.
  virtual TPage& Fetch(std::int32_t n) = 0;
  // A newly appended page, cleared and marked dirty. Raises 9479 when the
  // file would grow beyond its limits.
  virtual TPage& Append() = 0;
  // The page numbered n when it is held in memory, never read for the call;
  // nullptr otherwise (a store without a cache holds nothing).
  virtual TPage* Cached(std::int32_t n) {
    (void)n;
    return nullptr;
  }
};

// The two page numbers of an index kept in its descriptor.
struct IndexRoots {
  std::int32_t root = 0;       // 0 when the index is empty
  std::int32_t firstFree = 0;  // first page of the free chain, 0 when empty
};

// A leaf entry found by a search or walk.
struct IndexEntry {
  std::vector<std::uint8_t> key;
  std::int32_t record = 0;
};

// Where an entry lies in the leaf chain: its leaf, its slot there, and what
// tells whether that is still so (see TIndexTree::StepInCache). page 0: no
// place.
struct LeafPlace {
  std::int32_t page = 0;
  int slot = 0;
  std::uint64_t load = 0;     // TPage::load of the leaf when the place was taken
  std::uint64_t changes = 0;  // the tree's changes then
};

// Deepest path from the root to a leaf.
inline constexpr int kMaxTreeDepth = 64;

class TIndexTree {
 public:
  // The tree of an index with the given shape and key order, whose pages are
  // in `store` and whose root and free chain are in `roots`. All references
  // must outlive the tree; `table` names the table in errors.
  TIndexTree(const PageShape& shape, const KeyComparator& cmp, IndexPageStore& store,
             IndexRoots& roots, std::string table = {}, std::string index = {});

  // The record number of an entry whose key equals `key`, or 0 when there
  // is none.
  std::int32_t Find(const std::uint8_t* key);
  // The first entry not ordered before `key`; false when there is none.
  bool LowerBound(const std::uint8_t* key, IndexEntry* out);
  // True when an entry equal to `key` exists (what a unique index refuses).
  bool Contains(const std::uint8_t* key) { return Find(key) != 0; }

  // Inserts (key, record). A unique index that already holds an equal key
  // raises 9729 before anything changes.
  void Insert(const std::uint8_t* key, std::int32_t record);
  // Removes the entry whose key equals `key`. Raises 8965 (and changes
  // nothing) when there is none.
  void Delete(const std::uint8_t* key);
  // Delete(oldKey) then Insert(newKey, record); a unique index checks the
  // new key first (9729) so that nothing changes on a duplicate.
  void Replace(const std::uint8_t* oldKey, const std::uint8_t* newKey, std::int32_t record);

  // Number of keys, from the root's counts.
  std::uint64_t Count();
  // Number of keys ordered before `key` (inclusive = false) or not after it
  // (inclusive = true).
  std::uint64_t Rank(const std::uint8_t* key, bool inclusive = false);
  // The entry at 0-based position n; false when n >= Count(). With `place`,
  // also where the entry lies in the leaf chain.
  bool EntryAt(std::uint64_t n, IndexEntry* out, LeafPlace* place = nullptr);
  // The key of the entry at `place` when the place still holds: this tree
  // has not changed since it was taken and its leaf is still the same
  // reading of the page in the cache. nullptr otherwise.
  const std::uint8_t* KeyInCache(const LeafPlace& place);
  // From a place that still holds (see KeyInCache), the entry after it
  // (direction 1) or before it (-1) along the leaf chain, taken only from
  // pages the cache holds; `place` moves there and `*record` gets its
  // record. Returns its key (valid until the tree is used again), or
  // nullptr, with `place` unchanged, when the place no longer holds, the
  // chain ends, or the neighbouring leaf is not cached or does not link
  // back: the caller then finds the entry by a descent from the root.
  const std::uint8_t* StepInCache(LeafPlace& place, int direction, std::int32_t* record);
  // Steps as StepInCache does, entry after entry, offering each to
  // `take(key, record)` until it returns true: then `place` is that entry's
  // and the result true. False when the chain cannot be followed on;
  // `place` is then the last entry offered (unchanged when none was). The
  // leaf is checked once, not at every entry. With `from`, the walk starts
  // only when the entry at `place` has that key.
  template <typename Take>
  bool WalkInCache(LeafPlace& place, int direction, Take&& take,
                   const std::uint8_t* from = nullptr);
  // Calls `visit` with the record of every entry at positions [begin, end)
  // in index order: one descent to `begin`, then along the leaf chain.
  // Raises 8965 when the chain ends before `end`.
  void VisitRecords(std::uint64_t begin, std::uint64_t end,
                    const std::function<void(std::int32_t record)>& visit);
  // Keys k with lo <= k <= hi (or lo < k, k < hi when the bound is exclusive).
  std::uint64_t CountRange(const std::uint8_t* lo, bool loInclusive,
                           const std::uint8_t* hi, bool hiInclusive);
  // Every entry in index order, walking the leaf chain.
  std::vector<IndexEntry> Entries();

  // Frees every page of the tree into the free chain; the index becomes
  // empty (root 0).
  void Clear();

  const PageShape& Shape() const { return shape_; }
  const KeyComparator& Comparator() const { return cmp_; }
  IndexRoots& Roots() { return roots_; }

 private:
  struct Step {
    TPage* page;
    int index;  // entry taken in an internal page, position in the leaf
  };
  // A path from the root to a leaf, held on the stack: every insertion and
  // look-up makes one. Child() refuses paths deeper than kMaxTreeDepth.
  class Path {
   public:
    void clear() { size_ = 0; }
    void push_back(const Step& s) { steps_[size_++] = s; }
    std::size_t size() const { return size_; }
    Step& operator[](std::size_t i) { return steps_[i]; }
    const Step& operator[](std::size_t i) const { return steps_[i]; }
    Step& back() { return steps_[size_ - 1]; }

   private:
    std::array<Step, kMaxTreeDepth + 1> steps_;
    std::size_t size_ = 0;
  };
  // The path of the last search, by page numbers and entry positions. Keys
  // that follow each other (row ids counted up, rows of one problem) take
  // the same entries, which two key comparisons per page confirm instead of
  // a binary search. Only a guess: every use checks it against the keys.
  struct SearchHint {
    std::size_t depth = 0;  // pages on the path; 0 when there is none
    std::array<std::int32_t, kMaxTreeDepth + 1> pages{};
    std::array<int, kMaxTreeDepth + 1> entries{};
  };

  [[noreturn]] void Corrupt() const;
  TPage& Root();
  TPage& Child(const TPage& parent, int i, int depth);
  // The leaf holding entry `n` (0-based, n below the tree's entry count)
  // and the entry's position in it, by the subtree counts.
  TPage& LeafOf(std::uint64_t n, int* i);
  // The leaf of a place that still holds (see KeyInCache); nullptr if none.
  TPage* LeafInCache(const LeafPlace& place);
  // The leaf after (direction 1) or before (-1) `leaf` in the chain when the
  // cache holds it with entries and it links back to `leaf`; else nullptr.
  TPage* CachedNeighbour(const TPage& leaf, int direction);
  // Last entry whose key is not greater than `key` (strict: less than).
  int ChildIndex(const TPage& page, const std::uint8_t* key, bool strict) const;
  // First leaf position whose key is not less than `key` (upper: greater).
  int LeafPosition(const TPage& page, const std::uint8_t* key, bool upper) const;
  // Path to the leaf where `key` belongs; path.back() is the leaf step.
  void Descend(const std::uint8_t* key, bool upper, Path& path);
  // The entry of `page` (at depth `level`) or the leaf position that the
  // last search took there, when it is still the right one for `key`.
  bool HintedChild(const TPage& page, std::size_t level, const std::uint8_t* key, int* i) const;
  int HintedLeafPosition(const TPage& page, std::size_t level, const std::uint8_t* key,
                         bool upper) const;

  TPage& NewPage();
  void FreePage(TPage& page);
  void AddToCounts(const Path& path, int delta);
  void PropagateFirstKey(const Path& path, std::size_t level);
  void FixOverflow(Path& path, std::size_t level);
  void SplitPage(Path& path, std::size_t level);
  void BalanceCompressed(TPage& left, TPage& right);
  void FixUnderflow(Path& path, std::size_t level);
  void RemoveFromParent(Path& path, std::size_t level);
  void UnlinkPage(TPage& page);
  void CollapseRoot();
  std::uint64_t RankPath(const std::uint8_t* key, bool inclusive);

  const PageShape& shape_;
  const KeyComparator& cmp_;
  IndexPageStore& store_;
  IndexRoots& roots_;
  std::string table_;
  std::string index_;
  SearchHint hint_;
  std::uint64_t changes_ = 0;  // insertions and deletions made through this tree
};

template <typename Take>
bool TIndexTree::WalkInCache(LeafPlace& place, int direction, Take&& take,
                             const std::uint8_t* from) {
  TPage* page = LeafInCache(place);
  if (page == nullptr ||
      (from != nullptr && std::memcmp(page->Key(place.slot), from, shape_.keyLength) != 0))
    return false;
  for (int i = place.slot;;) {
    i += direction;
    if (i < 0 || i >= page->Count()) {
      page = CachedNeighbour(*page, direction);
      if (page == nullptr) return false;
      i = direction > 0 ? 0 : page->Count() - 1;
    }
    place = {page->Number(), i, page->load, changes_};
    if (take(page->Key(i), page->Ref(i))) return true;
  }
}

}  // namespace kura
