#include "engine/expr/date_time.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kura::sql {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Day number of 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 719163;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads 1..maxDigits decimal digits at text[pos]; advances pos.
std::optional<int> ReadNumber(std::string_view text, std::size_t& pos,
                              int maxDigits) {
  int value = 0;
  int digits = 0;
  while (pos < text.size() && digits < maxDigits && text[pos] >= '0' &&
         text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Parses a date at the start of text; pos is left after it.
std::optional<std::int32_t> ParseDatePrefix(std::string_view text,
                                            std::size_t& pos) {
  auto year = ReadNumber(text, pos, 4);
  if (!year || pos >= text.size() || (text[pos] != '-' && text[pos] != '/'))
    return std::nullopt;
  const char sep = text[pos++];
  auto month = ReadNumber(text, pos, 2);
  if (!month || pos >= text.size() || text[pos] != sep) return std::nullopt;
  ++pos;
  auto day = ReadNumber(text, pos, 2);
  if (!day || *year < 1 || *month < 1 || *month > 12 || *day < 1 ||
      *day > DaysInMonth(*year, *month))
    return std::nullopt;
  return DayNumber(*year, *month, *day);
}

std::optional<std::int32_t> ParseTimeAt(std::string_view text,
                                        std::size_t pos) {
  auto hour = ReadNumber(text, pos, 2);
  if (!hour || pos >= text.size() || text[pos] != ':') return std::nullopt;
  ++pos;
  auto minute = ReadNumber(text, pos, 2);
  if (!minute) return std::nullopt;
  int second = 0;
  int ms = 0;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    auto s = ReadNumber(text, pos, 2);
    if (!s) return std::nullopt;
    second = *s;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      const std::size_t start = pos;
      auto frac = ReadNumber(text, pos, 3);
      if (!frac) return std::nullopt;
      ms = *frac;
      for (std::size_t n = pos - start; n < 3; ++n) ms *= 10;
    }
  }
  int h = *hour;
  std::string_view rest = TrimBlanks(text.substr(pos));
  if (!rest.empty()) {
    const bool am = rest == "AM" || rest == "am";
    const bool pm = rest == "PM" || rest == "pm";
    if ((!am && !pm) || h < 1 || h > 12) return std::nullopt;
    h = (h % 12) + (pm ? 12 : 0);
  }
  if (h > 23 || *minute > 59 || second > 59) return std::nullopt;
  return ((h * 60 + *minute) * 60 + second) * 1000 + ms;
}

}  // namespace

std::int32_t DayNumber(int year, int month, int day) {
  return static_cast<std::int32_t>(
      DaysFromCivil(year, static_cast<unsigned>(month),
                    static_cast<unsigned>(day)) + kUnixEpochDay);
}

CivilDate DateOfDayNumber(std::int64_t dayNumber) {
  std::int64_t z = dayNumber - kUnixEpochDay + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m),
          static_cast<int>(d)};
}

std::optional<std::int32_t> ParseDate(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t pos = 0;
  auto day = ParseDatePrefix(text, pos);
  if (!day || pos != text.size()) return std::nullopt;
  return day;
}

std::optional<std::int32_t> ParseTime(std::string_view text) {
  return ParseTimeAt(TrimBlanks(text), 0);
}

std::optional<double> ParseTimestamp(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t pos = 0;
  auto day = ParseDatePrefix(text, pos);
  if (!day) return std::nullopt;
  std::int32_t ms = 0;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == 'T')) ++pos;
    auto time = ParseTimeAt(text, pos);
    if (!time) return std::nullopt;
    ms = *time;
  }
  return static_cast<double>(*day) * kMsPerDay + ms;
}

std::string FormatDate(std::int64_t dayNumber) {
  const CivilDate d = DateOfDayNumber(dayNumber);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string FormatTime(std::int64_t ms) {
  ms = ((ms % kMsPerDay) + kMsPerDay) % kMsPerDay;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d",
                static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
  return buf;
}

std::string FormatTimestamp(double timestamp) {
  if (!std::isfinite(timestamp) || std::fabs(timestamp) > 1e18) return "";
  const auto total = static_cast<std::int64_t>(std::floor(timestamp));
  std::int64_t day = total / kMsPerDay;
  std::int64_t ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --day;
  }
  return FormatDate(day) + " " + FormatTime(ms);
}

namespace {
std::tm LocalNow(int* msOut) {
  std::timespec ts{};
  std::timespec_get(&ts, TIME_UTC);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  *msOut = static_cast<int>(ts.tv_nsec / 1000000);
  return tm;
}
}  // namespace

std::int32_t CurrentDate() {
  int ms = 0;
  const std::tm tm = LocalNow(&ms);
  return DayNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::int32_t CurrentTime() {
  int ms = 0;
  const std::tm tm = LocalNow(&ms);
  return ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 1000 + ms;
}

double CurrentTimestamp() {
  int ms = 0;
  const std::tm tm = LocalNow(&ms);
  const std::int32_t day = DayNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return static_cast<double>(day) * kMsPerDay +
         ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 1000 + ms;
}

}  // namespace kura::sql
