// The profile's text forms of values, independent of any culture or locale setting:
// "True"/"False", plain decimal integers, and floating-point numbers with "." as the
// decimal point and "," as an optional group separator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallymark::settings {

std::string formatBool(bool value);
std::string formatInt(int32_t value);
// At most 15 significant digits; exponent form ("1E+15", "1E-05") only below 1e-4 and
// from 1e15 up. NaN and the infinities are written "NaN", "Infinity", "-Infinity",
// which read back as malformed.
std::string formatDouble(double value);

// True exactly for "True".
bool parseBool(std::string_view text);
// Surrounding white space and one leading sign allowed; nullopt for anything else,
// including values outside the 32-bit range.
std::optional<int32_t> parseInt(std::string_view text);
// Surrounding white space, one leading sign, digits with "," between digits of the
// integer part, an optional fraction and exponent; nullopt for anything else, including
// magnitudes too large or too small (but not zero) for a double.
std::optional<double> parseDouble(std::string_view text);

}  // namespace tallymark::settings
