// Values of record fields as SQL values and back, and the field descriptor
// of a result column. BLOB contents live in the table's BLOB file: a BLOB
// field reads as null here and is stored as null (see result_rows.h for
// the rows that carry them).
#pragma once

#include <cstdint>
#include <string>

#include "engine/expr/sql_value.h"
#include "engine/storage/record_file_format.h"

namespace kura {
class TableCollation;
}

namespace kura::sql {

// The value of field `f` in the record image `rec`; a null field is a null
// Value of the field's type.
Value ReadFieldValue(const std::uint8_t* rec, const TFieldDescriptor& f);

// Stores `v` into field `f` of `rec`, converting it to the field's type
// first; a null value (or one that does not convert) stores null. Raises
// 11949 for an integer the field cannot hold.
void WriteFieldValue(std::uint8_t* rec, const TFieldDescriptor& f, const Value& v,
                     const TableCollation* collation);

// `v` as a column of type `type` holds it (converted when its type differs;
// integers that the type cannot hold raise 11949).
Value ColumnValue(const Value& v, int type, int subType);

// True when `v` fits an integer field of type `type` (16, 32 or 64 bits).
bool FitsIntegerField(int type, std::int64_t v);

// The descriptor (number, name, type, size) of a result column holding
// values of the given type. Raises
// 11949 "Column expression '<text>' exceeds the maximum allowable field
// size" for a text longer than a field can hold.
TFieldDescriptor ResultColumnField(std::uint16_t number, const std::string& name, int type,
                                   int subType, int size, const std::string& text);

}  // namespace kura::sql
