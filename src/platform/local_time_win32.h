// The two ways Windows local dates are written, for the tests that hold one against the
// other, and the two sets of locale calls they are written with.
#pragma once

#include <string>

#include "platform/local_time.h"

namespace tallymark::platform {

enum class DateFormatting {
  System,    // GetDateFormat(Ex) and GetTimeFormat(Ex), which refuse years before 1601
  Patterns,  // formatDatePicture with the locale's short date and time patterns
};

// `when` as formatLocalDateTime writes it, for the locale named `locale` ("de-DE"; null
// for the user's own). Empty when that way cannot write it: the system for years
// before 1601, the patterns for a calendar that counts years otherwise than the
// Gregorian one.
std::string formatDateTimeIn(const wchar_t* locale, const LocalDateTime& when, DateFormatting way);

// Whether dates are written with the calls that take a locale's name (GetLocaleInfoEx and
// its kin), which the system has from Vista on; otherwise with those that take an LCID,
// as on Windows XP, where a locale other than the user's is known only when the system
// can look its name up. The named calls are used when the system reports Vista or later
// and kernel32 exports all four.
bool namedLocaleCallsInUse();

// Test seam: true makes every later date use the LCID calls, as on Windows XP; false
// gives the system's choice back. A date being written keeps the calls it started with.
void forceLcidLocaleCalls(bool forced);

}  // namespace tallymark::platform
