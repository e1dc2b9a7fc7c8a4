// The production counter rule, run once per host update tick.
//
// The host's DROs are the only store: 1500 the count since the last reset, 1501 the
// total, 1502 the last reset as an OLE Automation date. LED 804 is lit while a program
// runs; a lit period is counted, when the LED goes off, if DRO 22 read above 0 on at
// least one tick of it. The window's fields carry the rule's state between ticks:
//   ResetCounter   a confirmed reset waiting for the next tick (dtValue is its time)
//   StartOnCheck/StartOnTrigger  set together when the current lit period qualified
//   dtValue2       DRO 1502 as read on the latest tick, for the last-reset label
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

class DAZADA_RUVAZIDU;

namespace counter {

inline constexpr short kDroCount = 1500;
inline constexpr short kDroTotal = 1501;
inline constexpr short kDroLastReset = 1502;
inline constexpr short kDroRunQualifier = 22;
inline constexpr short kLedRunning = 804;

// A DRO value as a count: truncated toward zero; NaN reads as 0, and values beyond the
// 32-bit range clamp to its ends (a DRO can hold anything the operator types). Inline
// because the tick reads two counts every time it runs.
inline int32_t countFromDro(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  if (value >= kMax) return std::numeric_limits<int32_t>::max();
  if (value <= kMin) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero
}

// The count after one more run; stays at the largest 32-bit value instead of wrapping.
inline int32_t nextCount(int32_t count) {
  return count == std::numeric_limits<int32_t>::max() ? count : count + 1;
}

// One tick of the rule against the host callbacks in host.h. Does nothing of the rule
// when `window` is null or the host has not handed over its DRO and LED callbacks.
void counterTick(DAZADA_RUVAZIDU* window);

}  // namespace counter
