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

}  // namespace tallymark::platform
