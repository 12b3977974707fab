#include "library/shift_jis_data_set.h"

#include <gtest/gtest.h>

#include "library/move_row.h"
#include "library/testing/memory_library.h"

namespace sorabeku {
namespace {

using testing::MemoryLibrary;

// "黒先" (black to play) in Shift-JIS.
const std::string kKurosakiSjis = "\x8d\x95\x90\xe6";

class ShiftJisTest : public ::testing::Test {
 protected:
  ShiftJisTest() : rows(lib.KuraQuery2()) {
    lib.AddRow({.mnb = 1, .pst = 1, .cmt = kKurosakiSjis});
    lib.AddRow({.mnb = 1, .pst = 2, .cmt = "\x81"});      // cut short
    lib.AddRow({.mnb = 1, .pst = 3, .cmt = "a\xff\x80z"});  // not Shift-JIS
    lib.OpenProblemRows(1);
  }
  std::string StoredComment(int row) {
    return lib.figure().records()[row].Str(figure::CMT);
  }
  MemoryLibrary lib;
  ShiftJisDataSet rows;
};

TEST_F(ShiftJisTest, ReadsUtf8AndShowsBadBytesAsReplacements) {
  EXPECT_EQ(rows.FieldAsString(figure::CMT), "黒先");
  rows.Next();
  EXPECT_EQ(rows.FieldAsString(figure::CMT), "\uFFFD");
  rows.Next();
  const std::string text = rows.FieldAsString(figure::CMT);
  EXPECT_EQ(text.front(), 'a');
  EXPECT_EQ(text.back(), 'z');
  EXPECT_NE(text.find("\uFFFD"), std::string::npos);
  EXPECT_EQ(rows.FieldAsInteger(figure::PST), 3);
}

TEST_F(ShiftJisTest, WritesShiftJisAndRefusesWhatItCannotHold) {
  rows.Edit();
  rows.SetFieldAsString(figure::CMT, "白");
  rows.Post();
  EXPECT_EQ(StoredComment(0), "\x94\x92");

  rows.Edit();
  try {
    rows.SetFieldAsString(figure::CMT, "ok 😀");
    FAIL() << "an emoji cannot be written in Shift-JIS";
  } catch (const TextNotStorable& e) {
    EXPECT_NE(std::string(e.what()).find("😀"), std::string::npos);
  }
  rows.Post();
  EXPECT_EQ(StoredComment(0), "\x94\x92");  // unchanged
}

TEST_F(ShiftJisTest, LocateConvertsTextValues) {
  rows.Last();
  EXPECT_TRUE(rows.Locate("CMT", {std::string("黒先")}));
  EXPECT_EQ(rows.FieldAsInteger(figure::PST), 1);
  rows.Last();
  EXPECT_FALSE(rows.Locate("CMT", {std::string("😀")}));
  EXPECT_EQ(rows.FieldAsInteger(figure::PST), 3);
}

}  // namespace
}  // namespace sorabeku
