#include "diag/console.h"
#include "diag/console_screen.h"

using tallymark::diag::ConsoleScreen;
using tallymark::diag::headlessConsole;

// Without a window system the console is the in-memory screen, which always opens.
MyConsoleClass::MyConsoleClass() {
  active = 1;
  output = &headlessConsole();
  headlessConsole().setTitle("Remote Control");
}

void MyConsoleClass::ConsolePrint(int x, int y, const char* msg) {
  if (active == 0) return;
  static_cast<ConsoleScreen*>(output)->write(x, y, msg);
}
