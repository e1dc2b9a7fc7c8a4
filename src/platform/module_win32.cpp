#include <windows.h>

#include <atomic>

#include "platform/module.h"

namespace tallymark::platform {

bool pinModule() {
  static std::atomic<bool> pinned{false};
  if (pinned.load(std::memory_order_acquire)) return true;
  // GetModuleHandleExW exists from Windows XP on. A pinned module ignores FreeLibrary:
  // its code and data stay where the threads and windows it started expect them.
  HMODULE module = nullptr;
  const BOOL ok =
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&pinModule), &module);
  if (ok) pinned.store(true, std::memory_order_release);
  return ok != FALSE;
}

}  // namespace tallymark::platform
