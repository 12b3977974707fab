#include <gtest/gtest.h>

#include "library/storable_text.h"

namespace sorabeku {
namespace {

// Shift-JIS counts two bytes for a kanji, one for ASCII and half-width
// katakana; a cut never splits a character.
TEST(StorableText, CutsAtCharacterBoundariesByShiftJisLength) {
  const StorableText kanji = FitForLibrary("後手四目", 7);
  EXPECT_EQ(kanji.text, "後手四");
  EXPECT_TRUE(kanji.cut);
  const StorableText mixed = FitForLibrary("aｱ後", 4);
  EXPECT_EQ(mixed.text, "aｱ後");
  EXPECT_FALSE(mixed.cut);
}

TEST(StorableText, ReplacesWhatShiftJisCannotHold) {
  const StorableText t = FitForLibrary("a😀b\xFF" "c3〜4目");
  EXPECT_EQ(t.text, "a〓b〓c3～4目");
  ASSERT_EQ(t.replaced.size(), 3u);
  EXPECT_EQ(CodePointName(t.replaced[0].original), "U+1F600");
  EXPECT_EQ(CodePointName(t.replaced[1].original), "byte 0xFF");
  EXPECT_EQ(t.replaced[2].stored, "～");
}

}  // namespace
}  // namespace sorabeku
