#include "numbers.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace tallymark::hostsim {

bool parseWhole(const std::string& token, long low, long high, long& out) {
  if (token.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(token.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  out = value;
  return true;
}

bool parseNumber(const std::string& token, double& out) {
  if (token.empty()) return false;
  char* end = nullptr;
  out = std::strtod(token.c_str(), &end);
  return *end == '\0';
}

std::vector<std::string> textLines(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace tallymark::hostsim
