#include "counter/ole_date.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace tallymark::counter {
namespace {

constexpr int64_t kMsPerDay = 86400000;
// Day 0 of the OLE calendar, counted from 1 January 1970.
constexpr int64_t kOleEpochFromUnix = -25569;

// Days from 1 January 1970 to a proleptic Gregorian date, and back (Hinnant's
// algorithms: exact over the whole range, no floating point).
int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool isLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

}  // namespace

std::optional<LocalDateTime> dateTimeFromOleDate(double value) {
  // Written so that NaN fails the test.
  if (!(value > kOleDateFirstDay - 1.0 && value < kOleDateLastDay + 1.0)) return std::nullopt;
  const double whole = std::trunc(value);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {  // rounded up to the next midnight, forward in time either way
    ms -= kMsPerDay;
    day += 1;
  }
  LocalDateTime t;
  civilFromDays(day + kOleEpochFromUnix, t.year, t.month, t.day);
  if (t.year > 9999) return std::nullopt;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

double oleDateFromDateTime(const LocalDateTime& t) {
  if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > daysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
      t.minute > 59 || t.second < 0 || t.second > 59 || t.millisecond < 0 || t.millisecond > 999) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  const double day = static_cast<double>(daysFromCivil(t.year, t.month, t.day) - kOleEpochFromUnix);
  const int64_t ms = ((t.hour * 60 + t.minute) * 60 + t.second) * int64_t{1000} + t.millisecond;
  const double fraction = static_cast<double>(ms) / kMsPerDay;
  return day < 0 ? day - fraction : day + fraction;
}

}  // namespace tallymark::counter
