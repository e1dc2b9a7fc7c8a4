#include "settings/profile_values.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tallymark::settings {
namespace {

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string formatBool(bool value) {
  return value ? "True" : "False";
}

std::string formatInt(int32_t value) {
  return std::to_string(value);
}

std::string formatDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

bool parseBool(std::string_view text) {
  return text == "True";
}

std::optional<int32_t> parseInt(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t magnitude = 0;
  for (char c : text) {
    if (!isDigit(c)) return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<double> parseDouble(std::string_view text) {
  text = trim(text);
  std::string plain;  // the number without sign and group separators
  bool negative = false;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  size_t digits = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (isDigit(c)) {
      plain += c;
      ++digits;
    } else if (c == ',' && i > 0 && isDigit(text[i - 1]) && i + 1 < text.size() &&
               isDigit(text[i + 1])) {
      continue;
    } else {
      break;
    }
  }
  if (i < text.size() && text[i] == '.') {
    plain += '.';
    for (++i; i < text.size() && isDigit(text[i]); ++i) {
      plain += text[i];
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    size_t expDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++expDigits) plain += text[i];
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace tallymark::settings
