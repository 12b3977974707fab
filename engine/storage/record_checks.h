// The value rules of field descriptors applied to a record image: default
// values when a record is initialised, and the required, minimum and
// maximum checks before an insert or update.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/record_file_format.h"

namespace kura {

class TableCollation;

// Day number of a date (0001-01-01 is day 1, 1899-12-30 day 693594).
std::int32_t DayNumber(int year, int month, int day);
// The value a default, minimum or maximum text stands for in the stored
// encoding of `f`'s type (day number, milliseconds, timestamp, integer or
// float as a double); nullopt for texts that name no fixed value
// ("CURRENT_DATE" ...), strings and bytes, and invalid texts.
std::optional<double> LiteralValue(const TFieldDescriptor& f, std::string_view text);

// Fills every field that has a default text with its value (the
// "CURRENT_..." texts with `localNow`, days since 1899-12-30 with the time
// as fraction); other fields are left as they are.
void ApplyDefaults(std::uint8_t* rec, const std::vector<TFieldDescriptor>& fields,
                   const TableCollation* collation, double localNow);

// Raises 9732 for a required field without a value, 9730 for a value below
// the field's minimum and 9731 for one above its maximum, naming the field
// and `table`. Strings compare with `collation` (byte order when null).
void CheckRecordValues(const std::uint8_t* rec, const std::vector<TFieldDescriptor>& fields,
                       const TableCollation* collation, const std::string& table);

}  // namespace kura
