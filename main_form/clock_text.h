// The status bar clock.
#pragma once

#include <string>

#include "form/services.h"

namespace sorabeku {

// "mm/dd  hh:mm AM/PM": month and day with two digits, two spaces, the hour
// on the 12-hour clock (01..12), minutes, a space and AM or PM.
// 23:05 on 8 December gives "12/08  11:05 PM"; 00:30 gives "12:30 AM".
std::string ClockText(const LocalTime& time);

}  // namespace sorabeku
