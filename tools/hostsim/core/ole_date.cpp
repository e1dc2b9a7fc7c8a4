#include "ole_date.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tallymark::hostsim {

namespace {

constexpr double kFirstOleDate = -657434.0;         // 100-01-01 00:00
constexpr double kLastOleDate = 2958465.999994213;  // 9999-12-31 23:59:59.5
constexpr int64_t kOleEpochToUnixDays = 25569;      // 1899-12-30 .. 1970-01-01

// Days since 1970-01-01 to a proleptic Gregorian date.
void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

}  // namespace

std::string formatOleDate(double value) {
  char text[64];
  if (!(value >= kFirstOleDate && value <= kLastOleDate)) {
    std::snprintf(text, sizeof text, "(not a date: %g)", value);
    return text;
  }
  // Before 1899-12-30 the whole part still counts days, but the fraction is the time of
  // day forward from midnight: -1.25 is 29 December 1899, 06:00.
  double dayPart = std::trunc(value);
  int64_t day = static_cast<int64_t>(dayPart);
  int64_t seconds = std::llround(std::fabs(value - dayPart) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;
  }
  int64_t year;
  unsigned month, dayOfMonth;
  civilFromDays(day - kOleEpochToUnixDays, year, month, dayOfMonth);
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld",
                static_cast<long long>(year), month, dayOfMonth,
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace tallymark::hostsim
