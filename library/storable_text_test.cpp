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
  const StorableText t = FitForLibrary("a😀b\xFF" "c");
  EXPECT_EQ(t.text, "a〓b〓c");
  ASSERT_EQ(t.replaced.size(), 2u);
  EXPECT_EQ(CodePointName(t.replaced[0]), "U+1F600");
  EXPECT_EQ(CodePointName(t.replaced[1]), "byte 0xFF");
}

}  // namespace
}  // namespace sorabeku
