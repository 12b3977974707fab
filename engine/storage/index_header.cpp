#include "engine/storage/index_header.h"

#include <cstring>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/change_counter.h"
#include "engine/storage/coding.h"
#include "engine/storage/names.h"

namespace kura {
namespace {

constexpr std::uint32_t kMaxKeySegmentsLength = 522;

[[noreturn]] void Corrupt(const std::string& table) {
  Raise(KURA_HEADERCORRUPT, {.table = table});
}

bool ValidPage(std::int32_t page, std::int32_t nextPage) {
  return page == 0 || (page >= 1 && page < nextPage);
}

bool PagesValid(const TIndexDescriptor& d, std::int32_t nextPage) {
  return ValidPage(d.rootPage, nextPage) &&
         ValidPage(d.firstFreePage, nextPage) &&
         ValidPage(d.textParameterPage, nextPage);
}

// Key fields 0 ... fieldCount - 1 are set, the rest zero, and each names an
// existing field that is not a BLOB. Returns the sum of the segments.
bool KeyFieldsValid(const TIndexDescriptor& d,
                    std::span<const TFieldDescriptor> fields,
                    std::uint32_t* segments) {
  if (d.fieldCount > kMaxKeyFields) return false;
  *segments = 0;
  for (int i = 0; i < kMaxKeyFields; ++i) {
    const std::uint16_t n = d.fieldNumbers[i];
    if ((i < d.fieldCount) != (n != 0)) return false;
    if (n == 0) continue;
    if (n > fields.size()) return false;
    const std::uint32_t len = IndexSegmentLength(fields[n - 1]);
    if (len == 0) return false;
    *segments += len;
  }
  return true;
}

bool IsTextSearchField(const TFieldDescriptor& f) {
  return f.type == kFieldString ||
         (f.type == kFieldBlob && f.subtype == kSubtypeMemo);
}

}  // namespace

TIndexFileHeader NewIndexHeader() {
  TIndexFileHeader h;
  TIndexDescriptor& deleted = h.slots[kSysDeletedSlot];
  deleted.name = kSysDeletedName;
  deleted.keyLength = kSysDeletedKeyLength;
  deleted.unique = 1;
  TIndexDescriptor& text = h.slots[kSysTextSlot];
  text.name = kSysTextName;
  text.keyLength = kSysTextKeyLength;
  text.compression = kCompressBoth;
  return h;
}

// Index descriptor, 120 bytes, little-endian.
//   offset size  meaning
//        0   31  index name, String[30] (empty for the primary index)
//       31    2  key length in bytes (5 "Sys Deleted", 68 "Sys Text")
//       33    1  descending flag (whole index)
//       34    1  case-insensitive flag
//       35    1  unique flag (always 1 for the primary index)
//       36    1  leaf key compression: 0 none, 1 leading, 2 trailing, 3 both
//       37    1  number of key fields, 0 ... 16
//       38   16  per-field descending flags
//       54   32  key field numbers, 16 x 2 bytes, unused entries 0, no gaps
//       86    4  root page number, signed (0 = empty index)
//       90    4  first page of the index's free page chain, signed (0 = none)
//       94    1  zero
//       95    1  zero
//       96    4  "Sys Text": first page of its parameter chain; else 0
//      100    1  no-counts flag (internal pages without key counts)
//      101    1  temporary flag (never 1 in the file)
//      102   18  zero
void EncodeIndexDescriptor(const TIndexDescriptor& d, std::uint8_t* dst) {
  PutShortString(dst + 0, 30, d.name);
  PutFixed16LE(dst + 31, d.keyLength);
  dst[33] = d.descending;
  dst[34] = d.caseInsensitive;
  dst[35] = d.unique;
  dst[36] = d.compression;
  dst[37] = d.fieldCount;
  std::memcpy(dst + 38, d.fieldDescending.data(), kMaxKeyFields);
  for (int i = 0; i < kMaxKeyFields; ++i) {
    PutFixed16LE(dst + 54 + 2 * i, d.fieldNumbers[i]);
  }
  PutInt32LE(dst + 86, d.rootPage);
  PutInt32LE(dst + 90, d.firstFreePage);
  dst[94] = d.reserved94;
  dst[95] = d.reserved95;
  PutInt32LE(dst + 96, d.textParameterPage);
  dst[100] = d.noCounts;
  dst[101] = d.temporary;
  std::memcpy(dst + 102, d.reserved102.data(), d.reserved102.size());
}

TIndexDescriptor DecodeIndexDescriptor(const std::uint8_t* src) {
  TIndexDescriptor d;
  d.name = GetShortString(src + 0, 30);
  d.keyLength = GetFixed16LE(src + 31);
  d.descending = src[33];
  d.caseInsensitive = src[34];
  d.unique = src[35];
  d.compression = src[36];
  d.fieldCount = src[37];
  std::memcpy(d.fieldDescending.data(), src + 38, kMaxKeyFields);
  for (int i = 0; i < kMaxKeyFields; ++i) {
    d.fieldNumbers[i] = GetFixed16LE(src + 54 + 2 * i);
  }
  d.rootPage = GetInt32LE(src + 86);
  d.firstFreePage = GetInt32LE(src + 90);
  d.reserved94 = src[94];
  d.reserved95 = src[95];
  d.textParameterPage = GetInt32LE(src + 96);
  d.noCounts = src[100];
  d.temporary = src[101];
  std::memcpy(d.reserved102.data(), src + 102, d.reserved102.size());
  return d;
}

// Index file header, 4096 bytes, little-endian.
//   offset size  meaning
//        0    4  change counter, signed (incremented on every header write)
//        4    4  unused, zero
//        8    1  format version, always 5
//        9    4  next page number, signed (1 in a new or emptied file);
//                page n lies at n x 4096
//       13    1  number of secondary indexes, 0 ... 30
//  14+120i  120  descriptor of slot i, i = 0 ... 32: 0 primary, 1 ... 30
//                secondary in order of addition (unused slots zero),
//                31 "Sys Deleted", 32 "Sys Text"
//     3974    4  number of active records in the table, signed
//     3978    1  1 when the primary index has no fields (no primary key)
//     3979    1  header-changed flag at the time of the write (ignored)
//     3980  116  zero
void EncodeIndexHeader(const TIndexFileHeader& h, std::uint8_t* dst) {
  std::memset(dst, 0, kIndexHeaderSize);
  PutInt32LE(dst + kChangeCounterOffset, h.changeCounter);
  PutFixed32LE(dst + 4, h.unused4);
  dst[8] = h.version;
  PutInt32LE(dst + 9, h.nextPageNumber);
  EncodeIndexDescriptor(h.slots[0], dst + 14);
  int written = 0;
  const int count = std::min<int>(h.secondaryCount, kMaxSecondaryIndexes);
  for (int i = 1; i <= count; ++i) {
    if (h.slots[i].temporary != 0) continue;
    ++written;
    EncodeIndexDescriptor(h.slots[i], dst + 14 + kIndexDescriptorSize * written);
  }
  dst[13] = static_cast<std::uint8_t>(written);
  for (int i = kSysDeletedSlot; i <= kSysTextSlot; ++i) {
    EncodeIndexDescriptor(h.slots[i], dst + 14 + kIndexDescriptorSize * i);
  }
  PutInt32LE(dst + 3974, h.activeRecordCount);
  dst[3978] = h.noPrimaryFields;
  dst[3979] = h.headerChangedFlag;
  std::memcpy(dst + 3980, h.reserved.data(), h.reserved.size());
}

TIndexFileHeader DecodeIndexHeader(const std::uint8_t* src) {
  TIndexFileHeader h;
  h.changeCounter = GetInt32LE(src + kChangeCounterOffset);
  h.unused4 = GetFixed32LE(src + 4);
  h.version = src[8];
  h.nextPageNumber = GetInt32LE(src + 9);
  h.secondaryCount = src[13];
  for (int i = 0; i < kIndexSlotCount; ++i) {
    h.slots[i] = DecodeIndexDescriptor(src + 14 + kIndexDescriptorSize * i);
  }
  h.activeRecordCount = GetInt32LE(src + 3974);
  h.noPrimaryFields = src[3978];
  h.headerChangedFlag = src[3979];
  std::memcpy(h.reserved.data(), src + 3980, h.reserved.size());
  return h;
}

std::uint32_t IndexSegmentLength(const TFieldDescriptor& field) {
  switch (field.type) {
    case kFieldBlob: return 0;
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime: return 1 + 4;
    case kFieldSmallInt:
    case kFieldBoolean:
    case kFieldWord: return 1 + 2;
    case kFieldFloat:
    case kFieldTimestamp:
    case kFieldBcd:
    case kFieldLargeInt: return 1 + 8;
    default: return 1u + field.storedSize;
  }
}

bool IsIndexNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         (c >= 128 && c <= 254);
}

void VerifyIndexHeader(const TIndexFileHeader& h,
                       std::span<const TFieldDescriptor> fields,
                       const std::string& table) {
  if (h.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table});
  if (h.secondaryCount > kMaxSecondaryIndexes || h.nextPageNumber < 1) {
    Corrupt(table);
  }
  std::vector<std::string> names;
  for (int i = 0; i <= h.secondaryCount; ++i) {
    const TIndexDescriptor& d = h.slots[i];
    if (i == 0) {
      if (!d.name.empty()) Corrupt(table);
    } else {
      const std::string name = UpperAscii(TrimBlanks(d.name));
      if (name.empty() || !IsIndexNameStart(static_cast<unsigned char>(name[0]))) {
        Corrupt(table);
      }
      for (const std::string& other : names) {
        if (other == name) Corrupt(table);
      }
      names.push_back(name);
    }
    std::uint32_t segments = 0;
    if (!KeyFieldsValid(d, fields, &segments)) Corrupt(table);
    const bool emptyPrimary = i == 0 && h.noPrimaryFields != 0;
    if (segments > kMaxKeySegmentsLength || (segments == 0 && !emptyPrimary)) {
      Corrupt(table);
    }
    if (!PagesValid(d, h.nextPageNumber)) Corrupt(table);
  }
  if (!PagesValid(h.slots[kSysDeletedSlot], h.nextPageNumber)) Corrupt(table);
  const TIndexDescriptor& text = h.slots[kSysTextSlot];
  if (text.fieldCount > kMaxKeyFields) Corrupt(table);
  for (int i = 0; i < text.fieldCount; ++i) {
    const std::uint16_t n = text.fieldNumbers[i];
    if (n == 0 || n > fields.size() || !IsTextSearchField(fields[n - 1])) {
      Corrupt(table);
    }
  }
  if (!PagesValid(text, h.nextPageNumber)) Corrupt(table);
}

}  // namespace kura
