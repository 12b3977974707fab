#include "training/progress/answer_record.h"

#include <ctime>

namespace sorabeku::progress {

int LocalDay(std::int64_t when) {
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm local{};
  localtime_r(&t, &local);
  // The same wall-clock date read as UTC: whole days since 1970-01-01.
  local.tm_hour = 12;
  local.tm_min = local.tm_sec = 0;
  local.tm_isdst = 0;
  const std::int64_t noon = timegm(&local);
  return static_cast<int>((noon - 12 * 3600) / 86400);
}

}  // namespace sorabeku::progress
