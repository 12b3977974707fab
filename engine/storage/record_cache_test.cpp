// The record cache against a model: after any mix of adds, uses, dirty
// marks and trims, the sorted list holds exactly the cached records in
// order, every one is found, and a trim evicts clean unused records from
// the least recently used end only.
#include "engine/storage/record_cache.h"

#include <gtest/gtest.h>

#include <list>
#include <random>
#include <set>

namespace kura {
namespace {

TEST(RecordCacheTest, TrimKeepsDirtyAndPinnedRecordsAndEvictsTheOldestCleanOnes) {
  RecordCache cache(8, 4);
  for (int n = 1; n <= 10; ++n) {
    TRecord* r = cache.TryAdd(n);
    if (r == nullptr) {
      cache.Grow();
      r = cache.TryAdd(n);
    }
    ASSERT_NE(r, nullptr);
    r->dirty = n == 2 || n == 9;
  }
  // Whatever was reused to make room, 2 and 9 (dirty) are still there.
  ASSERT_NE(cache.Find(2), nullptr);
  ASSERT_NE(cache.Find(9), nullptr);
  const RecordPin pin(cache.Find(3) != nullptr ? cache.Peek(3) : cache.TryAdd(3));
  cache.Find(10);  // recently used
  cache.Trim();
  std::set<std::int32_t> left;
  for (const TRecord* r : cache.Sorted()) left.insert(r->Number());
  EXPECT_EQ(left, (std::set<std::int32_t>{2, 3, 9, 10}));
  EXPECT_EQ(cache.Size(), 4u);
}

TEST(RecordCacheTest, RandomUseMatchesAModelOfRecencyAndOrder) {
  std::mt19937 rng(17);
  RecordCache cache(8, 50);
  std::list<std::int32_t> recency;  // most recent first, as the cache keeps it
  std::set<std::int32_t> dirty;
  auto touch = [&](std::int32_t n) {
    recency.remove(n);
    recency.push_front(n);
  };
  for (int step = 0; step < 5000; ++step) {
    const std::int32_t n = 1 + static_cast<std::int32_t>(rng() % 400);
    const unsigned what = rng() % 10;
    if (what < 6) {
      if (cache.Find(n) != nullptr) {
        touch(n);
        continue;
      }
      TRecord* r = cache.TryAdd(n);
      if (r == nullptr) {
        cache.Grow();
        r = cache.TryAdd(n);
      }
      ASSERT_NE(r, nullptr);
      // A reused entry left the model too.
      std::set<std::int32_t> now;
      for (const TRecord* c : cache.Sorted()) now.insert(c->Number());
      recency.remove_if([&](std::int32_t k) { return !now.count(k); });
      touch(n);
      if (what == 0) {
        r->dirty = true;
        dirty.insert(n);
      }
    } else if (what < 8) {
      if (TRecord* r = cache.Peek(n)) {
        r->dirty = false;
        dirty.erase(n);
      }
    } else {
      cache.Trim();
      // The model: drop clean records from the old end until the limit.
      std::size_t size = recency.size();
      for (auto it = recency.end(); it != recency.begin() && size > cache.Limit();) {
        --it;
        if (!dirty.count(*it)) {
          it = recency.erase(it);
          --size;
        }
      }
    }
    ASSERT_EQ(cache.Size(), recency.size());
    std::set<std::int32_t> model(recency.begin(), recency.end());
    std::int32_t previous = 0;
    for (const TRecord* r : cache.Sorted()) {
      ASSERT_GT(r->Number(), previous);
      previous = r->Number();
      ASSERT_TRUE(model.count(r->Number())) << r->Number();
      ASSERT_EQ(cache.Peek(r->Number()), r);
    }
  }
}

}  // namespace
}  // namespace kura
