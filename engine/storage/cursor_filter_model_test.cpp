// Differential test of filtered cursors: on many random tables (integers
// with nulls, strings, deleted slots, random indexes, with and without a
// locale) and random conditions, the records a filtered cursor shows, in
// record order and in every index order, are exactly those a full scan
// with the evaluator accepts; with index use on and off. Changes through
// the cursor must keep the filtered set current.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <sstream>

#include "engine/storage/field_values.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/table_filter_source.h"
#include "engine/storage/testing/cursor_fixture.h"

namespace kura {
namespace {

using sql::Value;
using testing::Backward;
using testing::Condition;
using testing::FigureIndexes;
using testing::FigureShape;
using testing::Forward;
using testing::IndexChoice;
using testing::ScratchDir;

using Records = std::vector<std::int32_t>;

const char* const kTexts[] = {"a", "ab", "abc", "b", "B", "ba", "Ab", "abcdef", "c", "AB"};

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  std::string Text() { return kTexts[Int(0, 9)]; }
  std::string Literal() {
    if (Chance(5)) return "'abcdefgh'";  // longer than the field
    return "'" + Text() + "'";
  }
  std::string Number() {
    if (Chance(8)) return std::to_string(Int(-2, 9)) + ".5";
    return std::to_string(Int(-2, 10));
  }

  std::string Atom() {
    static const char* const kOps[] = {"=", "<>", "<", "<=", ">", ">="};
    const std::string op = kOps[Int(0, 5)];
    const std::string f = Int(0, 3) == 0 ? "ID" : (Chance(50) ? "MNB" : "BFR");
    switch (Int(0, 14)) {
      case 0: return f + " IS NULL";
      case 1: return f + " IS NOT NULL";
      case 2: return f + " BETWEEN " + Number() + " AND " + Number();
      case 3: return f + " NOT BETWEEN " + Number() + " AND " + Number();
      case 4: return f + " IN (" + Number() + ", " + Number() + ", " + Number() + ")";
      case 5: return f + " NOT IN (" + Number() + ", " + Number() + ")";
      case 6: return Number() + " " + op + " " + f;
      case 7: return f + " + 1 " + op + " " + Number();  // no index serves it
      case 8: return "CMT " + op + " " + Literal();
      case 9: return "CMT LIKE '" + Text() + "%'";
      case 10: return "CMT NOT LIKE '" + Text() + "%'";
      case 11: return Chance(50) ? "UPPER(CMT) = UPPER(" + Literal() + ")"
                                 : "CMT LIKE '%" + Text() + "'";
      case 12: return Chance(50) ? "CMT IS NULL" : f + " = NULL";
      default: return f + " " + op + " " + Number();
    }
  }

  std::string Expr(int depth) {
    if (depth == 0 || Chance(35)) return Atom();
    switch (Int(0, 4)) {
      case 0: return "NOT (" + Expr(depth - 1) + ")";
      case 1:
      case 2: return "(" + Expr(depth - 1) + ") OR (" + Expr(depth - 1) + ")";
      default: return "(" + Expr(depth - 1) + ") AND (" + Expr(depth - 1) + ")";
    }
  }

  std::mt19937& Rng() { return rng_; }

 private:
  std::mt19937 rng_;
};

class FilterModelTest : public ::testing::Test {
 protected:
  // A random table: up to 60 rows, some deleted, random indexes.
  void MakeTable(Generator& g, const std::string& name) {
    IndexChoice choice;
    choice.primaryOnId = g.Chance(40);
    choice.byMnb = g.Chance(60);
    choice.byBfrDesc = g.Chance(50);
    choice.byCmt = g.Chance(50);
    choice.byCmtNoCase = g.Chance(40);
    DataFileDefinition def = FigureShape();
    if (g.Chance(25)) def.languageId = 1033;
    cursor_.Create(name, {.inMemory = true}, def, FigureIndexes(choice));
    const int rows = g.Int(0, 60);
    std::vector<int> ids(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) ids[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(ids.begin(), ids.end(), g.Rng());
    for (int i = 0; i < rows; ++i) {
      Add(g, ids[static_cast<std::size_t>(i)]);
      if (g.Chance(25)) DeleteRandom(g);
    }
  }
  void Add(Generator& g, int id) {
    std::vector<std::uint8_t> image = cursor_.NewRecord();
    cursor_.SetField(image.data(), 1, Value::Integer(id));
    cursor_.SetField(image.data(), 2, g.Chance(15) ? Value::Null() : Value::Integer(g.Int(-1, 9)));
    cursor_.SetField(image.data(), 3, g.Chance(20) ? Value::Null() : Value::Integer(g.Int(-2, 4)));
    cursor_.SetField(image.data(), 4, g.Chance(15) ? Value::Null() : Value::String(g.Text()));
    cursor_.AddRecord(image.data(), false);
  }
  void DeleteRandom(Generator& g) {
    const std::uint32_t count = cursor_.RecordCount();
    if (count == 0) return;
    cursor_.MoveTo(static_cast<std::uint32_t>(g.Int(1, static_cast<int>(count))));
    cursor_.DeleteRecord();
  }
  // Changes one random visible record (MNB, BFR or CMT), adds or deletes.
  void ChangeRandom(Generator& g) {
    const int what = g.Int(0, 3);
    if (what == 0) {
      Add(g, 1000 + g.Int(0, 100000));
      return;
    }
    const std::uint32_t count = cursor_.RecordCount();
    if (count == 0) return;
    cursor_.MoveTo(static_cast<std::uint32_t>(g.Int(1, static_cast<int>(count))));
    if (what == 1) {
      cursor_.DeleteRecord();
      return;
    }
    ASSERT_EQ(cursor_.ReadCurrent(nullptr, true), 0);
    std::vector<std::uint8_t> image(cursor_.Image(), cursor_.Image() + cursor_.RecordLength());
    cursor_.SetField(image.data(), 2, g.Chance(20) ? Value::Null() : Value::Integer(g.Int(-1, 9)));
    cursor_.SetField(image.data(), 4, g.Chance(20) ? Value::Null() : Value::String(g.Text()));
    cursor_.ModifyRecord(image.data());
  }

  // The active records the evaluator accepts, by a full scan.
  Records Expected(const sql::TExpToken& cond) {
    TDataTable& t = cursor_.Table();
    const sql::Collation& collation = cursor_.FilterSource().Collation();
    RecordRow row(t);
    Records out;
    for (std::int32_t n = 1; n <= t.Data().RecordCount(); ++n) {
      TRecord* r = t.ReadRecord(n);
      if (RecordStatus(r->Data()) != kRecordActive) continue;
      row.Set(r->Data());
      if (sql::EvaluateCondition(cond, row, collation)) out.push_back(n);
    }
    return out;
  }

  // The expected records in the order of index `slot`.
  Records InIndexOrder(Records records, int slot) {
    TIndexTrees& trees = cursor_.Table().Index().Trees();
    const KeyComparator& cmp = trees.Tree(slot).Comparator();
    auto key = [&](std::int32_t n) {
      const TRecord* r = cursor_.Table().ReadRecord(n);
      return trees.KeyOf(slot, r->Data(), RecordRowId(r->Data()));
    };
    std::sort(records.begin(), records.end(), [&](std::int32_t a, std::int32_t b) {
      return cmp(key(a).data(), key(b).data()) < 0;
    });
    return records;
  }

  void CheckEveryOrder(const sql::TExpToken& cond, const std::string& text) {
    const Records expected = Expected(cond);
    const TIndexFileHeader& h = cursor_.Table().Index().Header();
    std::vector<int> orders = {kRecordOrder};
    if (h.noPrimaryFields == 0) orders.push_back(0);
    for (int i = 1; i <= h.secondaryCount; ++i) orders.push_back(i);
    for (int order : orders) {
      cursor_.SetOrder(order);
      const Records want = order == kRecordOrder ? expected : InIndexOrder(expected, order);
      ASSERT_EQ(Forward(cursor_), want) << text << " order " << order;
      Records back(want.rbegin(), want.rend());
      ASSERT_EQ(Backward(cursor_), back) << text << " order " << order;
      ASSERT_EQ(cursor_.RecordCount(), want.size()) << text;
      if (!want.empty()) {
        const auto k = static_cast<std::uint32_t>(want.size() / 2 + 1);
        ASSERT_TRUE(cursor_.MoveTo(k));
        ASSERT_EQ(cursor_.CurrentRecordNumber(), want[k - 1]) << text;
        ASSERT_EQ(cursor_.CurrentOrdinal(), k) << text;
      }
    }
  }

  TDataSession session_;
  ScratchDir dir_;
  TDataDirectory directory_{session_, dir_.Path()};
  TDataCursor cursor_{session_, directory_};
};

int TableCount() {
  const char* env = std::getenv("KURA_FILTER_MODEL_TABLES");
  return env ? std::atoi(env) : 1500;
}

TEST_F(FilterModelTest, FilteredCursorsShowExactlyWhatAFullScanAccepts) {
  Generator g(20261209);
  const int tables = TableCount();
  for (int t = 0; t < tables; ++t) {
    const std::string name = "t" + std::to_string(t);
    MakeTable(g, name);
    for (int c = 0; c < 2; ++c) {
      const std::string text = g.Expr(3);
      Condition cond(cursor_, text);
      const bool breadth = g.Chance(30);
      for (bool useIndexes : {true, false}) {
        TFilter& f = cursor_.AddFilter(
            cond.Root(), {.breadthCheck = breadth, .allowComplement = g.Chance(70),
                          .useIndexes = useIndexes});
        CheckEveryOrder(cond.Root(), text + (useIndexes ? " [indexes]" : " [scan]"));
        if (HasFatalFailure()) return;
        // Changes through the cursor keep the filter current.
        cursor_.SetOrder(kRecordOrder);
        for (int i = 0; i < 3; ++i) ChangeRandom(g);
        ASSERT_EQ(Forward(cursor_), Expected(cond.Root())) << text << " after changes";
        cursor_.RemoveFilter(f);
      }
    }
    cursor_.Close();
    directory_.DeleteTable(name, true);
  }
}

}  // namespace
}  // namespace kura
