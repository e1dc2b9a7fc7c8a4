// Counts every global operator new in the benchmark program, so that a benchmark can
// report allocations per iteration next to its time.
#pragma once

#include <cstdint>

namespace bench {
uint64_t allocations();
}
