#include "diag/console_screen.h"

#include <cstring>

namespace tallymark::diag {

void ConsoleScreen::write(int x, int y, const char* msg) {
  if (x < 0 || y < 0 || msg == nullptr) return;
  if (rows_.size() <= static_cast<size_t>(y)) rows_.resize(static_cast<size_t>(y) + 1);
  std::string& line = rows_[static_cast<size_t>(y)];
  size_t length = std::strlen(msg);
  size_t end = static_cast<size_t>(x) + length;
  if (line.size() < end) line.resize(end, ' ');
  line.replace(static_cast<size_t>(x), length, msg, length);
}

std::string ConsoleScreen::row(int y) const {
  if (y < 0 || static_cast<size_t>(y) >= rows_.size()) return std::string();
  return rows_[static_cast<size_t>(y)];
}

void ConsoleScreen::clear() {
  rows_.clear();
  title_.clear();
}

ConsoleScreen& headlessConsole() {
  static ConsoleScreen screen;
  return screen;
}

}  // namespace tallymark::diag
