#include "engine/storage/index_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"
#include "engine/storage/index_checker.h"
#include "engine/storage/index_page_cache.h"

namespace kura {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A one-field integer index in memory.
struct Tree {
  explicit Tree(bool unique, LeafCompression c = LeafCompression::kNone,
                std::uint16_t bodyLimit = kPageBodyBytes) {
    KeyDef d;
    KeySegment s;
    s.type = 6;
    s.storedSize = 4;
    s.slotOffset = 9;
    d.segments.push_back(s);
    d.unique = unique;
    cmp = std::make_unique<KeyComparator>(d);
    shape.keyLength = std::uint16_t(d.KeyLength());
    shape.unique = unique;
    shape.compression = c;
    shape.bodyLimit = bodyLimit;
    cache = std::make_unique<TPageCache>(shape, file, "t");
    tree = std::make_unique<TIndexTree>(shape, *cmp, *cache, roots, "t", "X");
  }

  Bytes Key(std::int32_t v, std::int32_t row) const {
    Bytes k(shape.keyLength);
    k[0] = 1;
    EncodeKeyInt32(v, k.data() + 1);
    if (!shape.unique) EncodeKeyRowId(row, k.data() + 5);
    return k;
  }
  void Insert(std::int32_t v, std::int32_t row) {
    tree->Insert(Key(v, row).data(), row);
    cache->EndUpdate();
  }
  void Delete(std::int32_t v, std::int32_t row) {
    tree->Delete(Key(v, row).data());
    cache->EndUpdate();
  }
  std::vector<std::string> Check() {
    IndexChecker checker(file.NextPageNumber());
    checker.CheckTree(*cache, shape, *cmp, roots, "t");
    return checker.Problems();
  }
  TPage& Page(std::int32_t n) { return cache->Fetch(n); }

  PageShape shape;
  std::unique_ptr<KeyComparator> cmp;
  MemoryPageFile file;
  std::unique_ptr<TPageCache> cache;
  IndexRoots roots;
  std::unique_ptr<TIndexTree> tree;
};

ErrorCode CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EKuraEngineError& e) {
    return e.ErrorCode();
  }
  return 0;
}

TEST(IndexTreeTest, The315thKeySplitsTheRootLeaf) {
  Tree t(false);
  for (int i = 1; i <= 314; ++i) t.Insert(i, i);
  EXPECT_EQ(t.Page(t.roots.root).Type(), kPageRootLeaf);
  EXPECT_EQ(t.Page(t.roots.root).Count(), 314);
  t.Insert(315, 315);
  TPage& root = t.Page(t.roots.root);
  ASSERT_EQ(root.Type(), kPageRoot);
  ASSERT_EQ(root.Count(), 2);
  EXPECT_EQ(root.SubCount(0), 158u);
  EXPECT_EQ(root.SubCount(1), 157u);
  TPage& left = t.Page(root.Ref(0));
  TPage& right = t.Page(root.Ref(1));
  EXPECT_EQ(left.Type(), kPageLeaf);
  EXPECT_EQ(right.Type(), kPageLeaf);
  EXPECT_EQ(left.Count(), 158);
  EXPECT_EQ(right.Count(), 157);
  EXPECT_EQ(left.Next(), right.Number());
  EXPECT_EQ(right.Prev(), left.Number());
  EXPECT_EQ(Bytes(root.Key(1), root.Key(1) + 9), t.Key(159, 159));
  EXPECT_TRUE(t.Check().empty());
}

TEST(IndexTreeTest, UniqueIndexRejectsADuplicateAndChangesNothing) {
  Tree t(true);
  for (int i = 0; i < 1000; ++i) t.Insert(i * 2, i + 1);
  const std::size_t writes = t.file.Writes();
  const std::int32_t pages = t.file.NextPageNumber();
  std::vector<Bytes> before;
  for (std::int32_t n = 1; n < pages; ++n) before.emplace_back(t.file.Image(n), t.file.Image(n) + kPageBytes);
  EXPECT_EQ(CodeOf([&] { t.Insert(500, 9999); }), KURA_KEYVIOL);
  EXPECT_EQ(CodeOf([&] { t.tree->Replace(t.Key(2, 0).data(), t.Key(4, 0).data(), 2); }),
            KURA_KEYVIOL);
  EXPECT_EQ(t.file.Writes(), writes);
  EXPECT_EQ(t.file.NextPageNumber(), pages);
  for (std::int32_t n = 1; n < pages; ++n)
    EXPECT_EQ(Bytes(t.file.Image(n), t.file.Image(n) + kPageBytes), before[std::size_t(n - 1)]);
  EXPECT_EQ(t.tree->Count(), 1000u);
}

TEST(IndexTreeTest, DeletingEverythingEmptiesTheIndexAndFreedPagesAreReused) {
  Tree t(false);
  for (int i = 0; i < 3000; ++i) t.Insert(i % 97, i + 1);
  const std::int32_t pages = t.file.NextPageNumber();
  for (int i = 0; i < 3000; ++i) t.Delete(i % 97, i + 1);
  EXPECT_EQ(t.roots.root, 0);
  EXPECT_EQ(t.tree->Count(), 0u);
  int freeCount = 0;
  for (std::int32_t n = t.roots.firstFree; n != 0; n = t.Page(n).Next()) ++freeCount;
  EXPECT_EQ(freeCount, pages - 1);
  for (int i = 0; i < 3000; ++i) t.Insert(i % 97, i + 1);
  EXPECT_EQ(t.file.NextPageNumber(), pages) << "new pages appended while free ones were left";
  EXPECT_TRUE(t.Check().empty());
}

TEST(IndexTreeTest, DeletingAMissingKeyRaisesAndChangesNothing) {
  Tree t(false);
  for (int i = 0; i < 2000; ++i) t.Insert(i, i + 1);
  EXPECT_EQ(CodeOf([&] { t.Delete(5, 999); }), KURA_INDEXCORRUPT);
  EXPECT_EQ(t.tree->Count(), 2000u);
  EXPECT_TRUE(t.Check().empty());
  Tree empty(true);
  EXPECT_EQ(CodeOf([&] { empty.Delete(5, 0); }), KURA_INDEXCORRUPT);
}

TEST(IndexTreeTest, CompressedLeavesStayUntilEmpty) {
  Tree t(true, LeafCompression::kBoth, 200);
  for (int i = 0; i < 400; ++i) t.Insert(i, i + 1);
  TPage& root = t.Page(t.roots.root);
  ASSERT_EQ(root.Type(), kPageRoot);
  // Empty the second leaf but one entry: it is kept, nothing merges.
  TPage& second = t.Page(t.Page(root.Ref(0)).Ref(1));
  const std::int32_t secondNo = second.Number();
  std::vector<std::int32_t> values;
  for (int i = 0; i < second.Count(); ++i) values.push_back(GetFixed32BE(second.Key(i) + 1) ^ 0x80000000u);
  for (std::size_t i = 1; i < values.size(); ++i) t.Delete(values[i], 0);
  EXPECT_EQ(t.Page(secondNo).Count(), 1);
  EXPECT_TRUE(t.Check().empty());
  t.Delete(values[0], 0);
  EXPECT_EQ(t.roots.firstFree, secondNo);
  EXPECT_TRUE(t.Check().empty());
  EXPECT_EQ(t.tree->Count(), 400u - values.size());
}

TEST(IndexTreeTest, CompressedLeafThatGrowsOnDeleteIsSplit) {
  // Removing the first entry makes its neighbour whole again (no leading
  // part), which can take more room than the removed entry freed.
  KeyDef d;
  KeySegment s;
  s.type = 9;  // bytes
  s.storedSize = 99;
  d.segments.push_back(s);
  KeyComparator cmp(d);
  PageShape shape;
  shape.keyLength = 100;
  shape.compression = LeafCompression::kBoth;
  shape.bodyLimit = 500;
  MemoryPageFile file;
  TPageCache cache(shape, file, "t");
  IndexRoots roots;
  TIndexTree tree(shape, cmp, cache, roots, "t", "X");
  // A mostly-zero key (7 bytes stored), then 70 keys that differ from it
  // only in the last byte (7 bytes each, 100 bytes when first on a page).
  Bytes first(100, 0);
  first[0] = 1;
  tree.Insert(first.data(), 1);
  for (int i = 1; i <= 70; ++i) {
    Bytes k = first;
    k[99] = std::uint8_t(i);
    tree.Insert(k.data(), i + 1);
  }
  cache.EndUpdate();
  ASSERT_EQ(cache.Fetch(roots.root).Type(), kPageRootLeaf);
  ASSERT_EQ(cache.Fetch(roots.root).UsedBytes(), 497u);
  tree.Delete(first.data());
  cache.EndUpdate();
  IndexChecker checker(file.NextPageNumber());
  checker.CheckTree(cache, shape, cmp, roots, "t");
  EXPECT_TRUE(checker.Ok()) << checker.Problems()[0];
  EXPECT_EQ(tree.Count(), 70u);
  EXPECT_EQ(cache.Fetch(roots.root).Type(), kPageRoot) << "the grown leaf was not split";
  EXPECT_EQ(tree.Entries().size(), 70u);
}

TEST(IndexTreeTest, RanksAndRangesUseTheCounts) {
  Tree t(false, LeafCompression::kNone, 200);
  for (int i = 0; i < 500; ++i) t.Insert(i / 2, i + 1);  // each value twice
  EXPECT_EQ(t.tree->Count(), 500u);
  EXPECT_EQ(t.tree->Rank(t.Key(10, 0).data()), 20u);
  EXPECT_EQ(t.tree->Rank(t.Key(10, 0x7FFFFFFF).data(), true), 22u);
  EXPECT_EQ(t.tree->CountRange(t.Key(10, 0).data(), true, t.Key(19, 0x7FFFFFFF).data(), true), 20u);
  EXPECT_EQ(t.tree->CountRange(t.Key(300, 0).data(), true, t.Key(400, 0).data(), true), 0u);
  IndexEntry e;
  ASSERT_TRUE(t.tree->EntryAt(499, &e));
  EXPECT_EQ(e.record, 500);
  EXPECT_FALSE(t.tree->EntryAt(500, &e));
}

TEST(IndexTreeTest, VisitRecordsAgreesWithEntryAtOverEverySpan) {
  Tree t(false, LeafCompression::kNone, 200);
  std::mt19937 rng(14);
  std::vector<int> values;
  for (int i = 0; i < 2000; ++i) {
    values.push_back(int(rng() % 700));
    t.Insert(values.back(), i + 1);
  }
  for (int i = 0; i < 2000; i += 3) t.Delete(values[std::size_t(i)], i + 1);
  const std::uint64_t count = t.tree->Count();
  std::vector<std::int32_t> all;
  IndexEntry e;
  for (std::uint64_t r = 0; t.tree->EntryAt(r, &e); ++r) all.push_back(e.record);
  ASSERT_EQ(all.size(), count);
  for (int probe = 0; probe < 200; ++probe) {
    const std::uint64_t b = rng() % (count + 5);
    const std::uint64_t end = b + rng() % 400;  // may run past the last key
    std::vector<std::int32_t> seen;
    t.tree->VisitRecords(b, end, [&](std::int32_t r) { seen.push_back(r); });
    const std::vector<std::int32_t> want(all.begin() + long(std::min(b, count)),
                                         all.begin() + long(std::min(end, count)));
    ASSERT_EQ(seen, want) << b << ".." << end;
  }
}

// A walk along the cached leaf chain meets the entries EntryAt finds, both
// ways, and gives up (for a descent) as soon as its place may be stale.
TEST(IndexTreeTest, StepsInTheCacheFollowTheChainAndGiveUpOnAStalePlace) {
  Tree t(false, LeafCompression::kNone, 200);
  std::mt19937 rng(7);
  std::vector<int> values;
  for (int i = 0; i < 1500; ++i) {
    values.push_back(int(rng() % 400));
    t.Insert(values.back(), i + 1);
  }
  for (int i = 0; i < 1500; i += 4) t.Delete(values[std::size_t(i)], i + 1);
  const std::vector<IndexEntry> all = t.tree->Entries();  // every leaf now cached
  ASSERT_GT(all.size(), 1000u);
  auto walk = [&](std::uint64_t from, int direction) {
    LeafPlace place;
    IndexEntry e;
    if (!t.tree->EntryAt(from, &e, &place)) return std::uint64_t(0);
    std::uint64_t steps = 0;
    std::int32_t record = 0;
    for (std::uint64_t r = from; const std::uint8_t* key = t.tree->StepInCache(place, direction, &record);) {
      r = direction > 0 ? r + 1 : r - 1;
      const IndexEntry& want = all[std::size_t(r)];
      EXPECT_EQ(record, want.record) << r;
      EXPECT_EQ(Bytes(key, key + t.shape.keyLength), want.key) << r;
      ++steps;
    }
    return steps;
  };
  EXPECT_EQ(walk(0, 1), all.size() - 1);
  EXPECT_EQ(walk(all.size() - 1, -1), all.size() - 1);

  // A place taken before a change made through the tree no longer holds.
  LeafPlace place;
  IndexEntry e;
  std::int32_t record = 0;
  ASSERT_TRUE(t.tree->EntryAt(500, &e, &place));
  ASSERT_NE(t.tree->KeyInCache(place), nullptr);
  t.tree->Insert(t.Key(9999, 9999).data(), 9999);
  EXPECT_EQ(t.tree->KeyInCache(place), nullptr);
  EXPECT_EQ(t.tree->StepInCache(place, 1, &record), nullptr);

  // Nor once its leaf has left the cache, even when it is read again: the
  // file may hold another user's version of it.
  t.cache->EndUpdate();
  t.tree->Entries();
  ASSERT_TRUE(t.tree->EntryAt(500, &e, &place));
  t.cache->DropAll();
  EXPECT_EQ(t.tree->KeyInCache(place), nullptr);
  t.Page(place.page);
  EXPECT_EQ(t.tree->StepInCache(place, 1, &record), nullptr);

  // The neighbouring leaf is taken only from the cache, and only when it
  // links back to the leaf it is reached from.
  t.cache->DropAll();
  ASSERT_TRUE(t.tree->EntryAt(500, &e, &place));
  TPage& leaf = t.Page(place.page);
  place.slot = leaf.Count() - 1;
  const std::int32_t next = leaf.Next();
  ASSERT_NE(next, 0);
  EXPECT_EQ(t.tree->StepInCache(place, 1, &record), nullptr) << "the next leaf is not cached";
  TPage& after = t.Page(next);
  after.SetPrev(0);
  EXPECT_EQ(t.tree->StepInCache(place, 1, &record), nullptr) << "the next leaf does not link back";
  after.SetPrev(place.page);
  const LeafPlace before = place;
  ASSERT_NE(t.tree->StepInCache(place, 1, &record), nullptr);
  EXPECT_EQ(place.page, next);
  EXPECT_EQ(place.slot, 0);
  EXPECT_EQ(record, after.Ref(0));
  LeafPlace back = place;
  ASSERT_NE(t.tree->StepInCache(back, -1, &record), nullptr);
  EXPECT_EQ(back.page, before.page);
  EXPECT_EQ(back.slot, before.slot);
}

// Builds a three-level tree, then damages one page on "disk".
struct Damaged : ::testing::Test {
  Damaged() : t(false, LeafCompression::kNone, 200) {
    for (int i = 0; i < 2000; ++i) t.Insert(i, i + 1);
    t.cache->DropAll();
    root = t.roots.root;
    inner = GetInt32LE(t.file.Image(root) + 13 + 9);  // first child of the root
  }
  ErrorCode Probe() {
    t.cache->DropAll();
    return CodeOf([&] {
      t.tree->Find(t.Key(1500, 1501).data());
      t.tree->Insert(t.Key(1500, 9000).data(), 9000);
      t.tree->Find(t.Key(3, 4).data());
      t.tree->Rank(t.Key(3, 4).data());
      t.tree->Delete(t.Key(3, 4).data());
    });
  }
  Tree t;
  std::int32_t root = 0, inner = 0;
};

TEST_F(Damaged, BadPageType) {
  t.file.Image(inner)[0] = 9;
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
  t.file.Image(inner)[0] = kPageTextParams;
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
}

TEST_F(Damaged, BadEntryCount) {
  PutFixed16LE(t.file.Image(inner) + 1, 4000);
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
  PutFixed16LE(t.file.Image(inner) + 1, 0);
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
}

TEST_F(Damaged, ChildPageOutOfRange) {
  PutInt32LE(t.file.Image(root) + 13 + 9, t.file.NextPageNumber() + 5);
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
  PutInt32LE(t.file.Image(root) + 13 + 9, -1);
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
}

TEST_F(Damaged, ChildPointingBackUpEndsInsteadOfLooping) {
  // The inner page's first child becomes the inner page's parent's sibling
  // chain start: a cycle through internal pages.
  const std::int32_t grandchild = GetInt32LE(t.file.Image(inner) + 13 + 9);
  t.file.Image(grandchild)[0] = kPageInternal;
  PutFixed16LE(t.file.Image(grandchild) + 1, 1);
  std::memcpy(t.file.Image(grandchild) + 13, t.file.Image(inner) + 13, 9);
  PutInt32LE(t.file.Image(grandchild) + 13 + 9, inner);
  EXPECT_EQ(Probe(), KURA_INDEXCORRUPT);
  IndexChecker checker(t.file.NextPageNumber());
  t.cache->DropAll();
  checker.CheckTree(*t.cache, t.shape, *t.cmp, t.roots, "t");
  EXPECT_FALSE(checker.Ok());
}

TEST_F(Damaged, LeafChainThatEndsOrLoopsStopsAWalk) {
  std::int32_t leaf = root;
  while (t.file.Image(leaf)[0] != kPageLeaf) leaf = GetInt32LE(t.file.Image(leaf) + 13 + 9);
  for (std::int32_t next : {0, leaf}) {
    PutInt32LE(t.file.Image(leaf) + 7, next);
    t.cache->DropAll();
    std::uint64_t visited = 0;
    EXPECT_EQ(CodeOf([&] { t.tree->VisitRecords(0, 2000, [&](std::int32_t) { ++visited; }); }),
              KURA_INDEXCORRUPT);
    EXPECT_LT(visited, 2000u);
  }
}

TEST_F(Damaged, ACachedChainThatLoopsEndsAWalkInTheCache) {
  const std::vector<IndexEntry> all = t.tree->Entries();  // every leaf cached
  LeafPlace first, last;
  IndexEntry e;
  ASSERT_TRUE(t.tree->EntryAt(0, &e, &first));
  ASSERT_TRUE(t.tree->EntryAt(all.size() - 1, &e, &last));
  t.Page(first.page).SetPrev(last.page);  // last -> first -> ... -> last
  t.Page(last.page).SetNext(first.page);
  for (const int direction : {1, -1}) {
    LeafPlace place = direction > 0 ? first : last;
    std::size_t offered = 0;
    EXPECT_FALSE(t.tree->WalkInCache(place, direction, [&](const std::uint8_t*, std::int32_t) {
      return ++offered > 3 * all.size();
    }));
    EXPECT_EQ(offered, all.size() - 1);
  }
}

TEST_F(Damaged, CompressedUsedBytesOutOfRange) {
  Tree c(true, LeafCompression::kLeading, 300);
  for (int i = 0; i < 500; ++i) c.Insert(i, i + 1);
  c.cache->DropAll();
  std::int32_t leaf = c.roots.root;
  while (c.file.Image(leaf)[0] != kPageLeaf) leaf = GetInt32LE(c.file.Image(leaf) + 13 + 5);
  PutFixed16LE(c.file.Image(leaf) + 11, 5000);
  EXPECT_EQ(CodeOf([&] { c.tree->Find(c.Key(0, 0).data()); }), KURA_INDEXCORRUPT);
}

TEST_F(Damaged, CheckerReportsCountsLinksAndFreeChainCycles) {
  // A wrong subtree count in the root.
  PutFixed32LE(t.file.Image(root) + 13 + 13, 12345);
  t.cache->DropAll();
  auto problems = t.Check();
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find("counts 12345"), std::string::npos) << problems[0];
  // A free chain that loops back on itself.
  Tree f(false, LeafCompression::kNone, 200);
  for (int i = 0; i < 300; ++i) f.Insert(i, i + 1);
  for (int i = 0; i < 300; ++i) f.Delete(i, i + 1);
  const std::int32_t head = f.roots.firstFree;
  f.cache->DropAll();
  PutInt32LE(f.file.Image(head) + 7, head);
  f.cache->DropAll();
  problems = f.Check();
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find("reachable twice"), std::string::npos) << problems[0];
}

TEST(IndexPageCacheTest, WritesRunsAndKeepsTwoUnusedPages) {
  Tree t(false, LeafCompression::kNone, 200);
  for (int i = 0; i < 40; ++i) t.tree->Insert(t.Key(i, i + 1).data(), i + 1);
  const std::size_t before = t.file.Writes();
  EXPECT_GT(t.cache->Size(), 3u);
  t.cache->EndUpdate();
  EXPECT_EQ(t.file.Writes(), before + 1) << "consecutive new pages go in one write";
  EXPECT_EQ(t.cache->Size(), 2u);
  EXPECT_TRUE(t.Check().empty());
}

}  // namespace
}  // namespace kura
