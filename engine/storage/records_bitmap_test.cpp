#include "engine/storage/records_bitmap.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace kura {
namespace {

// Checks every query of `b` against the model set `m` of size `size`.
void ExpectSame(const TRecordsBitmap& b, const std::set<std::uint32_t>& m,
                std::uint32_t size) {
  ASSERT_EQ(b.Size(), size);
  ASSERT_EQ(b.Count(), m.size());
  for (std::uint32_t n = 0; n <= size + 1; ++n) {
    ASSERT_EQ(b.Test(n), m.count(n) == 1) << n;
    auto next = m.lower_bound(std::max<std::uint32_t>(n, 1));
    ASSERT_EQ(b.NextSet(n), next == m.end() ? 0u : *next) << n;
    auto after = m.upper_bound(n);
    ASSERT_EQ(b.PrevSet(n), after == m.begin() ? 0u : *std::prev(after)) << n;
    ASSERT_EQ(b.CountBelow(n),
              static_cast<std::uint32_t>(std::distance(m.begin(), m.lower_bound(n))))
        << n;
  }
}

TEST(RecordsBitmap, RandomOperationsAgreeWithASet) {
  std::mt19937 rng(7);
  for (std::uint32_t size : {0u, 1u, 31u, 32u, 33u, 64u, 100u, 2049u}) {
    TRecordsBitmap b(size);
    TRecordsBitmap other(size);
    std::set<std::uint32_t> m, o;
    for (int step = 0; step < 400; ++step) {
      const std::uint32_t n = size == 0 ? 0 : rng() % size + 1;
      switch (rng() % 12) {
        case 0: case 1: case 2: b.Set(n); if (n) m.insert(n); break;
        case 3: case 4: b.Clear(n); m.erase(n); break;
        case 5: if (n) { other.Set(n); o.insert(n); } break;
        case 6: b.InvertAll(); {
            std::set<std::uint32_t> inv;
            for (std::uint32_t i = 1; i <= size; ++i) if (!m.count(i)) inv.insert(i);
            m = inv;
          } break;
        case 7: b.IntersectWith(other); {
            std::set<std::uint32_t> r;
            for (auto v : m) if (o.count(v)) r.insert(v);
            m = r;
          } break;
        case 8: b.UniteWith(other); m.insert(o.begin(), o.end()); break;
        case 9: if (rng() % 8 == 0) { b.SetAll(); m.clear(); for (std::uint32_t i = 1; i <= size; ++i) m.insert(i); } break;
        case 10: if (rng() % 8 == 0) { b.CopyFrom(other); m = o; } break;
        case 11: if (rng() % 8 == 0) { other.ClearAll(); o.clear(); } break;
      }
      // The count is kept across changes; it must never drift.
      ASSERT_EQ(b.Count(), m.size()) << step;
      if (step % 50 == 0) ExpectSame(b, m, size);
    }
    ExpectSame(b, m, size);
  }
}

// Sparse sets in bitmaps of different sizes, as filters of a large table
// have them: the span of words that may hold records follows every change,
// also across resizing, copying and combining with a bitmap of another size.
TEST(RecordsBitmap, SparseSetsOfDifferentSizesAgreeWithSets) {
  std::mt19937 rng(11);
  struct Model {
    TRecordsBitmap b;
    std::set<std::uint32_t> m;
    std::uint32_t size = 0;
  };
  auto resize = [](Model& x, std::uint32_t size) {
    x.b.Resize(size);
    x.size = size;
    x.m.erase(x.m.upper_bound(size), x.m.end());
  };
  for (int round = 0; round < 20; ++round) {
    Model a, c;
    resize(a, rng() % 400);
    resize(c, rng() % 400);
    for (int step = 0; step < 300; ++step) {
      Model& x = rng() % 2 ? a : c;
      Model& y = &x == &a ? c : a;
      const std::uint32_t n = 1 + rng() % 420;
      switch (rng() % 10) {
        case 0: case 1: case 2:
          x.b.Set(n);
          x.m.insert(n);
          x.size = std::max(x.size, n);
          break;
        case 3: x.b.Clear(n); x.m.erase(n); break;
        case 4: resize(x, rng() % 420); break;
        case 5:
          x.b.IntersectWith(y.b);
          std::erase_if(x.m, [&](std::uint32_t v) { return !y.m.count(v); });
          break;
        case 6:
          x.b.UniteWith(y.b);
          for (std::uint32_t v : y.m) if (v <= x.size) x.m.insert(v);
          break;
        case 7: x.b.CopyFrom(y.b); x.m = y.m; x.size = y.size; break;
        case 8: x.b.ClearAll(); x.m.clear(); break;
        case 9:
          if (rng() % 4 == 0) {
            x.b.InvertAll();
            std::set<std::uint32_t> inv;
            for (std::uint32_t i = 1; i <= x.size; ++i) if (!x.m.count(i)) inv.insert(i);
            x.m = inv;
          }
          break;
      }
      ASSERT_EQ(x.b.Count(), x.m.size()) << round << " " << step;
      if (step % 25 == 0) {
        ExpectSame(a.b, a.m, a.size);
        ExpectSame(c.b, c.m, c.size);
      }
    }
    ExpectSame(a.b, a.m, a.size);
    ExpectSame(c.b, c.m, c.size);
  }
}

// Bitmaps with every record set (the active records of a table without
// deleted ones) are held without their words until a change needs them:
// every operation on them, and with them as the other operand, must give
// what the set of records gives, at any sizes.
TEST(RecordsBitmap, BitmapsWithEveryRecordSetAgreeWithSets) {
  std::mt19937 rng(29);
  for (int round = 0; round < 40; ++round) {
    TRecordsBitmap b[2];
    std::set<std::uint32_t> m[2];
    std::uint32_t size[2] = {0, 0};
    auto all = [&](int i) {
      b[i].SetAll();
      m[i].clear();
      for (std::uint32_t n = 1; n <= size[i]; ++n) m[i].insert(n);
    };
    for (int i = 0; i < 2; ++i) {
      size[i] = rng() % 300;
      b[i].Resize(size[i]);
      all(i);
    }
    for (int step = 0; step < 200; ++step) {
      const int i = int(rng() % 2), j = 1 - i;
      const std::uint32_t n = 1 + rng() % 320;
      switch (rng() % 9) {
        case 0: all(i); break;
        case 1: b[i].Set(n); m[i].insert(n); size[i] = std::max(size[i], n); break;
        case 2: b[i].Clear(n); m[i].erase(n); break;
        case 3:
          b[i].Resize(size[i] = rng() % 320);
          m[i].erase(m[i].upper_bound(size[i]), m[i].end());
          break;
        case 4:
          b[i].IntersectWith(b[j]);
          std::erase_if(m[i], [&](std::uint32_t v) { return !m[j].count(v); });
          break;
        case 5:
          b[i].UniteWith(b[j]);
          for (std::uint32_t v : m[j]) if (v <= size[i]) m[i].insert(v);
          break;
        case 6: b[i].CopyFrom(b[j]); m[i] = m[j]; size[i] = size[j]; break;
        case 7: {
          b[i].InvertAll();
          std::set<std::uint32_t> inv;
          for (std::uint32_t v = 1; v <= size[i]; ++v) if (!m[i].count(v)) inv.insert(v);
          m[i] = inv;
        } break;
        case 8: b[i].ClearAll(); m[i].clear(); break;
      }
      ASSERT_EQ(b[i].Count(), m[i].size()) << round << " " << step;
      if (step % 20 == 0) {
        ExpectSame(b[0], m[0], size[0]);
        ExpectSame(b[1], m[1], size[1]);
        ASSERT_EQ(b[0] == b[1], size[0] == size[1] && m[0] == m[1]) << round << " " << step;
      }
    }
  }
}

TEST(RecordsBitmap, GrowsToTakeARecordAndKeepsTailClear) {
  TRecordsBitmap b(10);
  b.SetAll();
  EXPECT_EQ(b.Count(), 10u);
  b.Set(40);  // grows
  EXPECT_EQ(b.Size(), 40u);
  EXPECT_EQ(b.Count(), 11u);
  EXPECT_FALSE(b.Test(11));
  b.Resize(5);  // cut
  EXPECT_EQ(b.Count(), 5u);
  b.Resize(40);  // bits that were cut do not come back
  EXPECT_EQ(b.Count(), 5u);
  EXPECT_EQ(b.NextSet(6), 0u);
  EXPECT_EQ(b.PrevSet(40), 5u);
}

TEST(RecordsBitmap, CountFollowsIntersectionsWithSubsetsAndOthers) {
  TRecordsBitmap all(200), few(200), wide(300);
  all.SetAll();
  for (std::uint32_t n : {3u, 64u, 65u, 199u}) few.Set(n);
  all.IntersectWith(few);  // a subset: its count is the result's
  EXPECT_EQ(all.Count(), 4u);
  all.Clear(64);
  EXPECT_EQ(all.Count(), 3u);
  // A bitmap with records beyond this one's size, and one with records
  // this one lacks: the count is the intersection's.
  wide.SetAll();
  TRecordsBitmap b(200);
  b.Set(10);
  b.Set(150);
  b.IntersectWith(wide);
  EXPECT_EQ(b.Count(), 2u);
  TRecordsBitmap c(200);
  c.SetAll();
  c.IntersectWith(wide);
  EXPECT_EQ(c.Count(), 200u);
  few.Set(5);
  c.Clear(5);
  c.IntersectWith(few);
  EXPECT_EQ(c.Count(), 4u);
}

TEST(RecordsBitmap, IntersectWithSmallerBitmapClearsTheRest) {
  TRecordsBitmap b(100), small(10);
  b.SetAll();
  small.SetAll();
  b.IntersectWith(small);
  EXPECT_EQ(b.Size(), 100u);
  EXPECT_EQ(b.Count(), 10u);
  TRecordsBitmap copy;
  copy.CopyFrom(b);
  EXPECT_EQ(copy, b);
}

TEST(RecordsBitmapPool, ReusesSpareBitmapsClearedAndResized) {
  const std::size_t before = RecordsBitmapPool::SpareCount();
  {
    PooledBitmap p(50);
    p->SetAll();
  }
  EXPECT_EQ(RecordsBitmapPool::SpareCount(), std::min(before + 1, RecordsBitmapPool::kCapacity));
  PooledBitmap q(70);
  EXPECT_EQ(q->Size(), 70u);
  EXPECT_EQ(q->Count(), 0u);
  std::vector<std::unique_ptr<TRecordsBitmap>> many;
  for (int i = 0; i < 100; ++i) many.push_back(std::make_unique<TRecordsBitmap>(1));
  for (auto& b : many) RecordsBitmapPool::Give(std::move(b));
  EXPECT_EQ(RecordsBitmapPool::SpareCount(), RecordsBitmapPool::kCapacity);
}

}  // namespace
}  // namespace kura
