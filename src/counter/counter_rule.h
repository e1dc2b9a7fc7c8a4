// The production counter rule, run once per host update tick.
//
// The host's DROs are the only store: 1500 the count since the last reset, 1501 the
// total, 1502 the last reset as an OLE Automation date. LED 804 is lit while a program
// runs; a lit period is counted, when the LED goes off, if DRO 22 read above 0 on at
// least one tick of it. The window's fields carry the rule's state between ticks:
//   ResetCounter   a confirmed reset waiting for the next tick (dtValue is its time)
//   StartOnCheck/StartOnTrigger  set together when the current lit period qualified
//   dtValue2       DRO 1502 as read on the latest tick, for the last-reset label
//   ledWasLit      LED 804 as read on the previous tick, only to tell the outcome where
//                  a lit period starts and ends; the count does not depend on it
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/calling_convention.h"

class DAZADA_RUVAZIDU;

namespace tallymark::counter {

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

// The host callbacks the rule calls, with the host's own calling convention. The rule
// calls nothing else of the host; a null member makes the tick do nothing.
struct HostAccess {
  double(TM_CDECL* getDro)(short dro) = nullptr;
  void(TM_CDECL* setDro)(short dro, double value) = nullptr;
  bool(TM_CDECL* getLed)(short led) = nullptr;
};

// What one tick did, for whatever follows the rule (the run record, a status display).
// Every member starts at 0; the figures are meaningful only when the rule ran, and
// `qualifier`, `countBeforeReset` and `countBeforeRun` only on the tick their flag is set.
struct TickOutcome {
  bool ran = false;            // the window and the three callbacks were there
  bool ledLit = false;         // LED 804 on this tick: a run is in progress
  bool runStarted = false;     // the first tick of a lit period
  bool qualified = false;      // this tick armed the run; `qualifier` is DRO 22 as read
  bool runCounted = false;     // a lit period ended and was counted; see countBeforeRun
  bool runNotCounted = false;  // a lit period ended without having qualified
  bool resetApplied = false;   // a reset was carried out; see countBeforeReset
  int32_t count = 0;           // DRO 1500 after the tick: as read, 0 after a reset,
  int32_t total = 0;           // and as written after a counted run (1501 likewise)
  int32_t countBeforeReset = 0;
  int32_t countBeforeRun = 0;  // DRO 1500 as the counted run read it, before adding 1
  double qualifier = 0.0;
  double lastReset = 0.0;  // DRO 1502 after the tick (OLE Automation date)

  // True when the tick did more than show the figures. Ten ticks a second are mostly
  // not eventful, so this is what callers test first.
  bool eventful() const {
    return runStarted || qualified || runCounted || runNotCounted || resetApplied;
  }
};

// One tick of the rule against `host`. Does nothing of the rule, and returns an outcome
// with `ran` false (and all else 0), when `window` is null or a member of `host` is.
TickOutcome counterTick(DAZADA_RUVAZIDU* window, const HostAccess& host);

}  // namespace tallymark::counter
