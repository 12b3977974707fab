// The index file's 4096-byte header and its 120-byte index descriptors as
// values, their byte codec, and the checks made on opening. The layouts are
// documented above the encoders in index_header.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/storage/file_format.h"
#include "engine/storage/record_file_format.h"

namespace kura {

// Key compression of leaf pages (descriptor offset 36).
inline constexpr std::uint8_t kCompressNone = 0;
inline constexpr std::uint8_t kCompressLeading = 1;
inline constexpr std::uint8_t kCompressTrailing = 2;
inline constexpr std::uint8_t kCompressBoth = 3;

struct TIndexDescriptor {
  std::string name;  // String[30]; empty for the primary index
  std::uint16_t keyLength = 0;
  std::uint8_t descending = 0;
  std::uint8_t caseInsensitive = 0;
  std::uint8_t unique = 0;
  std::uint8_t compression = kCompressNone;
  std::uint8_t fieldCount = 0;
  std::array<std::uint8_t, kMaxKeyFields> fieldDescending{};
  std::array<std::uint16_t, kMaxKeyFields> fieldNumbers{};
  std::int32_t rootPage = 0;
  std::int32_t firstFreePage = 0;
  std::uint8_t reserved94 = 0;
  std::uint8_t reserved95 = 0;
  std::int32_t textParameterPage = 0;  // "Sys Text" only
  std::uint8_t noCounts = 0;
  std::uint8_t temporary = 0;
  std::array<std::uint8_t, 18> reserved102{};
};

struct TIndexFileHeader {
  std::int32_t changeCounter = 0;
  std::uint32_t unused4 = 0;
  std::uint8_t version = kFileFormatVersion;
  std::int32_t nextPageNumber = 1;
  std::uint8_t secondaryCount = 0;
  // Slot 0 primary, 1 ... 30 secondary, 31 "Sys Deleted", 32 "Sys Text".
  std::array<TIndexDescriptor, kIndexSlotCount> slots{};
  std::int32_t activeRecordCount = 0;
  std::uint8_t noPrimaryFields = 0;
  std::uint8_t headerChangedFlag = 0;
  std::array<std::uint8_t, 116> reserved{};
};

inline constexpr const char* kSysDeletedName = "Sys Deleted";
inline constexpr const char* kSysTextName = "Sys Text";

// A fresh header: version 5, next page 1, "Sys Deleted" (key length 5) and
// "Sys Text" (key length 68, compression 3) in slots 31 and 32, no primary
// or secondary index defined.
TIndexFileHeader NewIndexHeader();

// Writes the 120-byte descriptor at dst.
void EncodeIndexDescriptor(const TIndexDescriptor& d, std::uint8_t* dst);
// Reads the 120-byte descriptor at src; no value is checked.
TIndexDescriptor DecodeIndexDescriptor(const std::uint8_t* src);

// Writes the 4096-byte header at dst, leaving out descriptors with the
// temporary flag (their slots are zeroed, later secondary slots move down
// and the count is lowered), so the file never lists them.
void EncodeIndexHeader(const TIndexFileHeader& h, std::uint8_t* dst);
// Reads the 4096-byte header at src; no value is checked.
TIndexFileHeader DecodeIndexHeader(const std::uint8_t* src);

// Length of the key segment of `field` (presence byte + key value); 0 for a
// BLOB field, which cannot be a key field.
std::uint32_t IndexSegmentLength(const TFieldDescriptor& field);

// True when a secondary index name may begin with `c`: a letter, an
// underscore or a character 128 ... 254.
bool IsIndexNameStart(unsigned char c);

// Checks a header read from disk against the table's fields (indexed from
// 0 for field number 1). Raises 12035 for a version other than 5 and 8961
// for any other fault (secondary count above 30, a bad index descriptor or
// page number); `table` names the table in the error.
void VerifyIndexHeader(const TIndexFileHeader& h,
                       std::span<const TFieldDescriptor> fields,
                       const std::string& table);

}  // namespace kura
