// The diagnostic text console: one per process, opened beside the host and never closed.
// Only the host's user-interface thread uses it.
#pragma once

class MyConsoleClass {
 public:
  // Opens the console. When that fails (the process has one already, say) the object
  // stays inactive and every print does nothing.
  MyConsoleClass();
  virtual ~MyConsoleClass() = default;
  MyConsoleClass(const MyConsoleClass&) = delete;
  MyConsoleClass& operator=(const MyConsoleClass&) = delete;

  // Writes msg at column x, row y over whatever stands there; the rest of the row is
  // kept and no line end is added. Errors are ignored.
  void ConsolePrint(int x, int y, const char* msg);

  void* output = nullptr;  // the console's output handle
  int active = 0;          // non-zero once the console exists
};
