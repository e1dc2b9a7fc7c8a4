// OLE Automation dates: days since 30 December 1899, 00:00, local time. The integer part
// counts whole days (backward for negative values) and the fraction is always the time
// of day counted forward from midnight: -1.25 is 29 December 1899, 06:00.
#pragma once

#include <optional>

#include "platform/local_time.h"

namespace tallymark::counter {

using tallymark::platform::LocalDateTime;

// The range of OLE Automation dates: 1 January 100 to 31 December 9999.
inline constexpr double kOleDateFirstDay = -657434.0;  // 1 January 100
inline constexpr double kOleDateLastDay = 2958465.0;   // 31 December 9999

// The date and time `value` stands for, rounded to the nearest millisecond. Empty for
// NaN, infinities and values outside the range (including a value that rounds up into
// 1 January 10000).
std::optional<LocalDateTime> dateTimeFromOleDate(double value);

// The OLE Automation date of `when`, to the millisecond. NaN when a field is out of its
// range (month 1..12, a day the month has, hour 0..23, minute and second 0..59,
// millisecond 0..999) or the year is outside 100..9999.
double oleDateFromDateTime(const LocalDateTime& when);

}  // namespace tallymark::counter
