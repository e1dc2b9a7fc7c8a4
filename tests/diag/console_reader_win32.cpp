#include <windows.h>

#include <vector>

#include "console_reader.h"
#include "platform/unique_handle_win32.h"

void detachInheritedConsole() {
  // Wine gives a console program started from a shell a console of its own, and a
  // second AllocConsole would then fail. The C runtime's stdout keeps the handle it
  // started with, so the test's own output still reaches ctest.
  FreeConsole();
}

std::string consoleTitle() {
  char title[256] = {};
  DWORD length = GetConsoleTitleA(title, sizeof title);
  return std::string(title, length);
}

std::string consoleText(int x, int y, std::size_t length) {
  const tallymark::platform::UniqueHandle screen(
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!screen) return std::string();
  std::vector<char> text(length + 1, '\0');
  DWORD read = 0;
  COORD at = {static_cast<SHORT>(x), static_cast<SHORT>(y)};
  ReadConsoleOutputCharacterA(screen.get(), text.data(), static_cast<DWORD>(length), at, &read);
  return std::string(text.data(), read);
}
