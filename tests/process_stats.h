// The test program's own threads and resident memory, for load tests that check both
// return to rest. Linux reads /proc/self; Windows asks the Tool Help and PSAPI calls.
#pragma once

#include <cstddef>

namespace process_stats {

// Threads of this process that exist now; 0 when it cannot be told.
size_t threadCount();

// Resident set (working set on Windows) in bytes; 0 when it cannot be told.
size_t residentBytes();

// Sockets this process holds open.
size_t openSockets();

}  // namespace process_stats
