#include "main_form/clock_text.h"

#include <cstdio>

namespace sorabeku {

std::string ClockText(const LocalTime& time) {
  const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
  const char* half = time.hour < 12 ? "AM" : "PM";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d  %02d:%02d %s",
                time.month % 100, time.day % 100, hour12, time.minute % 100,
                half);
  return buffer;
}

}  // namespace sorabeku
