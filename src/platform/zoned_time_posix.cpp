#include <time.h>

#include "platform/zoned_time.h"

namespace tallymark::platform {

ZonedDateTime zonedNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  ZonedDateTime zoned;
  zoned.local = LocalDateTime{local.tm_year + 1900,
                              local.tm_mon + 1,
                              local.tm_mday,
                              local.tm_hour,
                              local.tm_min,
                              local.tm_sec,
                              static_cast<int>(now.tv_nsec / 1000000)};
  zoned.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
  return zoned;
}

}  // namespace tallymark::platform
