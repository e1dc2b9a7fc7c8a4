#include "numbers.h"

#include <cerrno>
#include <cstdlib>

namespace hostsim {

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

}  // namespace hostsim
