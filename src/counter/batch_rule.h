// The batch target: the number of parts the operator wants before the machine stops
// (the profile's RequiredParts). The batch is complete while DRO 1500's whole part is at
// least the target. Only a counted run completes a batch: the signal the host gets for
// it (an LED, a line of code such as a macro that stops the machine) must never come
// from a restart, a reset or a figure typed into the DRO, or the machine would stop on
// its own start-up.
//
// The rule reads nothing of the host: it follows the outcome of each tick (the count the
// counter rule read or wrote) and says what to tell the host. Host thread only.
#pragma once

#include <cstdint>

#include "counter/counter_rule.h"

namespace tallymark::counter {

// What one tick asks of the host beside the count.
struct BatchStep {
  bool setLed = false;  // set the batch LED to `ledLit`
  bool ledLit = false;
  bool completed = false;  // this tick's counted run completed the batch: the code line
};

class BatchRule {
 public:
  // A target of 0 or less switches the rule off. Starts afresh either way: the next tick
  // that runs sets the LED to match the count, and completes nothing.
  void configure(int32_t requiredParts);

  bool on() const { return target_ > 0; }
  int32_t target() const { return target_; }
  // The parts still to make at `count`: 0 once the batch is complete.
  int32_t remaining(int32_t count) const { return count >= target_ ? 0 : target_ - count; }
  // As of the latest tick that ran.
  bool complete() const { return complete_; }

  // After each tick; nothing while off or when the counter rule did not run.
  BatchStep follow(const TickOutcome& outcome);

 private:
  int32_t target_ = 0;
  bool started_ = false;  // a tick has run since configure
  bool complete_ = false;
};

}  // namespace tallymark::counter
