// Field values in a record image (the slot bytes of one record), and the
// check of the default, minimum and maximum texts of a field descriptor.
//
// Each stored field is a presence byte (1 = value, 0 = null) followed by
// its value at the descriptor's slot offset; an auto-increment field has no
// slot and reads the record's row id. Callers pass a buffer of the table's
// record length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/storage/record_file_format.h"

namespace kura {

class TableCollation;

// Record header accessors (offsets 0, 1 and 5 of a slot).
std::uint8_t RecordStatus(const std::uint8_t* rec);
std::int32_t RecordLink(const std::uint8_t* rec);
std::int32_t RecordRowId(const std::uint8_t* rec);
void SetRecordHeader(std::uint8_t* rec, std::uint8_t status, std::int32_t link,
                     std::int32_t rowId);

bool IsFieldNull(const std::uint8_t* rec, const TFieldDescriptor& f);
// Clears the presence byte and zeroes the value bytes.
void SetFieldNull(std::uint8_t* rec, const TFieldDescriptor& f);

// A string value: the characters up to the first zero byte; nullopt when
// null.
std::optional<std::string> GetFieldString(const std::uint8_t* rec,
                                          const TFieldDescriptor& f);
// Stores a string: trailing blanks are removed, then the descriptor's case
// conversion is applied with `collation` (may be null for no conversion);
// an empty result is stored as null. The text is cut to the declared size
// and followed by one zero byte; the bytes after it are left as they were.
void SetFieldString(std::uint8_t* rec, const TFieldDescriptor& f,
                    std::string_view value, const TableCollation* collation);

// Integer-like fields (small integer, integer, word, boolean, large
// integer, date, time, unsigned 32-bit) and the auto-increment field (the
// row id). Booleans store any non-zero value as 1.
std::optional<std::int64_t> GetFieldInt(const std::uint8_t* rec,
                                        const TFieldDescriptor& f);
void SetFieldInt(std::uint8_t* rec, const TFieldDescriptor& f, std::int64_t v);

// Float, money and timestamp fields.
std::optional<double> GetFieldDouble(const std::uint8_t* rec,
                                     const TFieldDescriptor& f);
void SetFieldDouble(std::uint8_t* rec, const TFieldDescriptor& f, double v);

// Raw value bytes (bytes, variable bytes, BCD, extended): `value` is cut
// or zero-padded to the stored size.
std::optional<std::string> GetFieldBytes(const std::uint8_t* rec,
                                         const TFieldDescriptor& f);
void SetFieldBytes(std::uint8_t* rec, const TFieldDescriptor& f,
                   std::string_view value);

// A BLOB field's reference: first block (0 = no value) and serial.
struct BlobRef {
  std::int32_t firstBlock = 0;
  std::int32_t serial = 0;
};
BlobRef GetBlobRef(const std::uint8_t* rec, const TFieldDescriptor& f);
// A first block of 0 stores null.
void SetBlobRef(std::uint8_t* rec, const TFieldDescriptor& f, BlobRef ref);

// True when `text` is a valid default, minimum or maximum text for `f`:
// empty; for strings and bytes at most the declared size; whole numbers in
// the range of integer types; decimal numbers for float and BCD; TRUE or
// FALSE for booleans; YYYY-MM-DD or MM/DD/YYYY for dates, HH:MM[:SS[.mmm]]
// for times, a date optionally followed by a blank and a time for
// timestamps; "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP" (any
// case) for the matching type; any text for BLOBs.
bool IsValidFieldLiteral(const TFieldDescriptor& f, std::string_view text);

}  // namespace kura
