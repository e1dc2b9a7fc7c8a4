// Monotonic time for freshness checks and time-outs.
#pragma once

#include <cstdint>

namespace tallymark::platform {

// Milliseconds since an arbitrary start, from a clock that never goes back. The value
// wraps at 2^32 (about 49.7 days): compare two readings by unsigned subtraction only.
uint32_t monotonicMillis();

}  // namespace tallymark::platform
