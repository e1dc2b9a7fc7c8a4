// The batch target in the plug-in: its settings, and what follows each tick while it is
// on (the batch LED, the code line, the run log's "batch complete", the window's
// figures). Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "counter/batch_rule.h"
#include "counter/counter_rule.h"
#include "plugin/state.h"

namespace tallymark::plugin {

// The profile's RequiredParts (0 or less: off), RequiredPartsLED (0: none) and
// RequiredPartsCode (UTF-8; empty: none), from SetProName. The next tick starts afresh:
// it sets the LED to match the count and sends no code. Switching off puts out an LED
// the plug-in lit and clears the window's batch figures.
void configureRequiredParts(int32_t requiredParts, int32_t led, const std::string& code);

void followRequiredPartsTick(const tallymark::counter::TickOutcome& outcome);
// After every tick of the counter rule, after the run record. Off, it costs one test;
// on, a tick that changed nothing (the same count, no run ended, no reset) costs two
// more: nothing of the batch can have changed then.
inline void followRequiredParts(const State& s, const tallymark::counter::TickOutcome& outcome) {
  const State::RequiredParts& parts = s.requiredParts;
  if (parts.on && (outcome.count != parts.seenCount || outcome.eventful() || !outcome.ran)) {
    followRequiredPartsTick(outcome);
  }
}

// The rule as the latest tick left it, for the monitoring.
const tallymark::counter::BatchRule& batchRule();

}  // namespace tallymark::plugin
