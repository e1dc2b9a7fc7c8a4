// The two ways Windows local dates are written, for the tests that hold one against the
// other.
#pragma once

#include <string>

#include "platform/local_time.h"

namespace tallymark::platform {

enum class DateFormatting {
  System,    // GetDateFormatEx and GetTimeFormatEx, which refuse years before 1601
  Patterns,  // formatDatePicture with the locale's short date and time patterns
};

// `when` as formatLocalDateTime writes it, for the locale named `locale` ("de-DE"; null
// for the user's own). Empty when that way cannot write it: the system for years
// before 1601, the patterns for a calendar that counts years otherwise than the
// Gregorian one.
std::string formatDateTimeIn(const wchar_t* locale, const LocalDateTime& when, DateFormatting way);

}  // namespace tallymark::platform
