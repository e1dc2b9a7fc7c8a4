// Whole-token number parsing for the substitute host's text files (script, state).
#pragma once

#include <string>

namespace hostsim {

// A decimal integer in [low, high] filling the whole token.
bool parseWhole(const std::string& token, long low, long high, long& out);
// A number in C syntax filling the whole token; "nan" and "inf" included.
bool parseNumber(const std::string& token, double& out);

}  // namespace hostsim
