#include <windows.h>

#include "platform/local_time.h"
#include "platform/win32_text.h"

namespace tallymark::platform {

namespace detail {
LocalDateTime systemLocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return LocalDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}
}  // namespace detail

std::string formatLocalDateTime(const LocalDateTime& when) {
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
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128) == 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 128) == 0) {
    return formatIsoDateTime(when);
  }
  std::wstring text = date;
  text += L' ';
  text += time;
  return narrow(text);
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
