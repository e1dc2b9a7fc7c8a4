#include "mtconnect/shdr.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace tallymark::mtconnect::shdr {
namespace {

constexpr char kUnavailable[] = "UNAVAILABLE";

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's civil_from_days).
void civilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shifted = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

size_t copyText(const char* text, char* out) {
  size_t length = std::strlen(text);
  std::memcpy(out, text, length + 1);
  return length;
}

size_t formatCount(const std::optional<int32_t>& count, char* out) {
  if (!count) return copyText(kUnavailable, out);
  return static_cast<size_t>(std::snprintf(out, kValueCapacity, "%" PRId32, *count));
}

}  // namespace

const char* itemKey(int item) {
  static const char* const kKeys[kItemCount] = {
      "avail",      "execution",  "part_count",        "total_part_count",
      "cycle_time", "last_reset", "part_count_target", "part_count_remaining"};
  return kKeys[item];
}

size_t formatTimestamp(int64_t utcMs, char* out) {
  // 0000-01-01 and 9999-12-31T23:59:59.999.
  constexpr int64_t kFirst = -62167219200000LL;
  constexpr int64_t kLast = 253402300799999LL;
  if (utcMs < kFirst) utcMs = kFirst;
  if (utcMs > kLast) utcMs = kLast;
  int64_t days = (utcMs >= 0 ? utcMs : utcMs - 86399999) / 86400000;
  int64_t msOfDay = utcMs - days * 86400000;
  int year, month, day;
  civilFromDays(days, year, month, day);
  int ms = static_cast<int>(msOfDay);
  return static_cast<size_t>(std::snprintf(out, 25, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year,
                                           month, day, ms / 3600000, ms / 60000 % 60,
                                           ms / 1000 % 60, ms % 1000));
}

size_t formatValue(const Observations& values, int item, char* out) {
  switch (item) {
    case kAvail:
      return copyText(values.available ? "AVAILABLE" : kUnavailable, out);
    case kExecution:
      switch (values.execution) {
        case Execution::Active:
          return copyText("ACTIVE", out);
        case Execution::Ready:
          return copyText("READY", out);
        default:
          return copyText(kUnavailable, out);
      }
    case kPartCount:
      return formatCount(values.partCount, out);
    case kTotalPartCount:
      return formatCount(values.totalPartCount, out);
    case kCycleTime: {
      // Seconds to the millisecond; a duration that is not a finite, non-negative number
      // of at most about 31 years is not a duration.
      double seconds = values.cycleTimeSeconds ? *values.cycleTimeSeconds : -1.0;
      if (!(seconds >= 0.0 && seconds < 1e9)) return copyText(kUnavailable, out);
      return static_cast<size_t>(std::snprintf(out, kValueCapacity, "%.3f", seconds));
    }
    case kLastReset:
      if (!values.lastResetUtcMs) return copyText(kUnavailable, out);
      return formatTimestamp(*values.lastResetUtcMs, out);
    case kPartCountTarget:
      return formatCount(values.batchItems ? values.partCountTarget : std::nullopt, out);
    case kPartCountRemaining:
      return formatCount(values.batchItems ? values.partCountRemaining : std::nullopt, out);
    default:
      out[0] = '\0';
      return 0;
  }
}

size_t composeLine(int64_t timestampMs, const Observations& now, const Observations* before,
                   char* out) {
  size_t length = formatTimestamp(timestampMs, out);
  bool any = false;
  for (int item = 0; item < kItemCount; ++item) {
    const bool batchItem = item == kPartCountTarget || item == kPartCountRemaining;
    // An agent that was never told of the batch items hears nothing of them.
    if (batchItem && !now.batchItems && (before == nullptr || !before->batchItems)) continue;
    char value[kValueCapacity];
    size_t valueLength = formatValue(now, item, value);
    if (before) {
      char old[kValueCapacity];
      size_t oldLength = formatValue(*before, item, old);
      if (oldLength == valueLength && std::memcmp(old, value, valueLength) == 0) continue;
    }
    const char* key = itemKey(item);
    size_t keyLength = std::strlen(key);
    out[length++] = '|';
    std::memcpy(out + length, key, keyLength);
    length += keyLength;
    out[length++] = '|';
    std::memcpy(out + length, value, valueLength);
    length += valueLength;
    any = true;
  }
  if (!any) return 0;
  out[length++] = '\n';
  return length;
}

size_t composePong(int heartbeatMs, char* out) {
  return static_cast<size_t>(std::snprintf(out, kLineCapacity, "* PONG %d\n", heartbeatMs));
}

size_t CommandReader::receive(const char* data, size_t size) {
  static constexpr char kPing[] = "* PING";
  size_t pings = 0;
  for (size_t i = 0; i < size; ++i) {
    char byte = data[i];
    if (byte == '\n') {
      size_t length = length_;
      if (length > 0 && line_[length - 1] == '\r') --length;
      if (!overlong_ && length == sizeof kPing - 1 && std::memcmp(line_, kPing, length) == 0) {
        ++pings;
      }
      length_ = 0;
      overlong_ = false;
    } else if (length_ < kMaxLine) {
      line_[length_++] = byte;
    } else {
      overlong_ = true;
    }
  }
  return pings;
}

}  // namespace tallymark::mtconnect::shdr
