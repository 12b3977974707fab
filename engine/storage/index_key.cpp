#include "engine/storage/index_key.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/storage/coding.h"

namespace kura {
namespace {

// Field type codes of the data file, as far as keys treat them differently.
constexpr std::uint8_t kString = 1, kDate = 2, kBlob = 3, kBoolean = 4, kSmallInt = 5,
                       kInteger = 6, kFloat = 7, kBcd = 8, kTime = 10, kTimestamp = 11,
                       kWord = 12, kLargeInt = 18;

constexpr std::size_t kSysTextWordOffset = 3;
constexpr std::size_t kSysTextWordLength = 61;

std::size_t TextLength(const std::uint8_t* p, std::size_t n) {
  const void* z = std::memchr(p, 0, n);
  return z ? std::size_t(static_cast<const std::uint8_t*>(z) - p) : n;
}

int Sign(int v) { return (v > 0) - (v < 0); }

void BuildString(const KeyDef& def, const std::uint8_t* value, std::size_t size,
                 std::uint8_t* out) {
  std::memset(out, 0, size);
  std::string_view text(reinterpret_cast<const char*>(value), TextLength(value, size));
  if (!def.caseInsensitive) {
    std::memcpy(out, text.data(), text.size());
    return;
  }
  static const std::shared_ptr<const TableCollation> kEnglish = TableCollation::For(0, 0);
  const TableCollation* c = def.collation ? def.collation.get() : kEnglish.get();
  const std::string upper = c ? c->ToUpper(text) : std::string(text);
  // Upper-casing keeps the length in the supported code pages; a longer
  // result is cut so that the terminating zero stays.
  std::memcpy(out, upper.data(), std::min(upper.size(), size > 0 ? size - 1 : 0));
}

}  // namespace

std::size_t KeySegment::ValueLength() const {
  switch (type) {
    case kDate: case kInteger: case kTime: return 4;
    case kSmallInt: case kBoolean: case kWord: return 2;
    case kFloat: case kTimestamp: case kBcd: case kLargeInt: return 8;
    case kBlob: return 0;
    default: return storedSize;  // strings, bytes and the rest: raw
  }
}

std::size_t KeyDef::SegmentsLength() const {
  switch (kind) {
    case KeyKind::kSysDeleted: return 1;
    case KeyKind::kSysText: return 64;
    case KeyKind::kFields: break;
  }
  std::size_t n = 0;
  for (const KeySegment& s : segments) n += s.Length();
  return n;
}

std::size_t KeyDef::KeyLength() const {
  switch (kind) {
    case KeyKind::kSysDeleted: return 5;
    case KeyKind::kSysText: return 68;
    case KeyKind::kFields: break;
  }
  return SegmentsLength() + (unique ? 0 : 4);
}

KeyDef SysDeletedKeyDef() {
  KeyDef d;
  d.kind = KeyKind::kSysDeleted;
  return d;
}

KeyDef SysTextKeyDef(std::shared_ptr<const TableCollation> collation) {
  KeyDef d;
  d.kind = KeyKind::kSysText;
  d.caseInsensitive = true;
  d.collation = std::move(collation);
  return d;
}

void EncodeKeyInt16(std::int16_t v, std::uint8_t* out) {
  PutFixed16BE(out, std::uint16_t(std::uint16_t(v) ^ 0x8000u));
}
void EncodeKeyInt32(std::int32_t v, std::uint8_t* out) {
  PutFixed32BE(out, std::uint32_t(v) ^ 0x80000000u);
}
void EncodeKeyInt64(std::int64_t v, std::uint8_t* out) {
  PutFixed64BE(out, std::uint64_t(v) ^ 0x8000000000000000ull);
}
void EncodeKeyWord(std::uint16_t v, std::uint8_t* out) { PutFixed16BE(out, v); }

void EncodeKeyDouble(double v, std::uint8_t* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  if (v >= 0)  // positive or zero (-0.0 becomes the key of +0.0)
    bits = (bits & ~0x8000000000000000ull) | 0x8000000000000000ull;
  else
    bits = ~bits;
  PutFixed64BE(out, bits);
}

void EncodeKeyRowId(std::int32_t rowId, std::uint8_t* out) { EncodeKeyInt32(rowId, out); }
std::int32_t DecodeKeyRowId(const std::uint8_t* in) {
  return std::int32_t(GetFixed32BE(in) ^ 0x80000000u);
}

// Packed BCD record, 34 bytes.
//   offset size  meaning
//        0    1  precision: number of digits (at most 64)
//        1    1  bit 7 sign (1 negative), bits 0-5 number of decimal places
//        2   32  the digits, two per byte, most significant first
std::int64_t BcdTimes10000(const std::uint8_t* bcd) {
  const int precision = std::min<int>(bcd[0], 64);
  const bool negative = (bcd[1] & 0x80) != 0;
  const int places = std::min<int>(bcd[1] & 0x3F, precision);
  auto digit = [&](int i) -> unsigned {
    if (i >= precision) return 0;
    return std::min((bcd[2 + i / 2] >> (i % 2 ? 0 : 4)) & 0xF, 9);
  };
  // Integer digits, then the first four decimal places; the fifth rounds.
  const int used = precision - places + 4;
  using Wide = unsigned __int128;
  const Wide limit = Wide(1) << 64;
  Wide v = 0;
  for (int i = 0; i < used && v < limit; ++i) v = v * 10 + digit(i);
  if (v < limit && digit(used) >= 5) v += 1;
  const Wide maxMagnitude = negative ? Wide(1) << 63 : (Wide(1) << 63) - 1;
  v = std::min(v, maxMagnitude);
  if (negative) return v == maxMagnitude ? INT64_MIN : -std::int64_t(v);
  return std::int64_t(v);
}

void BuildSysDeletedKey(std::uint8_t status, std::int32_t rowId, std::uint8_t* out) {
  out[0] = status;
  EncodeKeyRowId(rowId, out + 1);
}

std::int32_t SysDeletedRowId(const std::uint8_t* key) { return DecodeKeyRowId(key + 1); }

// Key value encodings, so that unsigned byte-wise comparison gives the
// field's order:
//   string               stored size: the characters, zero-terminated and
//                        zero-filled; upper-cased with the table's locale
//                        when the index is case-insensitive
//   date, integer, time  4: big-endian, top bit inverted
//   small integer        2: big-endian, top bit inverted
//   boolean, word        2: big-endian
//   float, timestamp     8: IEEE double big-endian; top bit set when the
//                        value is positive or zero, all bytes inverted when
//                        it is negative
//   BCD                  8: value × 10 000 as a 64-bit integer, big-endian,
//                        top bit inverted
//   large integer        8: big-endian, top bit inverted
//   anything else        stored size: raw
// With the byte-order locale, a segment whose field is descending in an
// index that is not descending as a whole is stored with every byte
// inverted, presence byte included (for a string, not its last byte).
void BuildKeySegment(const KeyDef& def, const KeySegment& seg, const std::uint8_t* record,
                     std::int32_t rowId, std::uint8_t* out) {
  const std::size_t n = seg.ValueLength();
  std::uint8_t* value = out + 1;
  std::memset(out, 0, 1 + n);
  if (seg.IsAutoIncrement()) {  // its value is the row id, never null
    out[0] = 1;
    EncodeKeyInt32(rowId, value);
  } else if (record[seg.slotOffset] != 0) {
    out[0] = 1;
    const std::uint8_t* v = record + seg.slotOffset + 1;
    switch (seg.type) {
      case kString: BuildString(def, v, n, value); break;
      case kDate: case kInteger: case kTime: EncodeKeyInt32(GetInt32LE(v), value); break;
      case kSmallInt: EncodeKeyInt16(GetInt16LE(v), value); break;
      case kBoolean: case kWord: EncodeKeyWord(GetFixed16LE(v), value); break;
      case kFloat: case kTimestamp: EncodeKeyDouble(GetDoubleLE(v), value); break;
      case kBcd: EncodeKeyInt64(BcdTimes10000(v), value); break;
      case kLargeInt: EncodeKeyInt64(GetInt64LE(v), value); break;
      default: std::memcpy(value, v, n); break;
    }
  }
  if (seg.descending && !def.descending && def.ByteOrder()) {
    const std::size_t inverted = seg.IsString() && n > 0 ? n : n + 1;
    for (std::size_t i = 0; i < inverted; ++i) out[i] = std::uint8_t(~out[i]);
  }
}

void BuildKey(const KeyDef& def, const std::uint8_t* record, std::int32_t rowId,
              std::uint8_t* out) {
  if (def.kind == KeyKind::kSysDeleted) {
    BuildSysDeletedKey(record[0], rowId, out);
    return;
  }
  std::uint8_t* p = out;
  for (const KeySegment& seg : def.segments) {
    BuildKeySegment(def, seg, record, rowId, p);
    p += seg.Length();
  }
  if (!def.unique) EncodeKeyRowId(rowId, p);
}

KeyComparator::KeyComparator(KeyDef def)
    : def_(std::move(def)), length_(def_.KeyLength()) {
  negate_ = def_.kind == KeyKind::kFields && def_.descending;
  bytewise_ = def_.kind == KeyKind::kSysDeleted || def_.ByteOrder();
}

int KeyComparator::operator()(const std::uint8_t* a, const std::uint8_t* b) const {
  if (bytewise_) {
    const int c = Sign(std::memcmp(a, b, length_));
    return negate_ ? -c : c;
  }
  return CompareSegments(a, b);
}

int KeyComparator::CompareText(const std::uint8_t* a, const std::uint8_t* b,
                               std::size_t n) const {
  std::string_view ta(reinterpret_cast<const char*>(a), TextLength(a, n));
  std::string_view tb(reinterpret_cast<const char*>(b), TextLength(b, n));
  return Sign(def_.collation->Compare(ta, tb));
}

int KeyComparator::CompareSegments(const std::uint8_t* a, const std::uint8_t* b) const {
  if (def_.kind == KeyKind::kSysText) {
    int c = Sign(std::memcmp(a, b, kSysTextWordOffset));
    if (c == 0) c = CompareText(a + kSysTextWordOffset, b + kSysTextWordOffset, kSysTextWordLength);
    if (c == 0) c = Sign(std::memcmp(a + 64, b + 64, 4));
    return c;
  }
  std::size_t at = 0;
  for (const KeySegment& seg : def_.segments) {
    const std::size_t len = seg.Length();
    int c;
    if (seg.IsString()) {
      c = int(a[at]) - int(b[at]);
      if (c == 0 && a[at] != 0) c = CompareText(a + at + 1, b + at + 1, len - 1);
      c = Sign(c);
    } else {
      c = Sign(std::memcmp(a + at, b + at, len));
    }
    if (c != 0) return (def_.descending || seg.descending) ? -c : c;
    at += len;
  }
  if (!def_.unique) {
    const int c = Sign(std::memcmp(a + at, b + at, 4));
    return def_.descending ? -c : c;
  }
  return 0;
}

}  // namespace kura
