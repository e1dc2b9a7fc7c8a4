#include "counter/batch_rule.h"

namespace tallymark::counter {

void BatchRule::configure(int32_t requiredParts) {
  target_ = requiredParts > 0 ? requiredParts : 0;
  started_ = false;
  complete_ = false;
}

BatchStep BatchRule::follow(const TickOutcome& outcome) {
  BatchStep step;
  if (!on() || !outcome.ran) return step;
  const bool complete = outcome.count >= target_;
  if (!started_) {
    // Whatever the count at start, it was not made by a run this plug-in saw.
    started_ = true;
    complete_ = complete;
    step.setLed = true;
    step.ledLit = complete;
    return step;
  }
  if (outcome.resetApplied) {
    // A new batch: the LED goes out even if it already was, so that the operator's
    // reset always leaves the signal off (unless a run ends on the same tick, below).
    step.setLed = true;
    step.ledLit = false;
    complete_ = false;
  }
  // countBeforeRun is what the counted run read: a count already at the target (typed
  // in, or a batch already complete) is not completed again.
  if (outcome.runCounted && outcome.countBeforeRun < target_ && complete) {
    step.completed = true;
    step.setLed = true;
    step.ledLit = true;
    complete_ = true;
    return step;
  }
  if (complete != complete_) {
    step.setLed = true;
    step.ledLit = complete;
    complete_ = complete;
  }
  return step;
}

}  // namespace tallymark::counter
