// One reset of the platform layer's test seams, for test programs that exercise several
// cases in one process.
#pragma once

namespace tallymark::platform {

// Puts every seam of this folder back to the system's own: real message boxes
// (setMessageHook), no injected file faults (setFileFaultHook), the real wall clock
// (setLocalClock), on Windows the locale calls the system has (forceLcidLocaleCalls).
// Not thread-safe: call it while no code under test runs.
void resetForTests();

}  // namespace tallymark::platform
