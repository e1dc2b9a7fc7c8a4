#include "platform/local_time_win32.h"

#include <windows.h>

#include <atomic>

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

// The named-locale calls arrived with Vista; XP has only those that take an LCID. Both
// give the same text for the same locale, so the newer ones are used where the system has
// them and the older ones elsewhere, which keeps the DLL loadable on XP.
using GetLocaleInfoExCall = int(WINAPI*)(const wchar_t*, LCTYPE, wchar_t*, int);
using GetCalendarInfoExCall = int(WINAPI*)(const wchar_t*, CALID, const wchar_t*, CALTYPE, wchar_t*,
                                           int, DWORD*);
using GetDateFormatExCall = int(WINAPI*)(const wchar_t*, DWORD, const SYSTEMTIME*, const wchar_t*,
                                         wchar_t*, int, const wchar_t*);
using GetTimeFormatExCall = int(WINAPI*)(const wchar_t*, DWORD, const SYSTEMTIME*, const wchar_t*,
                                         wchar_t*, int);
using LocaleNameToLcidCall = LCID(WINAPI*)(const wchar_t*, DWORD);

struct NamedLocaleCalls {
  GetLocaleInfoExCall getLocaleInfo = nullptr;
  GetCalendarInfoExCall getCalendarInfo = nullptr;
  GetDateFormatExCall getDateFormat = nullptr;
  GetTimeFormatExCall getTimeFormat = nullptr;
  LocaleNameToLcidCall localeNameToLcid = nullptr;

  bool complete() const {
    return getLocaleInfo != nullptr && getCalendarInfo != nullptr && getDateFormat != nullptr &&
           getTimeFormat != nullptr;
  }
};

template <typename Call>
Call lookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool reportsVistaOrLater() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExW(&version) && version.dwMajorVersion >= 6;
}

// Also by the version the system reports, not only by what kernel32 exports: a Wine set
// to report XP (and a host run in XP compatibility mode) then takes the path XP takes.
NamedLocaleCalls lookUpNamedLocaleCalls() {
  NamedLocaleCalls calls;
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return calls;
  calls.localeNameToLcid = lookUp<LocaleNameToLcidCall>(kernel, "LocaleNameToLCID");
  if (reportsVistaOrLater()) {
    calls.getLocaleInfo = lookUp<GetLocaleInfoExCall>(kernel, "GetLocaleInfoEx");
    calls.getCalendarInfo = lookUp<GetCalendarInfoExCall>(kernel, "GetCalendarInfoEx");
    calls.getDateFormat = lookUp<GetDateFormatExCall>(kernel, "GetDateFormatEx");
    calls.getTimeFormat = lookUp<GetTimeFormatExCall>(kernel, "GetTimeFormatEx");
  }
  return calls;
}

// Looked up as the module loads (kernel32 is loaded by then), so that no date written
// later, on the host's thread or another, waits for a first lookup behind a lock.
const NamedLocaleCalls systemCalls = lookUpNamedLocaleCalls();

const NamedLocaleCalls& systemNamedLocaleCalls() {
  return systemCalls;
}

std::atomic<bool> lcidCallsForced{false};

// One locale, for whichever set of calls this system has.
class Locale {
 public:
  // `name` null: the user's default locale.
  explicit Locale(const wchar_t* name) : name_(name) {
    const NamedLocaleCalls& system = systemNamedLocaleCalls();
    if (!lcidCallsForced.load(std::memory_order_relaxed) && system.complete()) {
      named_ = &system;
    } else if (name != nullptr) {
      // Only the tests name a locale; XP, which cannot look a name up, never does.
      lcid_ = system.localeNameToLcid != nullptr ? system.localeNameToLcid(name, 0) : 0;
    }
  }

  bool known() const { return named_ != nullptr || lcid_ != 0; }

  int info(LCTYPE type, wchar_t* text, int size) const {
    return named_ ? named_->getLocaleInfo(name_, type, text, size)
                  : GetLocaleInfoW(lcid_, type, text, size);
  }

  int calendarInfo(CALID calendar, CALTYPE type, wchar_t* text, int size) const {
    return named_ ? named_->getCalendarInfo(name_, calendar, nullptr, type, text, size, nullptr)
                  : GetCalendarInfoW(lcid_, calendar, type, text, size, nullptr);
  }

  int date(DWORD flags, const SYSTEMTIME& when, wchar_t* text, int size) const {
    return named_ ? named_->getDateFormat(name_, flags, &when, nullptr, text, size, nullptr)
                  : GetDateFormatW(lcid_, flags, &when, nullptr, text, size);
  }

  int time(DWORD flags, const SYSTEMTIME& when, wchar_t* text, int size) const {
    return named_ ? named_->getTimeFormat(name_, flags, &when, nullptr, text, size)
                  : GetTimeFormatW(lcid_, flags, &when, nullptr, text, size);
  }

 private:
  const wchar_t* name_;
  const NamedLocaleCalls* named_ = nullptr;
  LCID lcid_ = LOCALE_USER_DEFAULT;
};

std::wstring localeText(const Locale& locale, LCTYPE type) {
  wchar_t text[128];
  const int n = locale.info(type, text, 128);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n - 1)) : std::wstring();
}

std::string localeName(const Locale& locale, LCTYPE type) {
  return narrow(localeText(locale, type));
}

// The Gregorian calendar and its variants that differ only in their names.
bool countsGregorianYears(CALID calendar) {
  return calendar == CAL_GREGORIAN || calendar == CAL_GREGORIAN_US ||
         (calendar >= CAL_GREGORIAN_ME_FRENCH && calendar <= CAL_GREGORIAN_XLIT_FRENCH);
}

std::string fromPatterns(const Locale& locale, const LocalDateTime& when) {
  CALID calendar = 0;
  if (!locale.known() ||
      locale.info(LOCALE_ICALENDARTYPE | LOCALE_RETURN_NUMBER,
                  reinterpret_cast<wchar_t*>(&calendar), sizeof calendar / sizeof(wchar_t)) == 0 ||
      !countsGregorianYears(calendar)) {
    return {};
  }
  DatePictureNames names;
  names.am = localeName(locale, LOCALE_S1159);
  names.pm = localeName(locale, LOCALE_S2359);
  wchar_t era[64] = L"";
  locale.calendarInfo(calendar, CAL_SERASTRING, era, 64);
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

std::string throughSystem(const Locale& locale, const LocalDateTime& when) {
  if (!locale.known()) return {};
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
  if (locale.date(DATE_SHORTDATE, st, date, 128) == 0 || locale.time(0, st, time, 128) == 0) {
    return {};
  }
  std::wstring text = date;
  text += L' ';
  text += time;
  return narrow(text);
}

}  // namespace

std::string formatDateTimeIn(const wchar_t* locale, const LocalDateTime& when, DateFormatting way) {
  const Locale chosen(locale);
  return way == DateFormatting::System ? throughSystem(chosen, when) : fromPatterns(chosen, when);
}

std::string formatLocalDateTime(const LocalDateTime& when) {
  const Locale user(nullptr);
  std::string text = throughSystem(user, when);
  if (text.empty()) text = fromPatterns(user, when);
  return text.empty() ? formatIsoDateTime(when) : text;
}

bool namedLocaleCallsInUse() {
  return !lcidCallsForced.load(std::memory_order_relaxed) && systemNamedLocaleCalls().complete();
}

void forceLcidLocaleCalls(bool forced) {
  lcidCallsForced.store(forced, std::memory_order_relaxed);
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
