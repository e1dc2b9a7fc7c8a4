#include "platform/local_time.h"

#include <cstdio>

namespace tallymark::platform {

LocalDateTime localNow() {
  return detail::systemLocalNow();
}

std::string formatIsoDateTime(const LocalDateTime& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

namespace {

void appendNumber(std::string& out, int value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", digits, value);
  out += text;
}

// The first character of a UTF-8 text.
std::string_view firstCharacter(std::string_view text) {
  size_t n = text.empty() ? 0 : 1;
  while (n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) ++n;
  return text.substr(0, n);
}

}  // namespace

std::string formatDatePicture(std::string_view picture, const LocalDateTime& t,
                              const DatePictureNames& names) {
  std::string out;
  const int weekday = dayOfWeek(t);
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  for (size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      if (i + 1 < picture.size() && picture[i + 1] == '\'') {
        out += '\'';
        i += 2;
        continue;
      }
      for (++i; i < picture.size(); ++i) {
        if (picture[i] != '\'') {
          out += picture[i];
        } else if (i + 1 < picture.size() && picture[i + 1] == '\'') {
          out += '\'';
          ++i;
        } else {
          ++i;
          break;
        }
      }
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    const int digits = run == 1 ? 1 : 2;
    switch (c) {
      case 'd':
        if (run <= 2)
          appendNumber(out, t.day, digits);
        else
          out += run == 3 ? names.abbreviatedDays[weekday] : names.days[weekday];
        break;
      case 'M':
        if (run <= 2)
          appendNumber(out, t.month, digits);
        else
          out += run == 3 ? names.abbreviatedMonths[t.month - 1] : names.months[t.month - 1];
        break;
      case 'y':
        if (run <= 2)
          appendNumber(out, t.year % 100, digits);
        else
          appendNumber(out, t.year, 4);
        break;
      case 'g':
        out += names.era;
        break;
      case 'h':
        appendNumber(out, hour12, digits);
        break;
      case 'H':
        appendNumber(out, t.hour, digits);
        break;
      case 'm':
        appendNumber(out, t.minute, digits);
        break;
      case 's':
        appendNumber(out, t.second, digits);
        break;
      case 't': {
        const std::string& marker = t.hour < 12 ? names.am : names.pm;
        out += run == 1 ? firstCharacter(marker) : std::string_view(marker);
        break;
      }
      default:
        out.append(run, c);
    }
    i += run;
  }
  return out;
}

int dayOfWeek(const LocalDateTime& t) {
  // Sakamoto's method.
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = t.month < 3 ? t.year - 1 : t.year;
  return (y + y / 4 - y / 100 + y / 400 + offsets[t.month - 1] + t.day) % 7;
}

}  // namespace tallymark::platform
