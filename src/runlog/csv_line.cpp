#include "runlog/csv_line.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tallymark::runlog {
namespace {

constexpr const char* kColumns[] = {"Event", "Time",  "Run started",        "Run seconds", "DRO 22",
                                    "Count", "Total", "Count before reset", "Note"};

// Fields in order, each after a comma but the first; the line's end is always kept
// free (two bytes) so that a line can never lose its CR LF.
class LineBuilder {
 public:
  LineBuilder(char* out, char separator) : out_(out), separator_(separator) {}

  void text(std::string_view field) {
    separate();
    size_ = appendField(field, out_, size_, kLimit, separator_);
  }
  void none() { separate(); }
  void number(int32_t value) {
    char digits[16];
    raw(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  }
  // The shortest text that reads back as the same value, whatever the locale.
  void number(double value) {
    char digits[32];
    raw(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  }
  // Rounded to tenths in whole numbers, so that no locale can turn the point into a comma.
  void tenths(uint32_t milliseconds) {
    const uint32_t tenths = milliseconds / 100 + (milliseconds % 100 >= 50 ? 1 : 0);
    char digits[16];
    char* end = std::to_chars(digits, digits + sizeof digits - 2, tenths / 10).ptr;
    *end++ = '.';
    *end++ = static_cast<char>('0' + tenths % 10);
    raw(digits, end);
  }
  void time(const platform::ZonedDateTime& when) {
    char text[32];
    raw(text, text + formatTimestamp(when, text));
  }
  size_t end() {
    out_[size_++] = '\r';
    out_[size_++] = '\n';
    return size_;
  }

 private:
  static constexpr size_t kLimit = kMaxLineSize - 2;
  void separate() {
    if (fields_++ > 0 && size_ < kLimit) out_[size_++] = separator_;
  }
  // A field that never needs quotes.
  void raw(const char* begin, const char* end) {
    separate();
    size_ = appendField(std::string_view(begin, static_cast<size_t>(end - begin)), out_, size_,
                        kLimit, separator_);
  }

  char* out_;
  char separator_;
  size_t size_ = 0;
  int fields_ = 0;
};

const char* eventName(Event event) {
  switch (event) {
    case Event::Counted:
      return "counted";
    case Event::NotCounted:
      return "not counted";
    case Event::Reset:
      return "reset";
    case Event::BatchComplete:
      return "batch complete";
  }
  return "";
}

}  // namespace

char logSeparator(char wanted) {
  return wanted == ';' ? ';' : ',';
}

std::string fileHeader(char separator) {
  std::string header = "\xEF\xBB\xBF";
  for (const char* column : kColumns) {
    if (header.size() > 3) header += logSeparator(separator);
    header += column;
  }
  return header + "\r\n";
}

size_t appendField(std::string_view field, char* out, size_t size, size_t capacity,
                   char separator) {
  const char special[] = {logSeparator(separator), '"', '\r', '\n', '\0'};
  const bool quoted = field.find_first_of(special) != std::string_view::npos;
  if (!quoted) {
    const size_t n = std::min(field.size(), capacity - size);
    std::memcpy(out + size, field.data(), n);
    return size + n;
  }
  // Room is kept for the closing quote.
  if (capacity - size < 2) return size;
  out[size++] = '"';
  for (char c : field) {
    const size_t needed = c == '"' ? 2 : 1;
    if (capacity - size < needed + 1) break;
    if (c == '"') out[size++] = '"';
    out[size++] = c;
  }
  out[size++] = '"';
  return size;
}

size_t formatTimestamp(const platform::ZonedDateTime& when, char* out) {
  const platform::LocalDateTime& t = when.local;
  const int offset = std::abs(when.utcOffsetMinutes);
  char text[48];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year,
                              t.month, t.day, t.hour, t.minute, t.second,
                              when.utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  const size_t length = n < 0 ? 0 : std::min(static_cast<size_t>(n), size_t{26});
  std::memcpy(out, text, length);
  return length;
}

size_t formatLine(const Record& record, char* out, char separator) {
  LineBuilder line(out, logSeparator(separator));
  line.text(eventName(record.event));
  line.time(record.at);
  if (record.event == Event::Reset || record.event == Event::BatchComplete) {
    line.none();
    line.none();
    line.none();
  } else {
    line.time(record.started);
    line.tenths(record.durationMs);
    if (record.event == Event::Counted) {
      line.number(record.qualifier);
    } else {
      line.none();
    }
  }
  if (record.event == Event::Reset) {
    line.number(0);
    line.none();
    line.number(record.countBeforeReset);
  } else {
    line.number(record.count);
    line.number(record.total);
    line.none();
  }
  if (record.droppedBefore > 0) {
    char note[96];
    std::snprintf(note, sizeof note, "%lu earlier record%s lost, the log could not keep up",
                  static_cast<unsigned long>(record.droppedBefore),
                  record.droppedBefore == 1 ? "" : "s");
    line.text(note);
  } else {
    line.none();
  }
  return line.end();
}

}  // namespace tallymark::runlog
