// Owners of kernel objects and of memory the system hands over, for the _win32 files
// (src/, tools/, tests/) that include <windows.h> themselves. GDI objects: gdi_win32.h.
#pragma once

#include <windows.h>

#include "platform/unique_any.h"

namespace tallymark::platform {

// Files, events, threads, processes. CreateFileW reports failure as INVALID_HANDLE_VALUE,
// most other calls as null: both mean nothing is held, so `if (!handle)` tests either.
// (INVALID_HANDLE_VALUE is also GetCurrentProcess()'s pseudo-handle, which needs no
// closing.)
struct HandleTraits {
  using Type = HANDLE;
  static HANDLE invalid() noexcept { return nullptr; }
  static bool isValid(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void close(HANDLE handle) noexcept { CloseHandle(handle); }
};
using UniqueHandle = UniqueAny<HandleTraits>;

// An open registry key.
struct HkeyTraits {
  using Type = HKEY;
  static HKEY invalid() noexcept { return nullptr; }
  static bool isValid(HKEY key) noexcept { return key != nullptr; }
  static void close(HKEY key) noexcept { RegCloseKey(key); }
};
using UniqueHkey = UniqueAny<HkeyTraits>;

// Memory the system allocated for the caller with LocalAlloc (FormatMessageW with
// FORMAT_MESSAGE_ALLOCATE_BUFFER, CommandLineToArgvW).
template <typename T>
struct LocalTraits {
  using Type = T;
  static T invalid() noexcept { return nullptr; }
  static bool isValid(T memory) noexcept { return memory != nullptr; }
  static void close(T memory) noexcept { LocalFree(reinterpret_cast<HLOCAL>(memory)); }
};
template <typename T>
using UniqueLocal = UniqueAny<LocalTraits<T>>;

}  // namespace tallymark::platform
