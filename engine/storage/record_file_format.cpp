#include "engine/storage/record_file_format.h"

#include <cstring>

#include "engine/storage/change_counter.h"
#include "engine/storage/coding.h"

namespace kura {

TFieldDescriptor MakeField(std::uint16_t number, std::string name,
                           std::uint8_t type, std::uint8_t declaredSize,
                           std::uint8_t subtype) {
  TFieldDescriptor f;
  f.number = number;
  f.name = std::move(name);
  f.type = type;
  f.declaredSize = declaredSize;
  f.subtype = subtype;
  return f;
}

std::uint8_t StoredSizeOf(std::uint8_t type, std::uint8_t declaredSize) {
  switch (type) {
    case kFieldString: return static_cast<std::uint8_t>(declaredSize + 1);
    case kFieldBytes:
    case kFieldVarBytes: return declaredSize;
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
    case kFieldUInt32: return 4;
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldWord: return 2;
    case kFieldBlob:
    case kFieldFloat:
    case kFieldTimestamp:
    case kFieldLargeInt: return 8;
    case kFieldBcd: return 34;
    case kFieldExtended: return 10;
    default: return 0;
  }
}

bool HasDeclaredSize(std::uint8_t type) {
  return type == kFieldString || type == kFieldBytes || type == kFieldVarBytes;
}

// Data file header, 127 bytes, little-endian.
//   offset size  meaning
//        0    4  change counter, signed (incremented on every header write;
//                reset to 0 when the table is emptied)
//        4    4  BLOB block size (0 means 512)
//        8    1  format version, always 5
//        9    4  first free record (head of the free record chain; 0 = empty)
//       13    4  next record number (number of slots + 1)
//       17    4  last row id handed out
//       21    2  record length, including the 9-byte record header
//       23    2  field count, 1 ... 1024
//       25    2  number of BLOB fields, at most 128
//       27    8  last write time, IEEE double (days since 1899-12-30 with the
//                time of day as fraction, minus 693594.0)
//       35   51  description, String[50]
//       86    1  encrypted flag
//       87   16  table password, String[15] (zero when not encrypted)
//      103    2  language id of the table's locale, signed (0 = byte order)
//      105    2  sort id of the table's locale, signed
//      107    2  user major version, signed, not interpreted
//      109    2  user minor version, signed, not interpreted
//      111    1  header-changed flag at the time of the write (ignored on read)
//      112    4  last BLOB serial, signed
//      116    8  version of the engine that wrote the header (33000)
//      124    3  reserved, carried unchanged
void EncodeDataHeader(const TDataFileHeader& h, std::uint8_t* dst) {
  PutInt32LE(dst + kChangeCounterOffset, h.changeCounter);
  PutFixed32LE(dst + 4, h.blobBlockSize);
  dst[8] = h.version;
  PutInt32LE(dst + 9, h.firstFreeRecord);
  PutInt32LE(dst + 13, h.nextRecordNumber);
  PutInt32LE(dst + 17, h.lastRowId);
  PutFixed16LE(dst + 21, h.recordLength);
  PutFixed16LE(dst + 23, h.fieldCount);
  PutFixed16LE(dst + 25, h.blobFieldCount);
  PutDoubleLE(dst + 27, h.lastWriteTime);
  std::memcpy(dst + 35, h.description.data(), 51);
  dst[86] = h.encrypted;
  std::memcpy(dst + 87, h.password.data(), 16);
  PutInt16LE(dst + 103, h.languageId);
  PutInt16LE(dst + 105, h.sortId);
  PutInt16LE(dst + 107, h.userMajorVersion);
  PutInt16LE(dst + 109, h.userMinorVersion);
  dst[111] = h.headerChangedFlag;
  PutInt32LE(dst + 112, h.lastBlobSerial);
  PutInt64LE(dst + 116, h.engineVersion);
  std::memcpy(dst + 124, h.reserved.data(), 3);
}

TDataFileHeader DecodeDataHeader(const std::uint8_t* src) {
  TDataFileHeader h;
  h.changeCounter = GetInt32LE(src + kChangeCounterOffset);
  h.blobBlockSize = GetFixed32LE(src + 4);
  h.version = src[8];
  h.firstFreeRecord = GetInt32LE(src + 9);
  h.nextRecordNumber = GetInt32LE(src + 13);
  h.lastRowId = GetInt32LE(src + 17);
  h.recordLength = GetFixed16LE(src + 21);
  h.fieldCount = GetFixed16LE(src + 23);
  h.blobFieldCount = GetFixed16LE(src + 25);
  h.lastWriteTime = GetDoubleLE(src + 27);
  std::memcpy(h.description.data(), src + 35, 51);
  h.encrypted = src[86];
  std::memcpy(h.password.data(), src + 87, 16);
  h.languageId = GetInt16LE(src + 103);
  h.sortId = GetInt16LE(src + 105);
  h.userMajorVersion = GetInt16LE(src + 107);
  h.userMinorVersion = GetInt16LE(src + 109);
  h.headerChangedFlag = src[111];
  h.lastBlobSerial = GetInt32LE(src + 112);
  h.engineVersion = GetInt64LE(src + 116);
  std::memcpy(h.reserved.data(), src + 124, 3);
  return h;
}

// Field descriptor, 768 bytes, little-endian; one per field after the
// header, in field-number order.
//   offset size  meaning
//        0    2  field number, 1 ... field count (equals the position)
//        2   31  field name, String[30]
//       33   51  field description, String[50]
//       84    1  type code (0 is invalid)
//       85    1  subtype code
//       86    1  declared size (1 ... 250 for strings and bytes, else 0)
//       87    1  declared scale (BCD only)
//       88    1  stored size of the value in bytes
//       89    1  stored scale (copy of offset 87)
//       90    2  slot offset within the record (5 for auto-increment)
//       92    1  required flag
//       93    1  case conversion on store: 0 none, 1 lower, 2 upper
//       94   51  minimum value as text, String[50]
//      145   51  maximum value as text, String[50]
//      196   51  default value as text, String[50]
//      247    1  computed flag (never set by this engine)
//      248  520  further bytes, carried unchanged
void EncodeFieldDescriptor(const TFieldDescriptor& d, std::uint8_t* dst) {
  PutFixed16LE(dst + 0, d.number);
  PutShortString(dst + 2, 30, d.name);
  PutShortString(dst + 33, 50, d.description);
  dst[84] = d.type;
  dst[85] = d.subtype;
  dst[86] = d.declaredSize;
  dst[87] = d.declaredScale;
  dst[88] = d.storedSize;
  dst[89] = d.storedScale;
  PutFixed16LE(dst + 90, d.offset);
  dst[92] = d.required;
  dst[93] = d.caseConversion;
  PutShortString(dst + 94, 50, d.minimum);
  PutShortString(dst + 145, 50, d.maximum);
  PutShortString(dst + 196, 50, d.defaultValue);
  dst[247] = d.computed;
  std::memcpy(dst + 248, d.extra.data(), d.extra.size());
}

TFieldDescriptor DecodeFieldDescriptor(const std::uint8_t* src) {
  TFieldDescriptor d;
  d.number = GetFixed16LE(src + 0);
  d.name = GetShortString(src + 2, 30);
  d.description = GetShortString(src + 33, 50);
  d.type = src[84];
  d.subtype = src[85];
  d.declaredSize = src[86];
  d.declaredScale = src[87];
  d.storedSize = src[88];
  d.storedScale = src[89];
  d.offset = GetFixed16LE(src + 90);
  d.required = src[92];
  d.caseConversion = src[93];
  d.minimum = GetShortString(src + 94, 50);
  d.maximum = GetShortString(src + 145, 50);
  d.defaultValue = GetShortString(src + 196, 50);
  d.computed = src[247];
  std::memcpy(d.extra.data(), src + 248, d.extra.size());
  return d;
}

std::uint32_t LayOutFields(TFieldDescriptor* fields, std::size_t count) {
  std::uint32_t offset = kRecordHeaderSize;
  for (std::size_t i = 0; i < count; ++i) {
    TFieldDescriptor& f = fields[i];
    if (!HasDeclaredSize(f.type)) f.declaredSize = 0;
    if (f.type != kFieldBcd) f.declaredScale = 0;
    f.storedSize = StoredSizeOf(f.type, f.declaredSize);
    f.storedScale = f.declaredScale;
    if (f.IsAutoIncrement()) {
      f.offset = 5;
      continue;
    }
    f.offset = static_cast<std::uint16_t>(offset);
    offset += f.SlotLength();
  }
  return offset;
}

}  // namespace kura
