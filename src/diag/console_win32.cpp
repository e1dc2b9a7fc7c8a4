#include <windows.h>

#include <cstring>

#include "diag/console.h"

MyConsoleClass::MyConsoleClass() {
  active = AllocConsole();
  if (active == 0) return;
  SetConsoleTitleA("Remote Control");
  output = GetStdHandle(STD_OUTPUT_HANDLE);
}

void MyConsoleClass::ConsolePrint(int x, int y, const char* msg) {
  if (active == 0 || msg == nullptr) return;
  COORD at = {static_cast<SHORT>(x), static_cast<SHORT>(y)};
  SetConsoleCursorPosition(output, at);
  // Older systems fault on a null count pointer, so one is always passed.
  DWORD written = 0;
  WriteConsoleA(output, msg, static_cast<DWORD>(std::strlen(msg)), &written, nullptr);
}
