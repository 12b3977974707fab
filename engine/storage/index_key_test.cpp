#include "engine/storage/index_key.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/storage/coding.h"

namespace kura {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record with one field slot at offset 9: presence byte, then `value`.
Bytes Record(bool present, const Bytes& value) {
  Bytes r(9, 0);
  r.push_back(present ? 1 : 0);
  r.insert(r.end(), value.begin(), value.end());
  return r;
}

Bytes LE32(std::int32_t v) { Bytes b(4); PutInt32LE(b.data(), v); return b; }
Bytes LEDouble(double v) { Bytes b(8); PutDoubleLE(b.data(), v); return b; }
Bytes Text(const char* s, std::size_t stored) {
  Bytes b(stored, 0xEE);  // bytes after the terminator carry no meaning
  std::memcpy(b.data(), s, std::strlen(s) + 1);
  return b;
}

KeyDef OneField(std::uint8_t type, std::uint16_t stored, bool fieldDesc = false) {
  KeyDef d;
  KeySegment s;
  s.type = type;
  s.storedSize = stored;
  s.slotOffset = 9;
  s.descending = fieldDesc;
  d.segments.push_back(s);
  return d;
}

Bytes Key(const KeyDef& d, const Bytes& record, std::int32_t row = 7) {
  Bytes k(d.KeyLength());
  BuildKey(d, record.data(), row, k.data());
  return k;
}

TEST(IndexKeyTest, IntegersAreBigEndianWithTheSignBitInverted) {
  const KeyDef d = OneField(6, 4);
  EXPECT_EQ(Key(d, Record(true, LE32(-1))), (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Key(d, Record(true, LE32(0))), (Bytes{1, 0x80, 0, 0, 0}));
  EXPECT_EQ(Key(d, Record(true, LE32(1))), (Bytes{1, 0x80, 0, 0, 1}));
  EXPECT_EQ(Key(d, Record(false, LE32(0))), (Bytes{0, 0, 0, 0, 0}));

  Bytes b(2);
  EncodeKeyInt16(-2, b.data());
  EXPECT_EQ(b, (Bytes{0x7F, 0xFE}));
  EncodeKeyWord(0x1234, b.data());
  EXPECT_EQ(b, (Bytes{0x12, 0x34}));
  Bytes l(8);
  EncodeKeyInt64(-1, l.data());
  EXPECT_EQ(l, (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(IndexKeyTest, NonUniqueKeysEndInTheRowId) {
  KeyDef d = OneField(5, 2);
  d.unique = false;
  Bytes v(2);
  PutInt16LE(v.data(), 3);
  EXPECT_EQ(Key(d, Record(true, v), 0x01020304),
            (Bytes{1, 0x80, 0x03, 0x81, 0x02, 0x03, 0x04}));
}

TEST(IndexKeyTest, FloatsOrderNegativesFirst) {
  const KeyDef d = OneField(7, 8);
  KeyComparator cmp(d);
  const double values[] = {-INFINITY, -2.0, -1.0, -0.5, 0.0, 0.5, 1.0, 2.0, INFINITY};
  for (std::size_t i = 1; i < std::size(values); ++i)
    EXPECT_LT(cmp(Key(d, Record(true, LEDouble(values[i - 1]))).data(),
                  Key(d, Record(true, LEDouble(values[i]))).data()), 0)
        << values[i - 1] << " vs " << values[i];
  EXPECT_EQ(Key(d, Record(true, LEDouble(-0.0))), Key(d, Record(true, LEDouble(0.0))));
  EXPECT_EQ(Key(d, Record(true, LEDouble(1.0))),
            (Bytes{1, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
}

TEST(IndexKeyTest, NullSortsFirstAscendingAndLastDescending) {
  const Bytes null = Record(false, LE32(0));
  const Bytes low = Record(true, LE32(INT32_MIN));
  KeyDef asc = OneField(6, 4);
  EXPECT_LT(KeyComparator(asc)(Key(asc, null).data(), Key(asc, low).data()), 0);
  KeyDef whole = asc;
  whole.descending = true;
  whole.segments[0].descending = true;
  EXPECT_GT(KeyComparator(whole)(Key(whole, null).data(), Key(whole, low).data()), 0);
  // A descending field of an ascending index is stored inverted.
  KeyDef field = OneField(6, 4, true);
  EXPECT_EQ(Key(field, null), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_GT(KeyComparator(field)(Key(field, null).data(), Key(field, low).data()), 0);
}

TEST(IndexKeyTest, StringsAreZeroFilledAndUpperCasedWhenCaseInsensitive) {
  KeyDef d = OneField(1, 6);
  EXPECT_EQ(Key(d, Record(true, Text("abC", 6))), (Bytes{1, 'a', 'b', 'C', 0, 0, 0}));
  d.caseInsensitive = true;
  EXPECT_EQ(Key(d, Record(true, Text("abC", 6))), (Bytes{1, 'A', 'B', 'C', 0, 0, 0}));
  // Per-field descending: every byte inverted but the string's last one.
  KeyDef desc = OneField(1, 4, true);
  EXPECT_EQ(Key(desc, Record(true, Text("ab", 4))), (Bytes{0xFE, 0x9E, 0x9D, 0xFF, 0}));
  KeyComparator cmp(desc);
  EXPECT_LT(cmp(Key(desc, Record(true, Text("abc", 4))).data(),
                Key(desc, Record(true, Text("ab", 4))).data()), 0);
}

TEST(IndexKeyTest, LocaleComparisonDiffersFromByteOrder) {
  auto english = TableCollation::For(1033, 0);
  ASSERT_NE(english, nullptr);
  KeyDef bytes = OneField(1, 4);
  KeyDef locale = bytes;
  locale.collation = english;
  const Bytes a = Key(bytes, Record(true, Text("a", 4)));
  const Bytes B = Key(bytes, Record(true, Text("B", 4)));
  EXPECT_GT(KeyComparator(bytes)(a.data(), B.data()), 0);   // 'a' (0x61) after 'B'
  EXPECT_LT(KeyComparator(locale)(a.data(), B.data()), 0);  // a before B
  // With a locale a descending field is not inverted; the comparison turns.
  locale.segments[0].descending = true;
  EXPECT_EQ(Key(locale, Record(true, Text("a", 4)))[1], 'a');
  EXPECT_GT(KeyComparator(locale)(a.data(), B.data()), 0);
  // Nulls still come first in an ascending locale index.
  locale.segments[0].descending = false;
  const Bytes null = Key(locale, Record(false, Bytes(4, 0)));
  EXPECT_LT(KeyComparator(locale)(null.data(), a.data()), 0);
}

TEST(IndexKeyTest, BcdKeysAreTheValueTimesTenThousand) {
  auto bcd = [](int precision, bool negative, int places, const char* digits) {
    Bytes b(34, 0);
    b[0] = std::uint8_t(precision);
    b[1] = std::uint8_t((negative ? 0x80 : 0) | places);
    for (int i = 0; digits[i]; ++i)
      b[2 + i / 2] |= std::uint8_t((digits[i] - '0') << (i % 2 ? 0 : 4));
    return b;
  };
  EXPECT_EQ(BcdTimes10000(bcd(6, false, 4, "123456").data()), 123456);
  EXPECT_EQ(BcdTimes10000(bcd(2, true, 1, "15").data()), -15000);
  EXPECT_EQ(BcdTimes10000(bcd(6, false, 6, "000051").data()), 1);  // 0.000051 rounds up
  EXPECT_EQ(BcdTimes10000(bcd(6, false, 6, "000049").data()), 0);
  EXPECT_EQ(BcdTimes10000(bcd(30, false, 0, "999999999999999999999999999999").data()),
            INT64_MAX);
  const KeyDef d = OneField(8, 34);
  EXPECT_EQ(Key(d, Record(true, bcd(3, false, 0, "100"))),
            (Bytes{1, 0x80, 0, 0, 0, 0, 0x0F, 0x42, 0x40}));
}

TEST(IndexKeyTest, AutoIncrementKeyIsTheRowId) {
  KeyDef d;
  KeySegment s;
  s.type = 6;
  s.subtype = 29;
  s.slotOffset = 5;
  d.segments.push_back(s);
  EXPECT_EQ(Key(d, Bytes(9, 0), 42), (Bytes{1, 0x80, 0, 0, 42}));
}

TEST(IndexKeyTest, SysDeletedPutsActiveRecordsFirst) {
  Bytes active(5), deleted(5), later(5);
  BuildSysDeletedKey(0, 900, active.data());
  BuildSysDeletedKey(1, 2, deleted.data());
  BuildSysDeletedKey(0, 901, later.data());
  KeyComparator cmp(SysDeletedKeyDef());
  EXPECT_LT(cmp(active.data(), later.data()), 0);
  EXPECT_LT(cmp(later.data(), deleted.data()), 0);
  EXPECT_EQ(SysDeletedRowId(deleted.data()), 2);
  EXPECT_EQ(active, (Bytes{0, 0x80, 0, 0x03, 0x84}));
}

}  // namespace
}  // namespace kura
