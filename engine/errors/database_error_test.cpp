#include "engine/errors/database_error.h"

#include <gtest/gtest.h>

namespace kura {
namespace {

TEST(DatabaseError, FillsTheNameIntoItsText) {
  try {
    DatabaseError(kNoParameterValue, "MNB");
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "No value for parameter 'MNB'");
    return;
  }
  FAIL();
}

TEST(DatabaseError, TextsWithoutPlaceholderStayAsTheyAre) {
  EXPECT_EQ(FormatDatabaseError(kNoSQLStatement), "No SQL statement available");
  EXPECT_EQ(FormatDatabaseError(kInvalidDatabaseName, "x/y"),
            "Database name x/y is not valid.");
  EXPECT_EQ(FormatDatabaseError(kFieldReadOnly, "TNB"), "Field TNB cannot be modified.");
}

}  // namespace
}  // namespace kura
