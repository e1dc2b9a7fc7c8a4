#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <string>

#include "platform/local_time.h"

namespace tallymark::platform {
namespace {

// The environment's LC_TIME locale, made once without touching the process's global
// locale (which belongs to the host program).
locale_t timeLocale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    return l != static_cast<locale_t>(0) ? l
                                         : newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  }();
  return locale;
}

// The locale's date format followed by its time format. A two-digit year would show
// the OLE epoch (1899) as "99", so the year is always written in full.
const std::string& dateTimeFormat() {
  static const std::string format = [] {
    std::string date = nl_langinfo_l(D_FMT, timeLocale());
    for (size_t at = date.find("%y"); at != std::string::npos; at = date.find("%y", at))
      date[at + 1] = 'Y';
    return date + " " + nl_langinfo_l(T_FMT, timeLocale());
  }();
  return format;
}

}  // namespace

namespace detail {
LocalDateTime systemLocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return LocalDateTime{local.tm_year + 1900,
                       local.tm_mon + 1,
                       local.tm_mday,
                       local.tm_hour,
                       local.tm_min,
                       local.tm_sec,
                       static_cast<int>(now.tv_nsec / 1000000)};
}
}  // namespace detail

// The fields of `when`, daylight saving left to the zone's rules.
static tm toTm(const LocalDateTime& when) {
  tm t{};
  t.tm_year = when.year - 1900;
  t.tm_mon = when.month - 1;
  t.tm_mday = when.day;
  t.tm_hour = when.hour;
  t.tm_min = when.minute;
  t.tm_sec = when.second;
  t.tm_isdst = -1;
  return t;
}

std::string formatLocalDateTime(const LocalDateTime& when) {
  tm t = toTm(when);
  t.tm_wday = dayOfWeek(when);
  char text[128];
  if (timeLocale() == static_cast<locale_t>(0)) return formatIsoDateTime(when);
  const size_t n = strftime_l(text, sizeof text, dateTimeFormat().c_str(), &t, timeLocale());
  if (n == 0) return formatIsoDateTime(when);
  return std::string(text, n);
}

bool utcMillisFromLocal(const LocalDateTime& when, int64_t& utcMs) {
  tm fields = toTm(when);
  // -1 is both the failure and 1969-12-31T23:59:59Z; mktime fills tm_wday only on success.
  fields.tm_wday = -1;
  time_t seconds = mktime(&fields);
  if (seconds == static_cast<time_t>(-1) && fields.tm_wday == -1) return false;
  utcMs = static_cast<int64_t>(seconds) * 1000 + when.millisecond;
  return true;
}

}  // namespace tallymark::platform
