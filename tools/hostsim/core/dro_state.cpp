#include "dro_state.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "numbers.h"

namespace tallymark::hostsim {

namespace {

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

double MachineState::dro(short n) const {
  auto it = dros_.find(n);
  return it == dros_.end() ? 0.0 : it->second;
}

void MachineState::setDro(short n, double value) {
  auto it = dros_.find(n);
  if (it != dros_.end() && sameBits(it->second, value)) return;
  dros_[n] = value;
  dirty_ = true;
}

bool MachineState::led(short n) const {
  auto it = leds_.find(n);
  return it != leds_.end() && it->second;
}

std::string formatState(const std::map<short, double>& dros) {
  std::string text = "# hostsim state: the host's DROs, kept across restarts\n";
  char line[64];
  for (const auto& [n, value] : dros) {
    std::snprintf(line, sizeof line, "dro %d %.17g\n", n, value);
    text += line;
  }
  return text;
}

std::map<short, double> parseState(std::string_view text, std::vector<std::string>& warnings) {
  std::map<short, double> dros;
  int number = 0;
  for (const std::string& line : textLines(text)) {
    ++number;
    std::istringstream words(line);
    std::string keyword, droText, valueText, extra;
    if (!(words >> keyword) || keyword[0] == '#') continue;
    words >> droText >> valueText;
    long dro = 0;
    double value = 0.0;
    if (keyword != "dro" || !parseWhole(droText, SHRT_MIN, SHRT_MAX, dro) ||
        !parseNumber(valueText, value) || (words >> extra)) {
      warnings.push_back("line " + std::to_string(number) +
                         ": not \"dro <number> <value>\": " + line);
      continue;
    }
    dros[static_cast<short>(dro)] = value;
  }
  return dros;
}

bool loadStateFile(const std::string& path, std::map<short, double>& dros,
                   std::vector<std::string>& warnings, std::string& error) {
  std::error_code ec;
  auto fsPath = std::filesystem::u8path(path);
  if (!std::filesystem::exists(fsPath, ec)) {
    dros.clear();
    return true;
  }
  std::ifstream in(fsPath, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  dros = parseState(content.str(), warnings);
  return true;
}

bool saveStateFile(const std::string& path, const std::map<short, double>& dros,
                   std::string& error) {
  auto target = std::filesystem::u8path(path);
  auto temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << formatState(dros);
    out.flush();
    if (!out) {
      error = "cannot write " + temporary.u8string();
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    error = "cannot replace " + path + ": " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace tallymark::hostsim
