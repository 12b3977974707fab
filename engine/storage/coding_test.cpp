#include "engine/storage/coding.h"

#include <gtest/gtest.h>

#include <array>

namespace kura {
namespace {

TEST(Coding, LittleAndBigEndianByteOrder) {
  std::array<std::uint8_t, 8> b{};
  PutFixed32LE(b.data(), 0x01020304u);
  EXPECT_EQ(b[0], 0x04);
  EXPECT_EQ(b[3], 0x01);
  EXPECT_EQ(GetFixed32LE(b.data()), 0x01020304u);
  PutFixed32BE(b.data(), 0x01020304u);
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[3], 0x04);
  EXPECT_EQ(GetFixed32BE(b.data()), 0x01020304u);
  PutInt16LE(b.data(), -2);
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[1], 0xFF);
  EXPECT_EQ(GetInt16LE(b.data()), -2);
  PutFixed64BE(b.data(), 0x0102030405060708ull);
  EXPECT_EQ(b[7], 0x08);
  EXPECT_EQ(GetFixed64BE(b.data()), 0x0102030405060708ull);
  PutDoubleLE(b.data(), -1.5);
  EXPECT_EQ(GetDoubleLE(b.data()), -1.5);
}

TEST(Coding, ShortStringIsLengthPrefixedZeroFilledAndClamped) {
  std::array<std::uint8_t, 6> b;
  b.fill(0xAA);
  PutShortString(b.data(), 5, "ab");
  EXPECT_EQ((std::array<std::uint8_t, 6>{2, 'a', 'b', 0, 0, 0}), b);
  EXPECT_EQ(GetShortString(b.data(), 5), "ab");
  PutShortString(b.data(), 5, "abcdefgh");  // cut to 5
  EXPECT_EQ(b[0], 5);
  EXPECT_EQ(GetShortString(b.data(), 5), "abcde");
  b[0] = 200;  // a damaged length byte never reads past the field
  EXPECT_EQ(GetShortString(b.data(), 5), "abcde");
}

}  // namespace
}  // namespace kura
