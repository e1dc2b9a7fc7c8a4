// Reading the substitute host's text files (script, state): lines and whole-token
// numbers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallymark::hostsim {

// A decimal integer in [low, high] filling the whole token.
bool parseWhole(const std::string& token, long low, long high, long& out);
// A number in C syntax filling the whole token; "nan" and "inf" included.
bool parseNumber(const std::string& token, double& out);
// The lines of `text`, each without its LF or CR LF; line k (from 1) is element k - 1.
std::vector<std::string> textLines(std::string_view text);

}  // namespace tallymark::hostsim
