#include <windows.h>

#include "platform/clock.h"

namespace tallymark::platform {

uint32_t monotonicMillis() {
  return GetTickCount();
}

// FILETIME counts 100 ns units since 1601-01-01; 11644473600 s lie between that and 1970.
int64_t utcMillisNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return static_cast<int64_t>(ticks.QuadPart / 10000) - 11644473600000LL;
}

}  // namespace tallymark::platform
