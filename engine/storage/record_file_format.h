// The data file's header and field descriptors as values, and their byte
// codec. The layouts are documented above the encoders in
// record_file_format.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/storage/file_format.h"

namespace kura {

// Field type codes stored at descriptor offset 84.
enum FieldType : std::uint8_t {
  kFieldString = 1,
  kFieldDate = 2,
  kFieldBlob = 3,
  kFieldBoolean = 4,
  kFieldSmallInt = 5,
  kFieldInteger = 6,
  kFieldFloat = 7,
  kFieldBcd = 8,
  kFieldBytes = 9,
  kFieldTime = 10,
  kFieldTimestamp = 11,
  kFieldWord = 12,
  kFieldUInt32 = 13,
  kFieldExtended = 14,
  kFieldVarBytes = 15,
  kFieldLargeInt = 18,
};

// Subtype codes stored at descriptor offset 85.
inline constexpr std::uint8_t kSubtypeFixedChar = 31;
inline constexpr std::uint8_t kSubtypeWideString = 32;
inline constexpr std::uint8_t kSubtypeAutoIncrement = 29;
inline constexpr std::uint8_t kSubtypeMoney = 21;
inline constexpr std::uint8_t kSubtypeMemo = 22;
inline constexpr std::uint8_t kSubtypeFormattedMemo = 24;
inline constexpr std::uint8_t kSubtypeGraphic = 26;
inline constexpr std::uint8_t kSubtypeTypedBinary = 28;

// Case conversion of strings on store (descriptor offset 93).
inline constexpr std::uint8_t kCaseNone = 0;
inline constexpr std::uint8_t kCaseLower = 1;
inline constexpr std::uint8_t kCaseUpper = 2;

struct TDataFileHeader {
  std::int32_t changeCounter = 0;
  std::uint32_t blobBlockSize = 0;  // 0 means 512
  std::uint8_t version = kFileFormatVersion;
  std::int32_t firstFreeRecord = 0;
  std::int32_t nextRecordNumber = 1;
  std::int32_t lastRowId = 0;
  std::uint16_t recordLength = 0;
  std::uint16_t fieldCount = 0;
  std::uint16_t blobFieldCount = 0;
  double lastWriteTime = 0.0;
  std::array<std::uint8_t, 51> description{};  // String[50], raw bytes
  std::uint8_t encrypted = 0;
  std::array<std::uint8_t, 16> password{};     // String[15], raw bytes
  std::int16_t languageId = 0;
  std::int16_t sortId = 0;
  std::int16_t userMajorVersion = 0;
  std::int16_t userMinorVersion = 0;
  std::uint8_t headerChangedFlag = 0;
  std::int32_t lastBlobSerial = 0;
  std::int64_t engineVersion = kEngineVersion;
  std::array<std::uint8_t, 3> reserved{};

  // The BLOB block size in effect: 512 when the stored value is 0.
  std::uint32_t EffectiveBlobBlockSize() const {
    return blobBlockSize == 0 ? kDefaultBlobBlockSize : blobBlockSize;
  }
};

struct TFieldDescriptor {
  std::uint16_t number = 0;
  std::string name;         // String[30]
  std::string description;  // String[50]
  std::uint8_t type = 0;
  std::uint8_t subtype = 0;
  std::uint8_t declaredSize = 0;
  std::uint8_t declaredScale = 0;
  std::uint8_t storedSize = 0;
  std::uint8_t storedScale = 0;
  std::uint16_t offset = 0;  // slot offset within the record
  std::uint8_t required = 0;
  std::uint8_t caseConversion = kCaseNone;
  std::string minimum;       // String[50]
  std::string maximum;       // String[50]
  std::string defaultValue;  // String[50]
  std::uint8_t computed = 0;
  std::array<std::uint8_t, 520> extra{};  // carried unchanged

  bool IsAutoIncrement() const {
    return type == kFieldInteger && subtype == kSubtypeAutoIncrement;
  }
  // True when the field occupies a slot (presence byte + value) of its own.
  bool HasSlot() const { return !IsAutoIncrement() && computed == 0; }
  // Bytes of the field's slot: presence byte + stored size, or 0.
  std::uint32_t SlotLength() const { return HasSlot() ? 1u + storedSize : 0u; }
};

// A descriptor with the given number, name, type, declared size and
// subtype and every other member at its default.
TFieldDescriptor MakeField(std::uint16_t number, std::string name,
                           std::uint8_t type, std::uint8_t declaredSize = 0,
                           std::uint8_t subtype = 0);

// Stored size of a value of `type` (declared size for strings and bytes);
// 0 for an unknown type.
std::uint8_t StoredSizeOf(std::uint8_t type, std::uint8_t declaredSize);

// True for the types whose declared size is 1 ... 250 (strings, bytes,
// variable bytes).
bool HasDeclaredSize(std::uint8_t type);

// Writes the 127-byte header at dst.
void EncodeDataHeader(const TDataFileHeader& h, std::uint8_t* dst);
// Reads the 127-byte header at src; no value is checked.
TDataFileHeader DecodeDataHeader(const std::uint8_t* src);

// Writes the 768-byte descriptor at dst.
void EncodeFieldDescriptor(const TFieldDescriptor& d, std::uint8_t* dst);
// Reads the 768-byte descriptor at src; no value is checked.
TFieldDescriptor DecodeFieldDescriptor(const std::uint8_t* src);

// Sets the stored sizes and slot offsets of `fields` (offsets from 9, the
// auto-increment field at 5) and returns the record length
// 9 + sum of the slots. Declared sizes of types without one and scales of
// types other than BCD are set to 0.
std::uint32_t LayOutFields(TFieldDescriptor* fields, std::size_t count);

}  // namespace kura
