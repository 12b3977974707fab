#include "engine/storage/filter.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "engine/sql/query_statement.h"

namespace kura {
namespace {

using sql::Value;

// A table held in memory: record n is rows[n - 1] (nullopt = deleted slot).
// Fields: 1 MNB integer, 2 BFR integer, 3 CMT string. Counts the records
// read and the index keys walked, so tests can see how a filter worked.
class MemoryTable final : public FilterTable, public sql::SqlCatalog {
 public:
  using Row = std::vector<Value>;

  std::vector<std::optional<Row>> rows;
  std::vector<FilterIndex> indexes;
  int recordsRead = 0;
  int keysWalked = 0;

  std::uint32_t SlotCount() override { return static_cast<std::uint32_t>(rows.size()); }
  std::uint32_t ActiveRecordCount() override {
    std::uint32_t n = 0;
    for (auto& r : rows) n += r.has_value();
    return n;
  }
  void MarkActiveRecords(TRecordsBitmap& b) override {
    for (std::uint32_t i = 0; i < rows.size(); ++i)
      if (rows[i]) b.Set(i + 1);
  }
  std::uint32_t RecordLength() override { return 64; }
  bool HasLocale() override { return false; }
  bool IsStringField(int field) override { return field == 3; }
  std::vector<FilterIndex> Indexes() override { return indexes; }

  std::uint64_t CountKeys(const FilterIndex& index, const KeyRange& range) override {
    std::uint64_t n = 0;
    for (auto& r : rows) n += r && InRange((*r)[index.firstField - 1], range, index);
    return n;
  }
  void CollectKeys(const FilterIndex& index, const KeyRange& range, TRecordsBitmap& b) override {
    for (std::uint32_t i = 0; i < rows.size(); ++i) {
      if (rows[i] && InRange((*rows[i])[index.firstField - 1], range, index)) {
        ++keysWalked;
        b.Set(i + 1);
      }
    }
  }
  void CollectOutside(const FilterIndex& index, const KeyRange& range, TRecordsBitmap& b) override {
    for (std::uint32_t i = 0; i < rows.size(); ++i) {
      if (rows[i] && !InRange((*rows[i])[index.firstField - 1], range, index)) {
        ++keysWalked;
        b.Set(i + 1);
      }
    }
  }
  const sql::RowAccessor& ReadRecord(std::uint32_t n) override {
    ++recordsRead;
    accessor_.row = &*rows.at(n - 1);
    return accessor_;
  }
  const sql::Collation& Collation() override { return sql::ByteOrderCollation(); }

  std::shared_ptr<const sql::SqlTableSchema> FindTable(std::string_view, std::string_view,
                                                       bool) override {
    auto s = std::make_shared<sql::SqlTableSchema>();
    s->name = "figure";
    s->columns = {{"MNB", sql::kTypeInteger}, {"BFR", sql::kTypeInteger},
                  {"CMT", sql::kTypeString, 0, 10}};
    return s;
  }

  void Add(std::optional<int> mnb, std::optional<int> bfr, std::string cmt) {
    rows.push_back(Row{mnb ? Value::Integer(*mnb) : Value::NullOf(sql::kTypeInteger),
                       bfr ? Value::Integer(*bfr) : Value::NullOf(sql::kTypeInteger),
                       Value::String(cmt)});
    if (rows.back()->at(2).null) rows.back()->at(2) = Value::NullOf(sql::kTypeString);
  }

 private:
  // Key order: nulls first, then values; an index holds present values and
  // nulls alike, and every range but kIsNull covers present values only.
  bool InRange(const Value& v, const KeyRange& r, const FilterIndex&) const {
    const auto& c = sql::ByteOrderCollation();
    if (r.kind == KeyRangeKind::kIsNull) return v.null;
    if (v.null) return false;
    const int lo = r.low.null ? 0 : sql::OrderValues(v, r.low, c);
    switch (r.kind) {
      case KeyRangeKind::kEqual: return lo == 0;
      case KeyRangeKind::kGreater: return lo > 0;
      case KeyRangeKind::kGreaterEqual: return lo >= 0;
      case KeyRangeKind::kLess: return lo < 0;
      case KeyRangeKind::kLessEqual: return lo <= 0;
      case KeyRangeKind::kBetween: return lo >= 0 && sql::OrderValues(v, r.high, c) <= 0;
      case KeyRangeKind::kPrefix: return v.text.compare(0, r.low.text.size(), r.low.text) == 0;
      case KeyRangeKind::kNotNull: return true;
      case KeyRangeKind::kIsNull: return false;
    }
    return false;
  }

  struct Accessor final : sql::RowAccessor {
    const Row* row = nullptr;
    Value FieldValue(int, int field) const override { return row->at(field - 1); }
  } accessor_;
};

// The WHERE condition of "select * from figure where <text>", kept alive
// with its statement.
struct Condition {
  Condition(MemoryTable& t, const std::string& text)
      : parsed(sql::PrepareStatement("select * from figure where " + text, t)) {}
  const sql::TExpToken& root() const { return *parsed->master().where; }
  std::unique_ptr<sql::ParsedStatement> parsed;
};

TRecordsBitmap Active(MemoryTable& t) {
  TRecordsBitmap b(t.SlotCount());
  t.MarkActiveRecords(b);
  return b;
}

std::vector<std::uint32_t> Records(const TRecordsBitmap& b) {
  std::vector<std::uint32_t> out;
  for (auto n = b.NextSet(1); n; n = b.NextSet(n + 1)) out.push_back(n);
  return out;
}

MemoryTable ProblemRows() {
  MemoryTable t;
  // Records 1..12: three problems, some rows with BFR, one null MNB.
  const int mnb[] = {3, 3, 3, 5, 5, 5, 5, 7, 7, 5, 9, 0};
  const int bfr[] = {0, 1, 0, 0, 1, 0, 2, 1, 0, 3, 0, 0};
  for (int i = 0; i < 12; ++i) t.Add(i == 11 ? std::nullopt : std::optional(mnb[i]), bfr[i], i % 2 ? "ab" : "");
  t.indexes = {{1, 1, false, 9}};  // secondary index led by MNB
  return t;
}

TEST(Filter, EqualityThroughAnIndexReadsOnlyItsKeys) {
  MemoryTable t = ProblemRows();
  Condition c(t, "MNB = 5");
  TFilter f(t, c.root());
  EXPECT_EQ(f.AnnotationOf(c.root())->level, 2);
  EXPECT_EQ(f.AnnotationOf(c.root())->estimate, 5u);
  f.Refresh(Active(t));
  EXPECT_EQ(Records(f.Bitmap()), (std::vector<std::uint32_t>{4, 5, 6, 7, 10}));
  EXPECT_EQ(t.recordsRead, 0);
  EXPECT_EQ(t.keysWalked, 5);
}

TEST(Filter, WithoutAnIndexEveryRecordIsRead) {
  MemoryTable t = ProblemRows();
  t.indexes.clear();
  Condition c(t, "MNB = 5");
  TFilter f(t, c.root());
  EXPECT_EQ(f.AnnotationOf(c.root())->level, 0);
  f.Refresh(Active(t));
  EXPECT_EQ(f.Count(), 5u);
  EXPECT_EQ(t.recordsRead, 12);
}

TEST(Filter, AndTestsTheUnindexedOperandOnlyOnWhatTheIndexLeft) {
  MemoryTable t = ProblemRows();
  Condition c(t, "(BFR > 0) and (MNB = 5)");  // the resolvable operand goes first
  TFilter f(t, c.root());
  EXPECT_EQ(f.AnnotationOf(c.root())->level, 1);
  f.Refresh(Active(t));
  EXPECT_EQ(Records(f.Bitmap()), (std::vector<std::uint32_t>{5, 7, 10}));
  EXPECT_EQ(t.recordsRead, 5);
}

TEST(Filter, OrWithAnUnresolvableOperandIsTestedAsAWhole) {
  MemoryTable t = ProblemRows();
  Condition c(t, "MNB = 5 or BFR = 1");
  TFilter f(t, c.root());
  EXPECT_EQ(f.AnnotationOf(c.root())->level, 0);
  f.Refresh(Active(t));
  EXPECT_EQ(Records(f.Bitmap()), (std::vector<std::uint32_t>{2, 4, 5, 6, 7, 8, 10}));
  EXPECT_EQ(t.recordsRead, 12);
  EXPECT_EQ(t.keysWalked, 0);
}

// A value on the left is the same comparison turned round: "5 < MNB" is
// "MNB > 5". Each is answered from the index alone and must name the same
// records as the record-by-record test.
TEST(Filter, AValueOnTheLeftComparesTheOtherWayRound) {
  const struct {
    const char* text;
    std::vector<std::uint32_t> records;
  } cases[] = {
      {"5 < MNB", {8, 9, 11}},
      {"5 <= MNB", {4, 5, 6, 7, 8, 9, 10, 11}},
      {"5 > MNB", {1, 2, 3}},
      {"5 >= MNB", {1, 2, 3, 4, 5, 6, 7, 10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    MemoryTable t = ProblemRows();
    Condition cond(t, c.text);
    TFilter indexed(t, cond.root());
    TFilter plain(t, cond.root(), {.useIndexes = false});
    EXPECT_EQ(indexed.AnnotationOf(cond.root())->level, 2);
    indexed.Refresh(Active(t));
    plain.Refresh(Active(t));
    EXPECT_EQ(Records(indexed.Bitmap()), c.records);
    EXPECT_EQ(Records(plain.Bitmap()), c.records);
  }
}

TEST(Filter, ComparisonsNeverMatchNullsAndIsNullMatchesOnlyThem) {
  MemoryTable t = ProblemRows();
  for (const char* text : {"MNB > 0", "MNB >= 0", "MNB < 100", "MNB between 0 and 9",
                           "MNB in (3, 5, 7, 9)", "MNB = 5"}) {
    Condition c(t, text);
    TFilter f(t, c.root());
    f.Refresh(Active(t));
    EXPECT_FALSE(f.Contains(12)) << text;
  }
  Condition isNull(t, "MNB is null");
  TFilter f(t, isNull.root());
  f.Refresh(Active(t));
  EXPECT_EQ(Records(f.Bitmap()), (std::vector<std::uint32_t>{12}));
}

TEST(Filter, DeletedSlotsAreNeverShown) {
  MemoryTable t = ProblemRows();
  t.rows[4].reset();  // a MNB 5 row
  t.rows[0].reset();  // a MNB 3 row
  for (const char* text : {"MNB = 5", "MNB <> 5", "not (MNB = 3)", "BFR = 0", "MNB is not null"}) {
    Condition c(t, text);
    TFilter f(t, c.root());
    f.Refresh(Active(t));
    EXPECT_FALSE(f.Contains(5)) << text;
    EXPECT_FALSE(f.Contains(1)) << text;
  }
}

TEST(Filter, KeepsTheSetCurrentOnAddChangeAndDelete) {
  MemoryTable t = ProblemRows();
  Condition c(t, "MNB = 5");
  TFilter f(t, c.root());
  f.Refresh(Active(t));
  t.Add(5, 0, "new");  // record 13
  f.TestRecord(13);
  EXPECT_TRUE(f.Contains(13));
  (*t.rows[3])[0] = Value::Integer(6);  // record 4 leaves
  f.TestRecord(4);
  EXPECT_FALSE(f.Contains(4));
  f.DropRecord(5);
  EXPECT_EQ(Records(f.Bitmap()), (std::vector<std::uint32_t>{6, 7, 10, 13}));
}

TEST(Filter, BreadthCheckLeavesBroadComparisonsToTheRecordTest) {
  MemoryTable t = ProblemRows();
  Condition broad(t, "MNB > 0");
  TFilter f(t, broad.root(), {.breadthCheck = true});
  EXPECT_EQ(f.AnnotationOf(broad.root())->level, 0);
  EXPECT_TRUE(f.AnnotationOf(broad.root())->tooBroad);
  Condition narrowed(t, "MNB > 0 and MNB = 5");
  TFilter g(t, narrowed.root(), {.breadthCheck = true});
  EXPECT_EQ(g.AnnotationOf(narrowed.root())->level, 2);
}

TEST(Filter, CallbackFiltersTestEveryRecordOfTheBase) {
  MemoryTable t = ProblemRows();
  TFilter f(t, [](std::uint32_t n, const sql::RowAccessor&) { return n % 3 == 0; });
  f.Refresh(Active(t));
  EXPECT_EQ(Records(f.Bitmap()), (std::vector<std::uint32_t>{3, 6, 9, 12}));
}

// Random tables and random conditions: the set computed through indexes
// must equal the set of a plain record-by-record evaluation.
std::string RandomCondition(std::mt19937& rng, int depth) {
  auto num = [&] { return std::to_string(static_cast<int>(rng() % 7) - 1); };
  auto field = [&] { return rng() % 2 ? std::string("MNB") : std::string("BFR"); };
  if (depth > 0 && rng() % 3 == 0) {
    switch (rng() % 3) {
      case 0: return "(" + RandomCondition(rng, depth - 1) + ") and (" + RandomCondition(rng, depth - 1) + ")";
      case 1: return "(" + RandomCondition(rng, depth - 1) + ") or (" + RandomCondition(rng, depth - 1) + ")";
      default: return "not (" + RandomCondition(rng, depth - 1) + ")";
    }
  }
  static const char* ops[] = {"=", "<>", "<", "<=", ">", ">="};
  switch (rng() % 9) {
    case 0: return field() + " is null";
    case 1: return field() + " is not null";
    case 2: return field() + " between " + num() + " and " + num();
    case 3: return field() + " not in (" + num() + ", " + num() + ")";
    case 4: return field() + " in (" + num() + ", " + num() + ", " + num() + ")";
    case 5: return std::string("CMT like '") + (rng() % 2 ? "a" : "ab") + "%'";
    case 6: return std::string("CMT ") + ops[rng() % 6] + " '" + (rng() % 2 ? "ab" : "b") + "'";
    case 7: return num() + " " + ops[rng() % 6] + " " + field();
    default: return field() + " " + ops[rng() % 6] + " " + num();
  }
}

TEST(Filter, IndexResultsEqualRecordByRecordResultsOnRandomTables) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 300; ++round) {
    MemoryTable t;
    const int n = static_cast<int>(rng() % 40);
    const char* texts[] = {"", "a", "ab", "abc", "b", "ba"};
    for (int i = 0; i < n; ++i) {
      auto maybe = [&]() -> std::optional<int> {
        if (rng() % 5 == 0) return std::nullopt;
        return static_cast<int>(rng() % 7) - 1;
      };
      t.Add(maybe(), maybe(), texts[rng() % 6]);
      if (rng() % 6 == 0) t.rows.back().reset();
    }
    t.indexes = {{0, 2, false, 5}, {1, 1, false, 5}, {2, 3, false, 12}};
    if (rng() % 2) t.indexes.pop_back();
    for (int k = 0; k < 10; ++k) {
      const std::string text = RandomCondition(rng, 3);
      SCOPED_TRACE(text);
      Condition c(t, text);
      TFilter indexed(t, c.root(), {.allowComplement = rng() % 2 == 0});
      TFilter plain(t, c.root(), {.useIndexes = false});
      indexed.Refresh(Active(t));
      plain.Refresh(Active(t));
      ASSERT_EQ(Records(indexed.Bitmap()), Records(plain.Bitmap()));
    }
  }
}

}  // namespace
}  // namespace kura
