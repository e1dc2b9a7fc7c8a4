#include "console_reader.h"
#include "diag/console_screen.h"

using tallymark::diag::headlessConsole;

void detachInheritedConsole() {
  headlessConsole().clear();
}

std::string consoleTitle() {
  return headlessConsole().title();
}

std::string consoleText(int x, int y, std::size_t length) {
  std::string row = headlessConsole().row(y);
  row.resize(static_cast<std::size_t>(x) + length, ' ');
  return row.substr(static_cast<std::size_t>(x), length);
}
