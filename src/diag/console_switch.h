// The build-time switch of the diagnostic console (CMake option TALLYMARK_CONSOLE, off
// in shipped builds). With it off no console is ever opened.
#pragma once

namespace tallymark::diag {

inline constexpr bool kConsoleEnabled = TALLYMARK_CONSOLE_ENABLED != 0;

}  // namespace tallymark::diag
