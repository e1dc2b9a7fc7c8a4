// The wall clock together with its distance from UTC, for records that must read
// unambiguously across time zones and daylight-saving changes.
#pragma once

#include "platform/local_time.h"

namespace tallymark::platform {

struct ZonedDateTime {
  LocalDateTime local;
  int utcOffsetMinutes = 0;  // local time minus UTC: 420 for UTC+07:00, -300 for UTC-05:00
};

// The current local date and time with the UTC offset in force at that instant, both
// taken from one reading of the system clock.
ZonedDateTime zonedNow();

}  // namespace tallymark::platform
