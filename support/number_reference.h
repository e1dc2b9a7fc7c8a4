// A plain second reading of the command-line number rules, written for clarity rather
// than speed, that the fuzz targets and the protocol tests hold read_float and parse_line
// against: split the number into its whole and fraction digits first, then work out
// mantissa and exponent from those two strings.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace reference {

// The last byte a number may occupy is index 254: positions are 8-bit, and index 255
// is where a number ends at the latest.
inline constexpr size_t kNumberEnd = 255;

inline bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// A value rounded to 32 bits. The store through volatile matters on x87, where a plain
// conversion may stay in an 80-bit register (the unit tests run this header there too).
inline float toFloat(double value) {
  volatile float stored = static_cast<float>(value);
  return stored;
}

// Reads a number at `start` of the NUL-terminated `text`. On success returns true with
// the value and the index of the byte that ended it.
inline bool readNumber(const char* text, size_t start, size_t& end, float& value) {
  size_t i = start;
  bool negative = false;
  if (text[i] == '-' || text[i] == '+') {
    negative = text[i] == '-';
    ++i;
  }
  std::string whole, fraction;
  bool seenDot = false;
  while (i < kNumberEnd) {
    char c = text[i];
    if (isDigit(c)) {
      (seenDot ? fraction : whole) += c;
    } else if (c == '.' && !seenDot) {
      seenDot = true;
    } else {
      break;
    }
    ++i;
  }
  std::string digits = whole + fraction;
  if (digits.empty()) return false;

  // The first 8 digits make the mantissa; those of them behind the point lower the
  // exponent; whole digits beyond the 8th raise it; fraction digits beyond it vanish.
  size_t kept = digits.size() < 8 ? digits.size() : 8;
  uint32_t mantissa = 0;
  for (size_t k = 0; k < kept; ++k)
    mantissa = mantissa * 10u + static_cast<uint32_t>(digits[k] - '0');
  size_t wholeKept = whole.size() < 8 ? whole.size() : 8;
  long exponent = -static_cast<long>(kept - wholeKept);
  if (whole.size() > 8) exponent += static_cast<long>(whole.size() - 8);

  float number = toFloat(mantissa);
  if (number != 0.0f) {
    while (exponent <= -2) {
      number = toFloat(static_cast<double>(number) * static_cast<double>(0.01f));
      exponent += 2;
    }
    if (exponent == -1) {
      number = toFloat(static_cast<double>(number) * static_cast<double>(0.1f));
    }
    for (; exponent > 0; --exponent) number = toFloat(static_cast<double>(number) * 10.0);
  }
  value = negative ? -number : number;
  end = i;
  return true;
}

inline bool sameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace reference
