#include <windows.h>

#include "platform/zoned_time.h"

namespace tallymark::platform {
namespace {

long long ticksOf(const SYSTEMTIME& time) {
  FILETIME file{};
  SystemTimeToFileTime(&time, &file);
  return static_cast<long long>((static_cast<unsigned long long>(file.dwHighDateTime) << 32) |
                                file.dwLowDateTime);
}

}  // namespace

ZonedDateTime zonedNow() {
  // One reading of the clock, converted with the zone rules in force at that instant:
  // GetLocalTime and GetSystemTime called one after the other could straddle a second.
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  SYSTEMTIME local = utc;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  constexpr long long kTicksPerMinute = 600000000;  // 100 ns ticks
  const long long difference = ticksOf(local) - ticksOf(utc);
  ZonedDateTime zoned;
  zoned.local = LocalDateTime{local.wYear,   local.wMonth,  local.wDay,         local.wHour,
                              local.wMinute, local.wSecond, local.wMilliseconds};
  zoned.utcOffsetMinutes = static_cast<int>(
      (difference + (difference < 0 ? -kTicksPerMinute / 2 : kTicksPerMinute / 2)) /
      kTicksPerMinute);
  return zoned;
}

}  // namespace tallymark::platform
