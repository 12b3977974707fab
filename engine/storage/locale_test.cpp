#include "engine/storage/locale.h"

#include <gtest/gtest.h>

namespace kura {
namespace {

TEST(Locale, InstalledLocalesAndOthers) {
  EXPECT_TRUE(IsLocaleInstalled(0, 0));
  EXPECT_TRUE(IsLocaleInstalled(1033, 0));
  EXPECT_TRUE(IsLocaleInstalled(1041, 0));
  EXPECT_FALSE(IsLocaleInstalled(1031, 0));  // German: not provided
  EXPECT_FALSE(IsLocaleInstalled(1033, 5));
  EXPECT_EQ(TableCollation::For(7, 0), nullptr);
}

TEST(Locale, ByteOrderComparesBytesAndUpperCasesLikeEnglish) {
  auto c = TableCollation::For(0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_LT(c->Compare("B", "a"), 0);         // 'B' (0x42) < 'a' (0x61)
  EXPECT_LT(c->Compare("ab", "abc"), 0);
  EXPECT_GT(c->Compare("\xE9", "z"), 0);      // bytes are unsigned
  EXPECT_EQ(c->ToUpper("abc\xE9xyz"), "ABC\xC9XYZ");  // é → É in Windows-1252
  EXPECT_EQ(c->ToLower("ABC\xC9"), "abc\xE9");
  EXPECT_EQ(c->CompareNoCase("abc", "ABC"), 0);
  EXPECT_TRUE(c->IsByteOrder());
  // Empty views without data compare equal, and before any text.
  EXPECT_EQ(c->Compare(std::string_view{}, std::string_view{}), 0);
  EXPECT_LT(c->Compare(std::string_view{}, "a"), 0);
}

TEST(Locale, EnglishCollatesAlphabeticallyAndStaysTotal) {
  auto c = TableCollation::For(1033, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_LT(c->Compare("apple", "Banana"), 0);  // unlike byte order
  EXPECT_NE(c->Compare("abc", "ABC"), 0);
  EXPECT_EQ(c->CompareNoCase("abc", "ABC"), 0);
  EXPECT_EQ(c->Compare("same", "same"), 0);
}

TEST(Locale, JapaneseUpperCasesShiftJisAndConvertsToUtf8) {
  auto c = TableCollation::For(1041, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->CodePage(), 932);
  // "碁a" in Shift-JIS: the double-byte character is kept, 'a' becomes 'A'.
  std::string go;
  ASSERT_TRUE(Utf8ToCodePage(932, "碁a", go));
  EXPECT_EQ(go.size(), 3u);
  EXPECT_EQ(CodePageToUtf8(932, c->ToUpper(go)), "碁A");
}

TEST(Locale, ConversionRefusesWhatTheCodePageCannotHoldAndReplacesBadBytes) {
  std::string out;
  EXPECT_TRUE(Utf8ToCodePage(932, "出入の部", out));
  EXPECT_EQ(CodePageToUtf8(932, out), "出入の部");
  EXPECT_FALSE(Utf8ToCodePage(932, "😀", out));
  EXPECT_FALSE(Utf8ToCodePage(1252, "碁", out));
  // A lead byte without its trail byte is shown as a replacement character.
  EXPECT_EQ(CodePageToUtf8(932, "\x82"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kura
