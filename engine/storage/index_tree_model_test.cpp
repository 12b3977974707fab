// Random operations on index trees checked against a std::multimap model:
// contents, order, ranks, counts and the structural checker, for every
// compression mode, unique and non-unique, ascending, descending and
// per-field descending indexes over integer, string and float keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"
#include "engine/storage/index_checker.h"
#include "engine/storage/index_key.h"
#include "engine/storage/index_page_cache.h"
#include "engine/storage/index_tree.h"

namespace kura {
namespace {

enum class Kind { kInt, kString, kFloat };

struct Config {
  const char* name;
  Kind kind;
  LeafCompression compression;
  bool unique;
  bool descending;       // whole index
  bool fieldDescending;  // the key field only
  bool caseInsensitive = false;
  std::uint16_t bodyLimit = kPageBodyBytes;
  std::uint8_t stringSize = 20;  // declared size of string keys
  std::int16_t language = 0;
};

// A model value: what the record's key field holds.
struct Value {
  bool null = true;
  std::int64_t i = 0;
  double f = 0;
  std::string s;
  std::string folded;  // s as the index compares it (upper-cased when case-insensitive)
};

struct Item {
  Value v;
  std::int32_t row = 0;
  std::vector<std::uint8_t> key{};  // built once, when the item is inserted
};

class Order {
 public:
  explicit Order(const Config& c) : c_(c) {
    if (c.language != 0) collation_ = TableCollation::For(c.language, 0);
  }

  std::string Folded(const std::string& s) const {
    if (!c_.caseInsensitive) return s;
    return (collation_ ? collation_ : TableCollation::For(0, 0))->ToUpper(s);
  }

  // Order of the values alone, ascending, nulls first.
  int CompareValues(const Value& a, const Value& b) const {
    if (a.null || b.null) return int(b.null) - int(a.null);
    switch (c_.kind) {
      case Kind::kInt: return (a.i > b.i) - (a.i < b.i);
      case Kind::kFloat: return (a.f > b.f) - (a.f < b.f);
      case Kind::kString: {
        const std::string& x = a.folded;
        const std::string& y = b.folded;
        if (collation_) {
          const int r = collation_->Compare(x, y);
          return (r > 0) - (r < 0);
        }
        return (x > y) - (x < y);
      }
    }
    return 0;
  }

  // Index order of (value, row id).
  int Compare(const Item& a, const Item& b) const {
    int c = CompareValues(a.v, b.v);
    if (c_.descending || c_.fieldDescending) c = -c;
    if (c != 0 || c_.unique) return c;
    c = (a.row > b.row) - (a.row < b.row);
    return c_.descending ? -c : c;
  }

  bool operator()(const Item& a, const Item& b) const { return Compare(a, b) < 0; }

 private:
  const Config& c_;
  std::shared_ptr<const TableCollation> collation_;
};

// One index over a one-field table, with the model beside it.
class Rig {
 public:
  explicit Rig(const Config& c) : c_(c), order_(c), model_(order_) {
    KeyDef def;
    KeySegment seg;
    seg.slotOffset = 9;
    switch (c.kind) {
      case Kind::kInt: seg.type = 6; seg.storedSize = 4; break;
      case Kind::kFloat: seg.type = 7; seg.storedSize = 8; break;
      case Kind::kString: seg.type = 1; seg.storedSize = std::uint16_t(c.stringSize + 1); break;
    }
    seg.descending = c.fieldDescending || c.descending;
    def.segments.push_back(seg);
    def.descending = c.descending;
    def.caseInsensitive = c.caseInsensitive;
    def.unique = c.unique;
    if (c.language != 0) def.collation = TableCollation::For(c.language, 0);
    cmp_ = std::make_unique<KeyComparator>(def);
    shape_.keyLength = std::uint16_t(def.KeyLength());
    shape_.unique = c.unique;
    shape_.compression = c.compression;
    shape_.bodyLimit = c.bodyLimit;
    cache_ = std::make_unique<TPageCache>(shape_, file_, "t");
    tree_ = std::make_unique<TIndexTree>(shape_, *cmp_, *cache_, roots_, "t", "X");
    record_.assign(9 + 1 + seg.storedSize, 0);
  }

  std::vector<std::uint8_t> Key(const Item& it) {
    // Bytes after a string's terminator carry no meaning; make them noise.
    std::fill(record_.begin(), record_.end(), std::uint8_t(0xA5));
    record_[9] = it.v.null ? 0 : 1;
    std::uint8_t* v = &record_[10];
    if (it.v.null) {
      std::fill(record_.begin() + 10, record_.end(), 0);
    } else if (c_.kind == Kind::kInt) {
      PutInt32LE(v, std::int32_t(it.v.i));
    } else if (c_.kind == Kind::kFloat) {
      PutDoubleLE(v, it.v.f);
    } else {
      std::memcpy(v, it.v.s.data(), it.v.s.size());
      v[it.v.s.size()] = 0;
    }
    std::vector<std::uint8_t> key(cmp_->KeyLength());
    BuildKey(cmp_->Def(), record_.data(), it.row, key.data());
    return key;
  }

  Value RandomValue(std::mt19937& rng) {
    Value v;
    if (rng() % 20 == 0) return v;  // null
    v.null = false;
    const int spread = c_.unique ? 20000 : 600;
    switch (c_.kind) {
      case Kind::kInt:
        v.i = rng() % 50 == 0 ? (rng() % 2 ? INT32_MIN : INT32_MAX)
                              : std::int64_t(rng() % spread) - spread / 2;
        break;
      case Kind::kFloat:
        v.f = rng() % 50 == 0 ? (rng() % 2 ? -INFINITY : INFINITY)
                              : (double(rng() % spread) - spread / 2) / 8.0;
        break;
      case Kind::kString: {
        static const char kLetters[] = "aAbBcCzZ";
        const std::size_t len = 1 + rng() % std::min<std::size_t>(c_.stringSize, 12);
        for (std::size_t i = 0; i < len; ++i) v.s += kLetters[rng() % 8];
        if (rng() % 4 == 0) v.s += std::string(rng() % 4, 'q');
        v.folded = order_.Folded(v.s);
        break;
      }
    }
    return v;
  }

  // The model's entries in index order, as (key, record) pairs.
  std::vector<IndexEntry> Expected() {
    std::vector<IndexEntry> out;
    for (const Item& it : model_) out.push_back({it.key, it.row});
    return out;
  }

  std::uint64_t ModelRank(const Item& probe, bool inclusive) {
    std::uint64_t n = 0;
    for (const Item& it : live_) {
      const int c = order_.Compare(it, probe);
      if (c < 0 || (c == 0 && inclusive)) ++n;
    }
    return n;
  }

  bool ModelHasValue(const Value& v) { return model_.count(Item{v, 0}) > 0; }

  void Insert(std::mt19937& rng) {
    Item it{RandomValue(rng), nextRow_};
    it.key = Key(it);
    const auto& key = it.key;
    if (c_.unique && ModelHasValue(it.v)) {
      const std::uint64_t before = tree_->Count();
      const std::int32_t next = file_.NextPageNumber();
      try {
        tree_->Insert(key.data(), it.row);
        ADD_FAILURE() << "duplicate accepted";
      } catch (const EKuraEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), KURA_KEYVIOL);
      }
      EXPECT_EQ(tree_->Count(), before);
      EXPECT_EQ(file_.NextPageNumber(), next);
      return;
    }
    ++nextRow_;
    tree_->Insert(key.data(), it.row);
    live_.push_back(it);
    model_.insert(it);
  }

  void Delete(std::mt19937& rng) {
    const std::size_t i = rng() % live_.size();
    tree_->Delete(live_[i].key.data());
    auto at = model_.find(live_[i]);
    ASSERT_NE(at, model_.end());
    model_.erase(at);
    live_[i] = live_.back();
    live_.pop_back();
  }

  void CheckStructure(std::uint64_t op) {
    IndexChecker checker(file_.NextPageNumber());
    checker.CheckTree(*cache_, shape_, *cmp_, roots_, "t");
    checker.CheckEntries(*tree_, Expected(), "t");
    ASSERT_TRUE(checker.Ok()) << "after op " << op << ": " << checker.Problems()[0];
    cache_->EndUpdate();
  }

  void CheckPositions(std::mt19937& rng) {
    const auto expected = Expected();
    const std::uint64_t n = expected.size();
    ASSERT_EQ(tree_->Count(), n);
    IndexEntry e;
    for (std::uint64_t pos : {std::uint64_t(0), n - 1, n, std::uint64_t(rng() % (n + 1))}) {
      if (pos >= n) {
        EXPECT_FALSE(tree_->EntryAt(pos, &e));
        continue;
      }
      ASSERT_TRUE(tree_->EntryAt(pos, &e));
      EXPECT_EQ(e.key, expected[pos].key);
      EXPECT_EQ(e.record, expected[pos].record);
      EXPECT_EQ(tree_->Rank(expected[pos].key.data()), pos);
      EXPECT_EQ(tree_->Rank(expected[pos].key.data(), true), pos + 1);
    }
    // Probes that may or may not be present, and a range between two.
    Item lo{RandomValue(rng), std::int32_t(rng() % (nextRow_ + 1))};
    Item hi{RandomValue(rng), std::int32_t(rng() % (nextRow_ + 1))};
    if (order_.Compare(lo, hi) > 0) std::swap(lo, hi);
    const auto loKey = Key(lo), hiKey = Key(hi);
    const std::uint64_t loRank = ModelRank(lo, false);
    EXPECT_EQ(tree_->Rank(loKey.data()), loRank);
    EXPECT_EQ(tree_->LowerBound(loKey.data(), &e), loRank < n);
    if (loRank < n) {
      EXPECT_EQ(e.key, expected[loRank].key);
    }
    EXPECT_EQ(tree_->Rank(loKey.data(), true), ModelRank(lo, true));
    EXPECT_EQ(tree_->CountRange(loKey.data(), true, hiKey.data(), true),
              ModelRank(hi, true) - ModelRank(lo, false));
    EXPECT_EQ(tree_->CountRange(loKey.data(), false, hiKey.data(), false),
              std::max<std::int64_t>(0, std::int64_t(ModelRank(hi, false)) -
                                            std::int64_t(ModelRank(lo, true))));
  }

  std::size_t Size() const { return live_.size(); }
  IndexRoots& Roots() { return roots_; }
  MemoryPageFile& File() { return file_; }
  TPageCache& Cache() { return *cache_; }

 private:
  const Config& c_;
  Order order_;
  std::multiset<Item, Order> model_;  // the model, in index order
  PageShape shape_;
  std::unique_ptr<KeyComparator> cmp_;
  MemoryPageFile file_;
  std::unique_ptr<TPageCache> cache_;
  IndexRoots roots_;
  std::unique_ptr<TIndexTree> tree_;
  std::vector<std::uint8_t> record_;
  std::vector<Item> live_;  // the model's items, for random picks
  std::int32_t nextRow_ = 1;
};

class IndexModelTest : public ::testing::TestWithParam<Config> {};

// Grows the index to a random peak, shrinks it to empty, and again, so that
// pages split, merge, redistribute, empty and come back from the free chain.
TEST_P(IndexModelTest, AgreesWithMultimapModel) {
  const Config& c = GetParam();
  Rig rig(c);
  std::mt19937 rng(12345);
  // The sanitizer build runs a tenth of the operations: it is many times
  // slower, and the normal build runs them all.
#ifdef SORABEKU_SANITIZE_BUILD
  constexpr std::uint64_t kOps = 40000;
#else
  constexpr std::uint64_t kOps = 200000;
#endif
  bool growing = true;
  std::size_t peak = 1500 + rng() % 2000;
  std::int32_t pagesAtEmpty = 0;
  bool watchReuse = false;
  int emptied = 0;
  for (std::uint64_t op = 1; op <= kOps; ++op) {
    const bool insert = rig.Size() == 0 || (rng() % 100) < (growing ? 70u : 30u);
    if (insert) rig.Insert(rng); else rig.Delete(rng);
    rig.Cache().EndUpdate();
    if (growing && rig.Size() >= peak) growing = false;
    if (!growing && rig.Size() == 0) {
      ASSERT_EQ(rig.Roots().root, 0) << "an empty index keeps its root";
      ASSERT_NE(rig.Roots().firstFree, 0);
      pagesAtEmpty = rig.File().NextPageNumber();
      watchReuse = true;
      ++emptied;
      growing = true;
      peak = 1500 + rng() % 2000;
    }
    // Freed pages come back before the file grows.
    if (watchReuse && rig.File().NextPageNumber() > pagesAtEmpty) {
      ASSERT_EQ(rig.Roots().firstFree, 0) << "file grew while free pages were left";
      watchReuse = false;
    }
    if (op % 400 == 0) {
      ASSERT_NO_FATAL_FAILURE(rig.CheckStructure(op));
      ASSERT_NO_FATAL_FAILURE(rig.CheckPositions(rng));
    }
    if (HasFailure()) FAIL() << "stopped after op " << op;
  }
  EXPECT_GE(emptied, kOps >= 200000 ? 3 : 1);
}

constexpr std::uint16_t kSmall = 220;  // test-only room: many pages per few keys
using LC = LeafCompression;

INSTANTIATE_TEST_SUITE_P(
    Configs, IndexModelTest,
    ::testing::Values(
        Config{"IntUniquePlain", Kind::kInt, LC::kNone, true, false, false, false, kSmall},
        Config{"IntDupPlain", Kind::kInt, LC::kNone, false, false, false, false, kSmall},
        Config{"IntDupLeadingDesc", Kind::kInt, LC::kLeading, false, true, false, false, kSmall},
        Config{"IntUniqueTrailingFieldDesc", Kind::kInt, LC::kTrailing, true, false, true, false, kSmall},
        Config{"IntDupBoth", Kind::kInt, LC::kBoth, false, false, false, false, kSmall},
        Config{"IntDupTrailingRealPage", Kind::kInt, LC::kTrailing, false, false, false},
        Config{"StringDupPlainLong", Kind::kString, LC::kNone, false, false, false, false, kPageBodyBytes, 250},
        Config{"StringUniqueNoCaseBothLong", Kind::kString, LC::kBoth, true, false, false, true, kPageBodyBytes, 250},
        Config{"StringDupLeadingFieldDesc", Kind::kString, LC::kLeading, false, false, true, false, 600, 60},
        Config{"StringDupNoCaseTrailingDescEnglish", Kind::kString, LC::kTrailing, false, true, false, true, 600, 60, 1033},
        Config{"StringUniqueBothFieldDescEnglish", Kind::kString, LC::kBoth, true, false, true, false, 900, 40, 1033},
        Config{"FloatUniquePlainDesc", Kind::kFloat, LC::kNone, true, true, false, false, kSmall},
        Config{"FloatDupBothFieldDesc", Kind::kFloat, LC::kBoth, false, false, true, false, kSmall},
        Config{"FloatDupLeading", Kind::kFloat, LC::kLeading, false, false, false, false, kSmall}),
    [](const ::testing::TestParamInfo<Config>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kura
