// Field values of a record image as SQL values, and back: what filters test
// and what the cursor's callers read and assign. BLOB fields are not read
// here (the image holds only a reference); the cursor reads them through
// the BLOB file.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/expr/sql_value.h"
#include "engine/storage/record_file_format.h"

namespace kura {

class TableCollation;

// The value of field `f` in the image `rec`: a null field is a null value
// of the field's type. Strings are read up to their first zero byte; BCD
// values are held with four decimal places; BLOB fields give a null of
// their type when empty and an empty text otherwise (the caller reads the
// value).
sql::Value ReadFieldValue(const std::uint8_t* rec, const TFieldDescriptor& f);

// Stores `v` into field `f` of the image, converted to the field's type; a
// null value, or one that cannot be converted, clears the field. Strings
// lose trailing blanks and take the field's case conversion with
// `collation` (may be null). Not for BLOB and auto-increment fields.
void StoreFieldValue(std::uint8_t* rec, const TFieldDescriptor& f, const sql::Value& v,
                     const TableCollation* collation);

// The value of a default, minimum or maximum text for field `f`; null for
// an empty or invalid text. CURRENT_DATE, CURRENT_TIME and
// CURRENT_TIMESTAMP (any case) take `now` (days since 1899-12-30 with the
// time of day as fraction).
sql::Value LiteralValue(const TFieldDescriptor& f, std::string_view text, double now);

// Clears the image (record length bytes) and gives every field with a
// default text its default value; `now` as for LiteralValue.
void InitRecordImage(std::uint8_t* rec, std::uint32_t length,
                     const std::vector<TFieldDescriptor>& fields,
                     const TableCollation* collation, double now);

// Writes a packed BCD record (34 bytes) holding v with four decimal places.
void EncodeBcd(double v, std::uint8_t* out);

}  // namespace kura
