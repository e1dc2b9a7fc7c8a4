// Monotonic time for freshness checks and time-outs.
#pragma once

#include <cstdint>

namespace tallymark::platform {

// Milliseconds since an arbitrary start, from a clock that never goes back. The value
// wraps at 2^32 (about 49.7 days): compare two readings by unsigned subtraction only.
uint32_t monotonicMillis();

// Milliseconds since 1970-01-01T00:00:00Z by the system's wall clock, which may jump when
// the clock is set. For timestamps that leave the machine, never for measuring time.
int64_t utcMillisNow();

}  // namespace tallymark::platform
