// The runs and resets of the counter rule with their times: when a run started and
// ended, how long it took, and when a reset was carried out. What a production record
// or a status display needs beyond the figures; the rule itself keeps no time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "counter/counter_rule.h"
#include "platform/zoned_time.h"

namespace tallymark::counter {

// One instant as the records need it: the wall clock for people to read, and a
// monotonic reading for durations (the wall clock may jump, twice a year at least).
struct RunInstant {
  tallymark::platform::ZonedDateTime wall;
  uint32_t monotonicMs = 0;  // wraps; only differences count
};

// The system's clocks.
RunInstant systemRunInstant();

struct RunEvent {
  enum class Kind : uint8_t { Counted, NotCounted, Reset };
  Kind kind = Kind::Counted;
  tallymark::platform::ZonedDateTime at;       // the run's end, or the reset
  tallymark::platform::ZonedDateTime started;  // runs: the first tick that saw LED 804 lit
  uint32_t durationMs = 0;                     // runs
  double qualifier = 0.0;                      // counted runs: DRO 22 when the run qualified
  int32_t count = 0;                           // runs: DRO 1500 and 1501 after the run
  int32_t total = 0;
  int32_t countBeforeReset = 0;  // resets (the count after one is 0)
};

// Follows the outcomes of the ticks, on the host's thread. Allocates nothing.
class RunTracker {
 public:
  // `clock` is read once on each tick that starts or ends a run or carries out a reset,
  // never on the others.
  explicit RunTracker(std::function<RunInstant()> clock = systemRunInstant);

  // At most two events a tick: a reset, then the end of a run (the rule's order).
  struct Events {
    RunEvent event[2];
    int size = 0;
  };
  Events follow(const TickOutcome& outcome);

  // The duration of the last counted run; none before the first.
  std::optional<uint32_t> lastCycleMs() const { return lastCycleMs_; }

 private:
  std::function<RunInstant()> clock_;
  bool inRun_ = false;
  RunInstant start_;
  double qualifier_ = 0.0;
  std::optional<uint32_t> lastCycleMs_;
};

}  // namespace tallymark::counter
