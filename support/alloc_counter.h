// Counts every global operator new in the program that links it, so that a benchmark can
// report allocations per iteration next to its time, and a test can hold code to none, in
// all and per thread.
#pragma once

#include <cstdint>

namespace bench {
uint64_t allocations();
// Those made by the calling thread.
uint64_t threadAllocations();
}  // namespace bench
