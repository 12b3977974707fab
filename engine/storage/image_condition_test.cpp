#include "engine/storage/image_condition.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

#include "engine/expr/evaluator.h"
#include "engine/sql/query_statement.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"

namespace kura {
namespace {

using sql::Value;

// Fields: 1 S small integer, 2 I integer, 3 W word, 4 L large integer,
// 5 T string, 6 F float.
class Layout final : public sql::SqlCatalog {
 public:
  Layout() {
    fields = {MakeField(1, "S", kFieldSmallInt), MakeField(2, "I", kFieldInteger),
              MakeField(3, "W", kFieldWord),     MakeField(4, "L", kFieldLargeInt),
              MakeField(5, "T", kFieldString, 10), MakeField(6, "F", kFieldFloat)};
    length = LayOutFields(fields.data(), fields.size());
  }

  std::shared_ptr<const sql::SqlTableSchema> FindTable(std::string_view, std::string_view,
                                                       bool) override {
    auto s = std::make_shared<sql::SqlTableSchema>();
    s->name = "t";
    for (const TFieldDescriptor& f : fields) s->columns.push_back({f.name, f.type, 0, f.declaredSize});
    return s;
  }

  std::vector<TFieldDescriptor> fields;
  std::uint32_t length = 0;
};

// The values the evaluator sees in an image.
class ImageRow final : public sql::RowAccessor {
 public:
  ImageRow(const Layout& layout, const std::uint8_t* image) : layout_(layout), image_(image) {}
  Value FieldValue(int, int fieldNo) const override {
    return ReadFieldValue(image_, layout_.fields[static_cast<std::size_t>(fieldNo - 1)]);
  }

 private:
  const Layout& layout_;
  const std::uint8_t* image_;
};

struct Parsed {
  Parsed(Layout& layout, const std::string& condition)
      : statement(sql::PrepareStatement("select * from t where " + condition, layout)) {}
  const sql::TExpToken& Where() const { return *statement->master().where; }
  std::unique_ptr<sql::ParsedStatement> statement;
};

// Random images: each number field null about one time in five; the large
// integer sometimes near its limits, so that sums and products overflow.
std::vector<std::vector<std::uint8_t>> RandomImages(const Layout& layout, int count,
                                                    std::mt19937& rng) {
  std::vector<std::vector<std::uint8_t>> images;
  for (int k = 0; k < count; ++k) {
    std::vector<std::uint8_t> image(layout.length, 0);
    for (int f = 0; f < 4; ++f) {
      const TFieldDescriptor& d = layout.fields[static_cast<std::size_t>(f)];
      if (rng() % 5 == 0) continue;
      image[d.offset] = 1;
      std::int64_t v = static_cast<std::int64_t>(rng() % 41) - 20;
      if (d.type == kFieldWord) v = static_cast<std::int64_t>(rng() % 30);
      if (d.type == kFieldLargeInt && rng() % 4 == 0) {
        v = rng() % 2 ? std::numeric_limits<std::int64_t>::max() - 3
                      : std::numeric_limits<std::int64_t>::min() + 3;
      }
      SetFieldInt(image.data(), d, v);
    }
    images.push_back(std::move(image));
  }
  return images;
}

std::string RandomNumber(std::mt19937& rng, int depth) {
  static const char* kLeaves[] = {"S", "I", "W", "L", "3", "-2", "0", "17"};
  if (depth == 0 || rng() % 3 == 0) return kLeaves[rng() % 8];
  static const char* kOps[] = {" + ", " - ", " * "};
  if (rng() % 6 == 0) return "-(" + RandomNumber(rng, depth - 1) + ")";
  return "(" + RandomNumber(rng, depth - 1) + kOps[rng() % 3] + RandomNumber(rng, depth - 1) + ")";
}

std::string RandomCondition(std::mt19937& rng, int depth) {
  const unsigned pick = rng() % 8;
  if (depth > 0 && pick < 2) {
    return "(" + RandomCondition(rng, depth - 1) + (pick == 0 ? " and " : " or ") +
           RandomCondition(rng, depth - 1) + ")";
  }
  if (depth > 0 && pick == 2) return "not (" + RandomCondition(rng, depth - 1) + ")";
  if (pick == 3) return RandomNumber(rng, 2) + (rng() % 2 ? " is null" : " is not null");
  static const char* kCompare[] = {" = ", " <> ", " < ", " <= ", " > ", " >= "};
  return RandomNumber(rng, 2) + kCompare[rng() % 6] + RandomNumber(rng, 2);
}

TEST(ImageCondition, AgreesWithTheEvaluatorOnRandomConditionsAndRecords) {
  Layout layout;
  std::mt19937 rng(14);
  const auto images = RandomImages(layout, 200, rng);
  int decided = 0, unknown = 0;
  for (int c = 0; c < 300; ++c) {
    const std::string text = RandomCondition(rng, 3);
    Parsed parsed(layout, text);
    const auto compiled = ImageCondition::Compile(parsed.Where(), layout.fields);
    ASSERT_TRUE(compiled) << text;
    for (const auto& image : images) {
      const ImageCondition::Outcome got = compiled->Test(image.data());
      if (got == ImageCondition::Outcome::kUnknown) {
        ++unknown;
        continue;
      }
      ++decided;
      const bool want = sql::EvaluateCondition(parsed.Where(), ImageRow(layout, image.data()));
      ASSERT_EQ(got == ImageCondition::Outcome::kTrue, want) << text;
    }
  }
  // Overflows are left to the evaluator, and only they.
  EXPECT_GT(unknown, 0);
  EXPECT_GT(decided, unknown * 10);
}

TEST(ImageCondition, OverflowIsLeftToTheEvaluator) {
  Layout layout;
  std::vector<std::uint8_t> image(layout.length, 0);
  image[layout.fields[3].offset] = 1;
  SetFieldInt(image.data(), layout.fields[3], std::numeric_limits<std::int64_t>::max());
  Parsed sum(layout, "L + 1 > 0");
  EXPECT_EQ(ImageCondition::Compile(sum.Where(), layout.fields)->Test(image.data()),
            ImageCondition::Outcome::kUnknown);
  // The right operand of AND decides first: a false one hides the overflow.
  Parsed guarded(layout, "L * 2 > 0 and L < 0");
  EXPECT_EQ(ImageCondition::Compile(guarded.Where(), layout.fields)->Test(image.data()),
            ImageCondition::Outcome::kFalse);
}

TEST(ImageCondition, OnlyWholeNumberConditionsCompile) {
  Layout layout;
  for (const char* text : {"T = 'a'", "F > 1", "I / 2 = 1", "I = 1.5", "T like 'a%'",
                           "abs(I) = 1", "I between 1 and 2", "I in (1, 2)", "I = 1 and T = 'a'",
                           "I = null"}) {
    Parsed parsed(layout, text);
    EXPECT_FALSE(ImageCondition::Compile(parsed.Where(), layout.fields)) << text;
  }
}

}  // namespace
}  // namespace kura
