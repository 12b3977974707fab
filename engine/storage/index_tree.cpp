#include "engine/storage/index_tree.h"

#include <algorithm>
#include <unordered_set>

#include "engine/errors/kura_error.h"

namespace kura {

TIndexTree::TIndexTree(const PageShape& shape, const KeyComparator& cmp,
                       IndexPageStore& store, IndexRoots& roots, std::string table,
                       std::string index)
    : shape_(shape), cmp_(cmp), store_(store), roots_(roots), table_(std::move(table)),
      index_(std::move(index)) {}

void TIndexTree::Corrupt() const { Raise(KURA_INDEXCORRUPT, {.table = table_}); }

TPage& TIndexTree::Root() {
  TPage& root = store_.Fetch(roots_.root);
  if (!root.IsRoot() || root.Count() == 0) Corrupt();
  return root;
}

TPage& TIndexTree::Child(const TPage& parent, int i, int depth) {
  if (depth >= kMaxTreeDepth) Corrupt();
  const std::int32_t n = parent.Ref(i);
  if (n <= 0 || n == parent.Number()) Corrupt();
  TPage& child = store_.Fetch(n);
  if ((child.Type() != kPageInternal && child.Type() != kPageLeaf) || child.Count() == 0)
    Corrupt();
  return child;
}

int TIndexTree::ChildIndex(const TPage& page, const std::uint8_t* key, bool strict) const {
  int lo = 0, hi = page.Count();  // answer: last i with Key(i) <= key (< key)
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    const int c = cmp_(page.Key(mid), key);
    if (c < 0 || (c == 0 && !strict)) lo = mid + 1; else hi = mid;
  }
  return std::max(lo - 1, 0);
}

int TIndexTree::LeafPosition(const TPage& page, const std::uint8_t* key, bool upper) const {
  int lo = 0, hi = page.Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    const int c = cmp_(page.Key(mid), key);
    if (c < 0 || (c == 0 && upper)) lo = mid + 1; else hi = mid;
  }
  return lo;
}

// The remembered entry is taken only when the keys around it show that a
// binary search would choose it too; otherwise the page is searched.
bool TIndexTree::HintedChild(const TPage& page, std::size_t level, const std::uint8_t* key,
                             int* i) const {
  if (level >= hint_.depth || hint_.pages[level] != page.Number()) return false;
  const int e = hint_.entries[level];
  const int n = page.Count();
  if (e >= n || (e > 0 && cmp_(page.Key(e), key) > 0) ||
      (e + 1 < n && cmp_(page.Key(e + 1), key) <= 0))
    return false;
  *i = e;
  return true;
}

// Tries the position after the remembered one (keys that follow each other)
// and the end of the leaf (keys counted up) before a binary search.
int TIndexTree::HintedLeafPosition(const TPage& page, std::size_t level,
                                   const std::uint8_t* key, bool upper) const {
  const int n = page.Count();
  // `before(i)`: entry i sorts before the position wanted.
  auto before = [&](int i) {
    const int c = cmp_(page.Key(i), key);
    return c < 0 || (c == 0 && upper);
  };
  if (level < hint_.depth && hint_.pages[level] == page.Number()) {
    const int p = hint_.entries[level] + 1;
    if (p <= n && (p == 0 || before(p - 1)) && (p == n || !before(p))) return p;
  }
  if (n > 0 && before(n - 1)) return n;
  return LeafPosition(page, key, upper);
}

void TIndexTree::Descend(const std::uint8_t* key, bool upper, Path& path) {
  path.clear();
  TPage* page = &Root();
  while (!page->IsLeaf()) {
    int i = 0;
    if (!HintedChild(*page, path.size(), key, &i)) i = ChildIndex(*page, key, false);
    path.push_back({page, i});
    page = &Child(*page, i, int(path.size()));
  }
  path.push_back({page, HintedLeafPosition(*page, path.size(), key, upper)});
  hint_.depth = path.size();
  for (std::size_t l = 0; l < path.size(); ++l) {
    hint_.pages[l] = path[l].page->Number();
    hint_.entries[l] = path[l].index;
  }
}

std::int32_t TIndexTree::Find(const std::uint8_t* key) {
  if (roots_.root == 0) return 0;
  Path path;
  Descend(key, false, path);
  const Step& s = path.back();
  if (s.index < s.page->Count() && cmp_(s.page->Key(s.index), key) == 0)
    return s.page->Ref(s.index);
  return 0;
}

bool TIndexTree::LowerBound(const std::uint8_t* key, IndexEntry* out) {
  if (roots_.root == 0) return false;
  TPage* page = &Root();
  for (int depth = 1; !page->IsLeaf(); ++depth)
    page = &Child(*page, ChildIndex(*page, key, true), depth);
  int pos = LeafPosition(*page, key, false);
  if (pos == page->Count()) {  // everything here sorts before: the next leaf
    if (page->Next() == 0) return false;
    page = &store_.Fetch(page->Next());
    if (!page->IsLeaf() || page->Count() == 0) Corrupt();
    pos = 0;
  }
  out->key.assign(page->Key(pos), page->Key(pos) + shape_.keyLength);
  out->record = page->Ref(pos);
  return true;
}

TPage& TIndexTree::NewPage() {
  if (roots_.firstFree == 0) return store_.Append();
  TPage& page = store_.Fetch(roots_.firstFree);
  if (page.Count() != 0 || page.Next() == page.Number()) Corrupt();
  roots_.firstFree = page.Next();
  page.Clear();
  page.dirty = true;
  return page;
}

void TIndexTree::FreePage(TPage& page) {
  page.MakeFree(roots_.firstFree);
  page.dirty = true;
  roots_.firstFree = page.Number();
}

void TIndexTree::AddToCounts(const Path& path, int delta) {
  if (shape_.noCounts) return;
  for (std::size_t l = 0; l + 1 < path.size(); ++l) {
    TPage& p = *path[l].page;
    p.SetSubCount(path[l].index, std::uint32_t(std::int64_t(p.SubCount(path[l].index)) + delta));
    p.dirty = true;
  }
}

// After the first key of path[level] changed, the parent entries that
// repeat it take the new key, upwards while the changed entry is a first.
void TIndexTree::PropagateFirstKey(const Path& path, std::size_t level) {
  for (std::size_t l = level; l > 0; --l) {
    TPage& parent = *path[l - 1].page;
    const int idx = path[l - 1].index;
    parent.SetKey(idx, path[l].page->Key(0));
    parent.dirty = true;
    if (idx != 0) break;
  }
}

void TIndexTree::Insert(const std::uint8_t* key, std::int32_t record) {
  ++changes_;
  if (roots_.root == 0) {
    TPage& page = NewPage();
    page.SetType(kPageRootLeaf);
    page.Insert(0, key, record, 0);
    page.dirty = true;
    roots_.root = page.Number();
    return;
  }
  Path path;
  Descend(key, true, path);
  TPage& leaf = *path.back().page;
  const int pos = path.back().index;
  if (shape_.unique && pos > 0 && cmp_(leaf.Key(pos - 1), key) == 0)
    Raise(KURA_KEYVIOL, {.index = index_, .table = table_});
  AddToCounts(path, +1);
  leaf.Insert(pos, key, record, 0);
  leaf.dirty = true;
  if (pos == 0) PropagateFirstKey(path, path.size() - 1);
  FixOverflow(path, path.size() - 1);
}

void TIndexTree::FixOverflow(Path& path, std::size_t level) {
  for (std::size_t l = level;; --l) {
    if (!path[l].page->Overflows()) return;
    SplitPage(path, l);
    if (l == 0) return;
  }
}

// Moves entries one at a time across the boundary of two compressed leaves
// until both fit.
void TIndexTree::BalanceCompressed(TPage& left, TPage& right) {
  int moves = left.Count() + right.Count();
  while (left.Overflows() || right.Overflows()) {
    if (--moves < 0 || (left.Overflows() && right.Overflows())) Corrupt();
    if (left.Overflows()) {
      if (left.Count() < 2) Corrupt();
      left.MoveTailTo(right, left.Count() - 1);
    } else {
      if (right.Count() < 2) Corrupt();
      right.MoveHeadTo(left, 1);
    }
  }
}

// Splits path[level] into itself and a new page linked after it; the upper
// half of the entries moves. The parent (or a new root) gets the new page.
void TIndexTree::SplitPage(Path& path, std::size_t level) {
  TPage& old = *path[level].page;
  const bool wasRoot = old.IsRoot();
  const std::uint8_t type = old.IsLeaf() ? kPageLeaf : kPageInternal;
  TPage& fresh = NewPage();
  old.SetType(type);
  fresh.SetType(type);
  const int n = old.Count();
  old.MoveTailTo(fresh, n - n / 2);
  if (old.IsCompressedLeaf()) BalanceCompressed(old, fresh);
  fresh.SetPrev(old.Number());
  fresh.SetNext(old.Next());
  if (old.Next() != 0) {
    TPage& after = store_.Fetch(old.Next());
    after.SetPrev(fresh.Number());
    after.dirty = true;
  }
  old.SetNext(fresh.Number());
  old.dirty = fresh.dirty = true;
  const std::uint32_t oldKeys = shape_.noCounts ? 0 : std::uint32_t(old.SubtreeKeys());
  const std::uint32_t newKeys = shape_.noCounts ? 0 : std::uint32_t(fresh.SubtreeKeys());
  if (wasRoot) {
    TPage& root = NewPage();
    root.SetType(kPageRoot);
    root.Insert(0, old.Key(0), old.Number(), oldKeys);
    root.Insert(1, fresh.Key(0), fresh.Number(), newKeys);
    root.dirty = true;
    roots_.root = root.Number();
    return;
  }
  TPage& parent = *path[level - 1].page;
  const int idx = path[level - 1].index;
  parent.SetSubCount(idx, oldKeys);
  parent.Insert(idx + 1, fresh.Key(0), fresh.Number(), newKeys);
  parent.dirty = true;
}

void TIndexTree::Delete(const std::uint8_t* key) {
  ++changes_;
  if (roots_.root == 0) Corrupt();
  Path path;
  Descend(key, false, path);
  const std::size_t level = path.size() - 1;
  TPage& leaf = *path[level].page;
  const int pos = path[level].index;
  if (pos >= leaf.Count() || cmp_(leaf.Key(pos), key) != 0) Corrupt();
  AddToCounts(path, -1);
  leaf.Remove(pos);
  leaf.dirty = true;
  if (pos == 0 && leaf.Count() > 0) PropagateFirstKey(path, level);
  if (leaf.IsCompressedLeaf() && leaf.Count() > 0) {
    // Dropping an entry can lengthen its successor's stored key (its leading
    // part shrinks); a leaf that no longer fits is split.
    FixOverflow(path, level);
  } else if (leaf.IsCompressedLeaf() && level > 0) {
    RemoveFromParent(path, level);
  } else {
    FixUnderflow(path, level);
  }
}

void TIndexTree::Replace(const std::uint8_t* oldKey, const std::uint8_t* newKey,
                         std::int32_t record) {
  if (shape_.unique && cmp_(oldKey, newKey) != 0 && Contains(newKey))
    Raise(KURA_KEYVIOL, {.index = index_, .table = table_});
  Delete(oldKey);
  Insert(newKey, record);
}

void TIndexTree::UnlinkPage(TPage& page) {
  if (page.Prev() != 0) {
    TPage& before = store_.Fetch(page.Prev());
    before.SetNext(page.Next());
    before.dirty = true;
  }
  if (page.Next() != 0) {
    TPage& after = store_.Fetch(page.Next());
    after.SetPrev(page.Prev());
    after.dirty = true;
  }
}

// Frees the empty page path[level] and removes its entry from the parent.
void TIndexTree::RemoveFromParent(Path& path, std::size_t level) {
  TPage& page = *path[level].page;
  UnlinkPage(page);
  FreePage(page);
  TPage& parent = *path[level - 1].page;
  const int idx = path[level - 1].index;
  parent.Remove(idx);
  parent.dirty = true;
  if (idx == 0 && parent.Count() > 0) PropagateFirstKey(path, level - 1);
  FixUnderflow(path, level - 1);
}

void TIndexTree::CollapseRoot() {
  for (int depth = 0;; ++depth) {
    TPage& root = store_.Fetch(roots_.root);
    if (root.Count() == 0) {  // nothing left below the root
      FreePage(root);
      roots_.root = 0;
      return;
    }
    if (root.IsLeaf() || root.Count() != 1) return;
    TPage& child = Child(root, 0, depth + 1);
    FreePage(root);
    child.SetType(child.IsLeaf() ? kPageRootLeaf : kPageRoot);
    child.dirty = true;
    roots_.root = child.Number();
  }
}

// Combines an underflowing page with a sibling under the same parent:
// merges both into one page when they fit, else shares the entries out
// evenly. Repeats upwards while a parent underflows.
void TIndexTree::FixUnderflow(Path& path, std::size_t level) {
  for (std::size_t l = level;; --l) {
    if (l == 0) {
      CollapseRoot();
      return;
    }
    TPage& page = *path[l].page;
    if (!page.Underflows()) return;
    TPage& parent = *path[l - 1].page;
    const int idx = path[l - 1].index;
    if (parent.Count() < 2) return;  // no sibling to take from
    const int leftIdx = idx == 0 ? 0 : idx - 1;
    TPage& left = Child(parent, leftIdx, int(l));
    TPage& right = Child(parent, leftIdx + 1, int(l));
    if (left.Next() != right.Number() || right.Prev() != left.Number() ||
        left.IsLeaf() != right.IsLeaf())
      Corrupt();
    left.dirty = right.dirty = parent.dirty = true;
    const int total = left.Count() + right.Count();
    if (total < page.Capacity()) {
      right.MoveHeadTo(left, right.Count());
      if (!shape_.noCounts) parent.SetSubCount(leftIdx, std::uint32_t(left.SubtreeKeys()));
      UnlinkPage(right);
      FreePage(right);
      parent.Remove(leftIdx + 1);
      continue;
    }
    const int wantLeft = total - total / 2;
    if (left.Count() > wantLeft)
      left.MoveTailTo(right, wantLeft);
    else if (left.Count() < wantLeft)
      right.MoveHeadTo(left, wantLeft - left.Count());
    parent.SetKey(leftIdx + 1, right.Key(0));
    if (!shape_.noCounts) {
      parent.SetSubCount(leftIdx, std::uint32_t(left.SubtreeKeys()));
      parent.SetSubCount(leftIdx + 1, std::uint32_t(right.SubtreeKeys()));
    }
    return;
  }
}

std::uint64_t TIndexTree::Count() {
  if (roots_.root == 0) return 0;
  return Root().SubtreeKeys();
}

std::uint64_t TIndexTree::Rank(const std::uint8_t* key, bool inclusive) {
  if (roots_.root == 0) return 0;
  std::uint64_t rank = 0;
  TPage* page = &Root();
  for (int depth = 1; !page->IsLeaf(); ++depth) {
    // Every key left of the chosen child sorts before `key` (or equals it
    // when inclusive); every key right of it does not.
    const int i = ChildIndex(*page, key, !inclusive);
    for (int j = 0; j < i; ++j) rank += page->SubCount(j);
    page = &Child(*page, i, depth);
  }
  return rank + std::uint64_t(LeafPosition(*page, key, inclusive));
}

bool TIndexTree::EntryAt(std::uint64_t n, IndexEntry* out, LeafPlace* place) {
  if (roots_.root == 0) return false;
  if (n >= Root().SubtreeKeys()) return false;
  int i = 0;
  const TPage& page = LeafOf(n, &i);
  out->key.assign(page.Key(i), page.Key(i) + shape_.keyLength);
  out->record = page.Ref(i);
  if (place != nullptr) *place = {page.Number(), i, page.load, changes_};
  return true;
}

// A place holds while nothing can have changed its leaf: no key changed
// through this tree, and the leaf is the very page object read then (a page
// dropped with the cache, because another user changed the file or a
// transaction was rolled back, or trimmed from it, is a new reading).
TPage* TIndexTree::LeafInCache(const LeafPlace& place) {
  if (place.page == 0 || place.changes != changes_) return nullptr;
  TPage* page = store_.Cached(place.page);
  if (page == nullptr || page->load != place.load || !page->IsLeaf() || place.slot < 0 ||
      place.slot >= page->Count())
    return nullptr;
  return page;
}

const std::uint8_t* TIndexTree::KeyInCache(const LeafPlace& place) {
  const TPage* page = LeafInCache(place);
  return page == nullptr ? nullptr : page->Key(place.slot);
}

// The neighbouring leaf is taken only when it is cached too, links back and
// goes on in key order (its keys run from first to last, beyond the keys of
// `leaf`): pages read at different times may not agree, and then the
// descent, which checks what it meets, decides. The order also ends a walk
// round a chain that loops: the leaves it passes keep strictly rising.
TPage* TIndexTree::CachedNeighbour(const TPage& leaf, int direction) {
  const std::int32_t n = direction > 0 ? leaf.Next() : leaf.Prev();
  if (n <= 0 || n == leaf.Number() || leaf.Count() == 0) return nullptr;
  TPage* other = store_.Cached(n);
  if (other == nullptr || !other->IsLeaf() || other->Count() == 0 ||
      (direction > 0 ? other->Prev() : other->Next()) != leaf.Number())
    return nullptr;
  const std::uint8_t* first = other->Key(0);
  const std::uint8_t* last = other->Key(other->Count() - 1);
  if (cmp_(first, last) > 0) return nullptr;
  const bool onInOrder = direction > 0 ? cmp_(leaf.Key(leaf.Count() - 1), first) < 0
                                       : cmp_(leaf.Key(0), last) > 0;
  return onInOrder ? other : nullptr;
}

const std::uint8_t* TIndexTree::StepInCache(LeafPlace& place, int direction,
                                            std::int32_t* record) {
  const std::uint8_t* key = nullptr;
  WalkInCache(place, direction, [&](const std::uint8_t* k, std::int32_t r) {
    key = k;
    *record = r;
    return true;
  });
  return key;
}

TPage& TIndexTree::LeafOf(std::uint64_t n, int* i) {
  TPage* page = &Root();
  for (int depth = 1; !page->IsLeaf(); ++depth) {
    int c = 0;
    while (c < page->Count() && n >= page->SubCount(c)) n -= page->SubCount(c++);
    if (c == page->Count()) Corrupt();
    page = &Child(*page, c, depth);
  }
  if (n >= std::uint64_t(page->Count())) Corrupt();
  *i = int(n);
  return *page;
}

void TIndexTree::VisitRecords(std::uint64_t begin, std::uint64_t end,
                              const std::function<void(std::int32_t)>& visit) {
  if (begin >= end || roots_.root == 0) return;
  end = std::min(end, Root().SubtreeKeys());
  if (begin >= end) return;
  int i = 0;
  TPage* page = &LeafOf(begin, &i);
  // Every leaf on the way holds at least one entry, so the walk ends after
  // end - begin entries even when the chain of a damaged tree runs round.
  for (std::uint64_t left = end - begin; left > 0; --left) {
    if (i == page->Count()) {
      const std::int32_t next = page->Next();
      if (next <= 0 || next == page->Number()) Corrupt();
      page = &store_.Fetch(next);
      if (!page->IsLeaf() || page->Count() == 0) Corrupt();
      i = 0;
    }
    visit(page->Ref(i++));
  }
}

std::uint64_t TIndexTree::CountRange(const std::uint8_t* lo, bool loInclusive,
                                     const std::uint8_t* hi, bool hiInclusive) {
  const std::uint64_t below = Rank(lo, !loInclusive);
  const std::uint64_t upTo = Rank(hi, hiInclusive);
  return upTo > below ? upTo - below : 0;
}

std::vector<IndexEntry> TIndexTree::Entries() {
  std::vector<IndexEntry> out;
  if (roots_.root == 0) return out;
  TPage* page = &Root();
  for (int depth = 1; !page->IsLeaf(); ++depth) page = &Child(*page, 0, depth);
  std::unordered_set<std::int32_t> seen;
  for (;;) {
    if (!seen.insert(page->Number()).second) Corrupt();
    for (int i = 0; i < page->Count(); ++i)
      out.push_back({{page->Key(i), page->Key(i) + shape_.keyLength}, page->Ref(i)});
    if (page->Next() == 0) return out;
    page = &store_.Fetch(page->Next());
    if (!page->IsLeaf() || page->Count() == 0) Corrupt();
  }
}

}  // namespace kura
