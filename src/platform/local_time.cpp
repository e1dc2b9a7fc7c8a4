#include "platform/local_time.h"

#include <cstdio>
#include <utility>

namespace tallymark::platform {
namespace {
std::function<LocalDateTime()>& clockSlot() {
  static std::function<LocalDateTime()> clock;
  return clock;
}
}  // namespace

LocalDateTime localNow() {
  if (clockSlot()) return clockSlot()();
  return detail::systemLocalNow();
}

void setLocalClock(std::function<LocalDateTime()> clock) { clockSlot() = std::move(clock); }

std::string formatIsoDateTime(const LocalDateTime& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

int dayOfWeek(const LocalDateTime& t) {
  // Sakamoto's method.
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = t.month < 3 ? t.year - 1 : t.year;
  return (y + y / 4 - y / 100 + y / 400 + offsets[t.month - 1] + t.day) % 7;
}

}  // namespace tallymark::platform
