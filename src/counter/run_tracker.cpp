#include "counter/run_tracker.h"

#include <utility>

#include "platform/clock.h"

namespace tallymark::counter {

namespace platform = tallymark::platform;

RunInstant systemRunInstant() {
  return RunInstant{platform::zonedNow(), platform::monotonicMillis()};
}

RunTracker::RunTracker(std::function<RunInstant()> clock) : clock_(std::move(clock)) {}

RunTracker::Events RunTracker::follow(const TickOutcome& outcome) {
  Events events;
  if (!outcome.ran) return events;
  if (outcome.qualified) qualifier_ = outcome.qualifier;
  if (!outcome.runStarted && !outcome.runCounted && !outcome.runNotCounted &&
      !outcome.resetApplied) {
    return events;
  }
  const RunInstant now = clock_();

  if (outcome.resetApplied) {
    RunEvent& reset = events.event[events.size++];
    reset.kind = RunEvent::Kind::Reset;
    reset.at = now.wall;
    reset.countBeforeReset = outcome.countBeforeReset;
  }
  if (outcome.runCounted || outcome.runNotCounted) {
    // A run whose start was not seen (the tracker came later) is timed from its end.
    const RunInstant start = inRun_ ? start_ : now;
    RunEvent& run = events.event[events.size++];
    run.kind = outcome.runCounted ? RunEvent::Kind::Counted : RunEvent::Kind::NotCounted;
    run.at = now.wall;
    run.started = start.wall;
    run.durationMs = now.monotonicMs - start.monotonicMs;
    run.qualifier = outcome.runCounted ? qualifier_ : 0.0;
    run.count = outcome.count;
    run.total = outcome.total;
    if (outcome.runCounted) lastCycleMs_ = run.durationMs;
    inRun_ = false;
  }
  if (outcome.runStarted) {
    inRun_ = true;
    start_ = now;
    qualifier_ = outcome.qualified ? outcome.qualifier : 0.0;
  }
  return events;
}

}  // namespace tallymark::counter
