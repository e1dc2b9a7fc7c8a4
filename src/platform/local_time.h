// The local wall clock, and local dates and times as the operator reads them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

// The current local date and time by the system's clock, to the millisecond.
LocalDateTime localNow();

// `when` in the user's regional short date, a space, and the long time, in UTF-8
// (Windows: the user's default locale; elsewhere the environment's LC_TIME locale).
// Windows refuses to format years before 1601; such dates are written from the
// locale's own short date and time patterns, which give the same text. Only a locale
// whose calendar does not count years as the Gregorian one does (Thai, Hijri) has them
// as "yyyy-mm-dd hh:mm:ss" instead. Fields must hold a valid date and time.
std::string formatLocalDateTime(const LocalDateTime& when);

// What a Windows date or time picture refers to, in the locale's own words (UTF-8).
struct DatePictureNames {
  std::string am;
  std::string pm;
  std::string era;
  std::string months[12];
  std::string abbreviatedMonths[12];
  std::string days[7];  // Sunday first
  std::string abbreviatedDays[7];
};

// `when` written by a Windows date or time picture (UTF-8, "M/d/yyyy", "HH:mm:ss"):
// d dd ddd dddd, M MM MMM MMMM, y yy yyyy, g gg, h hh H HH, m mm, s ss, t tt; text in
// single quotes as it stands, '' for a quote; any other character as it stands.
// Unlike the system's own formatting it takes every year from 100 to 9999.
std::string formatDatePicture(std::string_view picture, const LocalDateTime& when,
                              const DatePictureNames& names);

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
