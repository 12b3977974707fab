#include "engine/storage/record_checks.h"

#include <gtest/gtest.h>

#include "engine/storage/field_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;

TEST(RecordChecks, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1899, 12, 30), 693594);
  EXPECT_EQ(DayNumber(2000, 3, 1) - DayNumber(2000, 2, 28), 2);  // a leap year
  EXPECT_EQ(DayNumber(1900, 3, 1) - DayNumber(1900, 2, 28), 1);  // not one
}

TEST(RecordChecks, RequiredMinimumAndMaximumAreEnforcedWithTheirCodes) {
  std::vector<TFieldDescriptor> f = {MakeField(1, "N", kFieldInteger),
                                     MakeField(2, "S", kFieldString, 10),
                                     MakeField(3, "D", kFieldDate)};
  f[0].required = 1;
  f[0].minimum = "-5";
  f[0].maximum = "10";
  f[1].minimum = "b";
  f[2].maximum = "2000-01-01";
  LayOutFields(f.data(), f.size());
  std::vector<std::uint8_t> rec(9 + 5 + 12 + 5, 0);
  auto check = [&] { return CodeOf([&] { CheckRecordValues(rec.data(), f, nullptr, "t"); }); };
  EXPECT_EQ(check(), KURA_REQDERR);
  SetFieldInt(rec.data(), f[0], -6);
  EXPECT_EQ(check(), KURA_MINVALERR);
  SetFieldInt(rec.data(), f[0], 11);
  EXPECT_EQ(check(), KURA_MAXVALERR);
  SetFieldInt(rec.data(), f[0], 10);
  EXPECT_EQ(check(), 0);
  SetFieldString(rec.data(), f[1], "a", nullptr);
  EXPECT_EQ(check(), KURA_MINVALERR);
  SetFieldString(rec.data(), f[1], "b", nullptr);
  SetFieldInt(rec.data(), f[2], DayNumber(2000, 1, 2));
  EXPECT_EQ(check(), KURA_MAXVALERR);
  SetFieldInt(rec.data(), f[2], DayNumber(2000, 1, 1));
  EXPECT_EQ(check(), 0);
}

TEST(RecordChecks, DefaultsFillFieldsIncludingTheCurrentDateAndTime) {
  std::vector<TFieldDescriptor> f = {MakeField(1, "N", kFieldSmallInt),
                                     MakeField(2, "S", kFieldString, 5),
                                     MakeField(3, "D", kFieldDate),
                                     MakeField(4, "T", kFieldTime),
                                     MakeField(5, "X", kFieldInteger)};
  f[0].defaultValue = "-3";
  f[1].defaultValue = "abc";
  f[2].defaultValue = "current_date";
  f[3].defaultValue = "CURRENT_TIME";
  LayOutFields(f.data(), f.size());
  std::vector<std::uint8_t> rec(9 + 3 + 7 + 5 + 5 + 5, 0);
  ApplyDefaults(rec.data(), f, nullptr, 36526.75);  // 2000-01-01 18:00
  EXPECT_EQ(GetFieldInt(rec.data(), f[0]), -3);
  EXPECT_EQ(GetFieldString(rec.data(), f[1]), "abc");
  EXPECT_EQ(GetFieldInt(rec.data(), f[2]), DayNumber(2000, 1, 1));
  EXPECT_EQ(GetFieldInt(rec.data(), f[3]), 18 * 3600 * 1000);
  EXPECT_FALSE(GetFieldInt(rec.data(), f[4]).has_value());
}

}  // namespace
}  // namespace kura
