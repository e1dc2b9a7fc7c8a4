#include "process_stats.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
// clang-format on

#include "platform/unique_handle_win32.h"

namespace process_stats {

size_t threadCount() {
  const tallymark::platform::UniqueHandle owner(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!owner) return 0;
  const HANDLE snapshot = owner.get();
  DWORD self = GetCurrentProcessId();
  size_t count = 0;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
    entry.dwSize = sizeof entry;
  }
  return count;
}

// Windows cannot list a process's sockets, and Wine does not count its handles: every
// handle value a small process may hold is asked whether it is a socket.
size_t openSockets() {
  size_t count = 0;
  for (UINT_PTR value = 4; value < (1u << 16); value += 4) {
    int type = 0, size = sizeof type;
    if (getsockopt(static_cast<SOCKET>(value), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                   &size) == 0) {
      ++count;
    }
  }
  return count;
}

size_t residentBytes() {
  PROCESS_MEMORY_COUNTERS counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.WorkingSetSize;
}

}  // namespace process_stats
