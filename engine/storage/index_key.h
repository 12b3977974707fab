// Index keys: how a record's key fields become one order-preserving byte
// string, and how two keys of an index compare.
//
// A key is one segment per key field (a presence byte, 1 = has a value, then
// the field's key value; a null value's bytes are zero) followed, in an index
// that is not unique, by the record's row id as 4 bytes big-endian with the
// top bit inverted. The value encodings are listed above BuildKeySegment in
// index_key.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/locale.h"

namespace kura {

// One key field: where its value lies in a record and how it sorts.
struct KeySegment {
  std::uint8_t type = 0;       // field type code of the data file
  std::uint8_t subtype = 0;
  std::uint16_t slotOffset = 0;  // presence byte's offset in the record
  std::uint16_t storedSize = 0;  // value bytes in the record
  bool descending = false;       // per-field descending flag

  // Bytes of the key value (without the presence byte); 0 for a BLOB field,
  // which cannot be a key field.
  std::size_t ValueLength() const;
  std::size_t Length() const { return 1 + ValueLength(); }
  bool IsString() const { return type == 1; }
  bool IsAutoIncrement() const { return type == 6 && subtype == 29; }
};

enum class KeyKind : std::uint8_t {
  kFields,      // primary and secondary indexes
  kSysDeleted,  // status byte + row id, always compared byte-wise
  kSysText,     // 3 bytes, a 61-byte word, a 4-byte suffix
};

// Everything needed to build and compare the keys of one index.
struct KeyDef {
  KeyKind kind = KeyKind::kFields;
  std::vector<KeySegment> segments;
  bool descending = false;
  bool caseInsensitive = false;
  bool unique = true;
  // The table's locale; byte order (language id 0) when null.
  std::shared_ptr<const TableCollation> collation;

  // Σ segment length, + 4 when not unique; 5 and 68 for the system indexes.
  std::size_t KeyLength() const;
  // Σ segment length (what must lie within 1 ... 522).
  std::size_t SegmentsLength() const;
  bool ByteOrder() const { return !collation || collation->IsByteOrder(); }
};

// The definition of "Sys Deleted" and of "Sys Text" with a table's locale.
KeyDef SysDeletedKeyDef();
KeyDef SysTextKeyDef(std::shared_ptr<const TableCollation> collation);

// Writes the key of the record image `record` (a data-file slot, record
// header included) with row id `rowId` to out[0, def.KeyLength()).
void BuildKey(const KeyDef& def, const std::uint8_t* record, std::int32_t rowId,
              std::uint8_t* out);
// Writes segment `seg` of `def` for the field slot at `record`.
void BuildKeySegment(const KeyDef& def, const KeySegment& seg, const std::uint8_t* record,
                     std::int32_t rowId, std::uint8_t* out);

// The "Sys Deleted" key: status byte (0 active, 1 deleted), row id.
void BuildSysDeletedKey(std::uint8_t status, std::int32_t rowId, std::uint8_t* out);
// The row id of a "Sys Deleted" key.
std::int32_t SysDeletedRowId(const std::uint8_t* key);

// Order-preserving encodings of single values (big-endian).
void EncodeKeyInt16(std::int16_t v, std::uint8_t* out);
void EncodeKeyInt32(std::int32_t v, std::uint8_t* out);
void EncodeKeyInt64(std::int64_t v, std::uint8_t* out);
void EncodeKeyWord(std::uint16_t v, std::uint8_t* out);
void EncodeKeyDouble(double v, std::uint8_t* out);
// The value of a packed BCD record (34 bytes) × 10 000, rounded half away
// from zero and saturated to the 64-bit range.
std::int64_t BcdTimes10000(const std::uint8_t* bcd);
// Writes the 4-byte row-id suffix.
void EncodeKeyRowId(std::int32_t rowId, std::uint8_t* out);
std::int32_t DecodeKeyRowId(const std::uint8_t* in);

// Compares keys of one index: negative, 0 or positive as a sorts before,
// with or after b in the index's order. Holds a copy of the definition.
class KeyComparator {
 public:
  explicit KeyComparator(KeyDef def);
  int operator()(const std::uint8_t* a, const std::uint8_t* b) const;
  std::size_t KeyLength() const { return length_; }
  const KeyDef& Def() const { return def_; }

 private:
  int CompareSegments(const std::uint8_t* a, const std::uint8_t* b) const;
  int CompareText(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const;

  KeyDef def_;
  std::size_t length_;
  bool bytewise_;  // one memcmp over the whole key
  bool negate_;    // the whole index is descending
};

}  // namespace kura
