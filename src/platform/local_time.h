// The local wall clock, and local dates and times as the operator reads them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tallymark::platform {

// A local calendar date and time of day, proleptic Gregorian calendar.
struct LocalDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The current local date and time, to the millisecond (or the test clock's answer).
LocalDateTime localNow();

// Replaces the wall clock for localNow(); an empty function restores the real one.
// Not thread-safe: set it before the code under test runs.
void setLocalClock(std::function<LocalDateTime()> clock);

// `when` in the user's regional short date, a space, and the long time, in UTF-8
// (Windows: the user's default locale; elsewhere the environment's LC_TIME locale).
// Dates the system cannot format (Windows refuses years before 1601) come out as
// "yyyy-mm-dd hh:mm:ss" instead. Fields must hold a valid date and time.
std::string formatLocalDateTime(const LocalDateTime& when);

// "yyyy-mm-dd hh:mm:ss", independent of any locale.
std::string formatIsoDateTime(const LocalDateTime& when);

// 0 for Sunday .. 6 for Saturday.
int dayOfWeek(const LocalDateTime& when);

namespace detail {
LocalDateTime systemLocalNow();
}  // namespace detail

// `when`, a local date and time, as milliseconds since 1970-01-01T00:00:00Z, by the time
// zone rules the system has for that date (daylight saving included). False when the
// system cannot convert it (Windows: years before 1601). In the hour that a change to
// winter time repeats, the system picks one of the two instants.
bool utcMillisFromLocal(const LocalDateTime& when, int64_t& utcMs);

}  // namespace tallymark::platform
