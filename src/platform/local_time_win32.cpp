#include "platform/local_time_win32.h"

#include <windows.h>

#include "platform/local_time.h"
#include "platform/win32_text.h"

namespace tallymark::platform {

namespace detail {
LocalDateTime systemLocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return LocalDateTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                       st.wMinute, st.wSecond, st.wMilliseconds};
}
}  // namespace detail

namespace {

std::wstring localeText(const wchar_t* locale, LCTYPE type) {
  wchar_t text[128];
  const int n = GetLocaleInfoEx(locale, type, text, 128);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n - 1)) : std::wstring();
}

std::string localeName(const wchar_t* locale, LCTYPE type) {
  return narrow(localeText(locale, type));
}

// The Gregorian calendar and its variants that differ only in their names.
bool countsGregorianYears(CALID calendar) {
  return calendar == CAL_GREGORIAN || calendar == CAL_GREGORIAN_US ||
         (calendar >= CAL_GREGORIAN_ME_FRENCH && calendar <= CAL_GREGORIAN_XLIT_FRENCH);
}

std::string fromPatterns(const wchar_t* locale, const LocalDateTime& when) {
  CALID calendar = 0;
  if (GetLocaleInfoEx(locale, LOCALE_ICALENDARTYPE | LOCALE_RETURN_NUMBER,
                      reinterpret_cast<wchar_t*>(&calendar),
                      sizeof calendar / sizeof(wchar_t)) == 0 ||
      !countsGregorianYears(calendar)) {
    return {};
  }
  DatePictureNames names;
  names.am = localeName(locale, LOCALE_S1159);
  names.pm = localeName(locale, LOCALE_S2359);
  wchar_t era[64] = L"";
  GetCalendarInfoEx(locale, calendar, nullptr, CAL_SERASTRING, era, 64, nullptr);
  names.era = narrow(era);
  for (int i = 0; i < 12; ++i) {
    names.months[i] = localeName(locale, static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + i));
    names.abbreviatedMonths[i] =
        localeName(locale, static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i));
  }
  // The system's days start on Monday, ours on Sunday.
  for (int i = 0; i < 7; ++i) {
    names.days[(i + 1) % 7] = localeName(locale, static_cast<LCTYPE>(LOCALE_SDAYNAME1 + i));
    names.abbreviatedDays[(i + 1) % 7] =
        localeName(locale, static_cast<LCTYPE>(LOCALE_SABBREVDAYNAME1 + i));
  }
  return formatDatePicture(localeName(locale, LOCALE_SSHORTDATE), when, names) + " " +
         formatDatePicture(localeName(locale, LOCALE_STIMEFORMAT), when, names);
}

std::string throughSystem(const wchar_t* locale, const LocalDateTime& when) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(when.year);
  st.wMonth = static_cast<WORD>(when.month);
  st.wDayOfWeek = static_cast<WORD>(dayOfWeek(when));
  st.wDay = static_cast<WORD>(when.day);
  st.wHour = static_cast<WORD>(when.hour);
  st.wMinute = static_cast<WORD>(when.minute);
  st.wSecond = static_cast<WORD>(when.second);
  st.wMilliseconds = static_cast<WORD>(when.millisecond);
  wchar_t date[128];
  wchar_t time[128];
  // Both refuse dates before 1601 (they validate through FILETIME).
  if (GetDateFormatEx(locale, DATE_SHORTDATE, &st, nullptr, date, 128, nullptr) == 0 ||
      GetTimeFormatEx(locale, 0, &st, nullptr, time, 128) == 0) {
    return {};
  }
  std::wstring text = date;
  text += L' ';
  text += time;
  return narrow(text);
}

}  // namespace

std::string formatDateTimeIn(const wchar_t* locale, const LocalDateTime& when, DateFormatting way) {
  return way == DateFormatting::System ? throughSystem(locale, when) : fromPatterns(locale, when);
}

std::string formatLocalDateTime(const LocalDateTime& when) {
  std::string text = throughSystem(LOCALE_NAME_USER_DEFAULT, when);
  if (text.empty()) text = fromPatterns(LOCALE_NAME_USER_DEFAULT, when);
  return text.empty() ? formatIsoDateTime(when) : text;
}

bool utcMillisFromLocal(const LocalDateTime& when, int64_t& utcMs) {
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(when.year);
  local.wMonth = static_cast<WORD>(when.month);
  local.wDay = static_cast<WORD>(when.day);
  local.wHour = static_cast<WORD>(when.hour);
  local.wMinute = static_cast<WORD>(when.minute);
  local.wSecond = static_cast<WORD>(when.second);
  local.wMilliseconds = static_cast<WORD>(when.millisecond);
  SYSTEMTIME utc;
  FILETIME file;
  if (when.year < 1601 || !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
      !SystemTimeToFileTime(&utc, &file)) {
    return false;
  }
  ULARGE_INTEGER ticks;
  ticks.LowPart = file.dwLowDateTime;
  ticks.HighPart = file.dwHighDateTime;
  // 100 ns units since 1601-01-01; 11644473600 s lie between that and 1970.
  utcMs = static_cast<int64_t>(ticks.QuadPart / 10000) - 11644473600000LL;
  return true;
}

}  // namespace tallymark::platform
