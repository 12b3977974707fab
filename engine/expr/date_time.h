// Dates, times and timestamps as the engine holds them: a date is a day
// number (0001-01-01 is day 1, 1899-12-30 is day 693594), a time is
// milliseconds since midnight, a timestamp is day number * 86400000 + ms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kura::sql {

inline constexpr std::int64_t kMsPerDay = 86400000;
// The day number of 1899-12-30, day 0 of the stored date-times (a day
// count with the time of day as fraction).
inline constexpr std::int32_t kDayOf18991230 = 693594;

// Day number of a proleptic Gregorian date; the date must be valid.
std::int32_t DayNumber(int year, int month, int day);

struct CivilDate {
  int year;
  int month;
  int day;
};
// The date of a day number (inverse of DayNumber).
CivilDate DateOfDayNumber(std::int64_t dayNumber);

// Parses "yyyy-mm-dd" (also with "/" as separator) into a day number;
// nullopt when the text is no valid date of the years 1..9999.
std::optional<std::int32_t> ParseDate(std::string_view text);

// Parses "hh:mm[:ss[.zzz]]" with an optional " AM" or " PM" into
// milliseconds since midnight; nullopt when the text is no valid time.
std::optional<std::int32_t> ParseTime(std::string_view text);

// Parses a date, optionally followed by blanks and a time, into a timestamp.
std::optional<double> ParseTimestamp(std::string_view text);

// "yyyy-mm-dd", "hh:mm:ss.zzz" and "yyyy-mm-dd hh:mm:ss.zzz".
std::string FormatDate(std::int64_t dayNumber);
std::string FormatTime(std::int64_t ms);
std::string FormatTimestamp(double timestamp);

// The local date, time of day and timestamp now.
std::int32_t CurrentDate();
std::int32_t CurrentTime();
double CurrentTimestamp();

}  // namespace kura::sql
