#include "engine/storage/index_page.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/coding.h"

namespace kura {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, kPageBytes>;

PageShape Shape(LeafCompression c, bool unique, std::uint16_t keyLength) {
  PageShape s;
  s.keyLength = keyLength;
  s.unique = unique;
  s.compression = c;
  return s;
}

// Encodes a leaf holding `keys` (records 1, 2, ...) and returns the entry
// bytes; also checks that decoding gives the keys back.
Bytes EncodeLeaf(const PageShape& s, const std::vector<Bytes>& keys) {
  TPage page(s, 1);
  page.SetType(kPageLeaf);
  for (std::size_t i = 0; i < keys.size(); ++i)
    page.Insert(int(i), keys[i].data(), std::int32_t(i + 1), 0);
  Image img{};
  page.Encode(img.data());
  TPage back(s, 1);
  back.Decode(img.data(), "t");
  EXPECT_EQ(back.Count(), int(keys.size()));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(Bytes(back.Key(int(i)), back.Key(int(i)) + s.keyLength), keys[i]) << i;
    EXPECT_EQ(back.Ref(int(i)), std::int32_t(i + 1));
  }
  const std::size_t used = GetFixed16LE(img.data() + 11);
  EXPECT_EQ(used, page.UsedBytes());
  if (s.Compressed()) EXPECT_EQ(back.UsedBytes(), used);
  else EXPECT_EQ(used, 0u) << "used bytes set on an uncompressed page";
  const std::size_t n = s.Compressed() ? used : keys.size() * (s.keyLength + 4u);
  return Bytes(img.begin() + 13, img.begin() + 13 + std::ptrdiff_t(n));
}

// Non-unique keys: integer segment, then the row id.
const Bytes k1{1, 0x80, 0, 1, 0, 0x80, 0, 0, 1};
const Bytes k2{1, 0x80, 0, 2, 0, 0x80, 0, 0, 2};
const Bytes k3{1, 0x80, 0, 2, 0, 0x80, 0, 0, 3};

TEST(IndexPageTest, LeadingByteCompression) {
  EXPECT_EQ(EncodeLeaf(Shape(LeafCompression::kLeading, false, 9), {k1, k2, k3}),
            (Bytes{0, 1, 0x80, 0, 1, 0, 0x80, 0, 0, 1, 1, 0, 0, 0,
                   3, 2, 0, 0x80, 0, 0, 2, 2, 0, 0, 0,
                   8, 3, 3, 0, 0, 0}));
}

TEST(IndexPageTest, TrailingZeroCompressionKeepsTheRowId) {
  EXPECT_EQ(EncodeLeaf(Shape(LeafCompression::kTrailing, false, 9), {k1, k2}),
            (Bytes{1, 1, 0x80, 0, 1, 0x80, 0, 0, 1, 1, 0, 0, 0,
                   1, 1, 0x80, 0, 2, 0x80, 0, 0, 2, 2, 0, 0, 0}));
  // In a unique index the zero bytes at the very end go.
  EXPECT_EQ(EncodeLeaf(Shape(LeafCompression::kTrailing, true, 5), {{1, 0x80, 0, 0, 0}}),
            (Bytes{3, 1, 0x80, 1, 0, 0, 0}));
}

TEST(IndexPageTest, BothCompressionsWithTheRowIdRules) {
  // k3 shares 8 bytes with k2: fewer than 5 follow, so T is 0.
  EXPECT_EQ(EncodeLeaf(Shape(LeafCompression::kBoth, false, 9), {k1, k2, k3}),
            (Bytes{0, 1, 1, 0x80, 0, 1, 0x80, 0, 0, 1, 1, 0, 0, 0,
                   3, 1, 2, 0x80, 0, 0, 2, 2, 0, 0, 0,
                   8, 0, 3, 3, 0, 0, 0}));
  const Bytes zeros(20, 0);
  Bytes tail = zeros;
  tail[19] = 9;
  EXPECT_EQ(EncodeLeaf(Shape(LeafCompression::kBoth, true, 20), {zeros, tail}),
            (Bytes{0, 20, 1, 0, 0, 0, 19, 0, 9, 2, 0, 0, 0}));
}

TEST(IndexPageTest, InternalPagesHoldChildAndCount) {
  PageShape s = Shape(LeafCompression::kBoth, false, 9);
  TPage page(s, 3);
  page.SetType(kPageRoot);
  page.Insert(0, k1.data(), 7, 300);
  page.SetPrev(0);
  page.SetNext(0);
  Image img{};
  page.Encode(img.data());
  EXPECT_EQ(Bytes(img.begin(), img.begin() + 13), (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Bytes entry(k1);
  entry.insert(entry.end(), {7, 0, 0, 0, 0x2C, 1, 0, 0});
  EXPECT_EQ(Bytes(img.begin() + 13, img.begin() + 30), entry);
  EXPECT_EQ(s.InternalCapacity(), 240);
  EXPECT_EQ(Shape(LeafCompression::kNone, false, 9).LeafCapacity(), 314);
}

TEST(IndexPageTest, FreePageKeepsItsOtherHeaderBytes) {
  PageShape s = Shape(LeafCompression::kNone, false, 9);
  TPage page(s, 5);
  page.SetType(kPageLeaf);
  page.SetPrev(4);
  page.SetNext(6);
  page.Insert(0, k1.data(), 1, 0);
  page.MakeFree(9);
  Image img{};
  page.Encode(img.data());
  EXPECT_EQ(Bytes(img.begin(), img.begin() + 13), (Bytes{2, 0, 0, 4, 0, 0, 0, 9, 0, 0, 0, 0, 0}));
}

void ExpectCorrupt(const PageShape& s, const Image& img) {
  TPage page(s, 1);
  try {
    page.Decode(img.data(), "t");
    ADD_FAILURE() << "damaged page accepted";
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), KURA_INDEXCORRUPT);
  }
  EXPECT_EQ(page.Count(), 0);
}

TEST(IndexPageTest, DamagedPagesRaiseIndexCorrupt) {
  const PageShape plain = Shape(LeafCompression::kNone, false, 9);
  Image img{};
  img[0] = 7;  // no such page type
  img[1] = 1;
  ExpectCorrupt(plain, img);
  img[0] = kPageLeaf;
  PutFixed16LE(img.data() + 1, 315);  // more entries than a leaf holds
  ExpectCorrupt(plain, img);
  img[0] = kPageRoot;
  PutFixed16LE(img.data() + 1, 241);
  ExpectCorrupt(plain, img);

  const PageShape packed = Shape(LeafCompression::kBoth, false, 9);
  img[0] = kPageLeaf;
  PutFixed16LE(img.data() + 1, 1);
  PutFixed16LE(img.data() + 11, 4084);  // more used bytes than the page has
  ExpectCorrupt(packed, img);
  PutFixed16LE(img.data() + 11, 6);  // entry runs past the used bytes
  ExpectCorrupt(packed, img);
  PutFixed16LE(img.data() + 11, 15);
  img[13] = 2;  // first entry with a leading part
  ExpectCorrupt(packed, img);
  img[13] = 0;
  img[14] = 9;  // dropping more bytes than the key has
  ExpectCorrupt(packed, img);
  img[14] = 0;
  PutFixed16LE(img.data() + 1, 2);  // two entries claimed, one present
  ExpectCorrupt(packed, img);
}

}  // namespace
}  // namespace kura
