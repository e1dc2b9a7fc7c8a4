#include "counter/counter_rule.h"

#include "counter/counter_window.h"

namespace tallymark::counter {
namespace {

// The rare steps, out of line: the tick that changes nothing stays small enough for
// the labels' comparisons to be inlined into it.
[[gnu::noinline]] void applyReset(DAZADA_RUVAZIDU& w, const HostAccess& host,
                                  TickOutcome& outcome) {
  w.ResetCounter = false;
  host.setDro(kDroCount, 0.0);
  host.setDro(kDroLastReset, w.dtValue);
  outcome.resetApplied = true;
  outcome.countBeforeReset = outcome.count;
  outcome.count = 0;
  outcome.lastReset = w.dtValue;
}

[[gnu::noinline]] void countRun(const HostAccess& host, TickOutcome& outcome) {
  outcome.countBeforeRun = countFromDro(host.getDro(kDroCount));
  outcome.count = nextCount(outcome.countBeforeRun);
  outcome.total = nextCount(countFromDro(host.getDro(kDroTotal)));
  host.setDro(kDroCount, outcome.count);
  host.setDro(kDroTotal, outcome.total);
  outcome.runCounted = true;
}

}  // namespace

TickOutcome counterTick(DAZADA_RUVAZIDU* window, const HostAccess& host) {
  // One object for every return, built in the caller's place: a second one would be
  // copied out on every tick.
  TickOutcome outcome;
  if (window == nullptr || host.getDro == nullptr || host.setDro == nullptr ||
      host.getLed == nullptr) {
    return outcome;
  }
  DAZADA_RUVAZIDU& w = *window;
  outcome.ran = true;

  outcome.count = countFromDro(host.getDro(kDroCount));
  outcome.total = countFromDro(host.getDro(kDroTotal));
  w.lblCountVal.setNumber(outcome.count);
  w.lblTotalCount.setNumber(outcome.total);
  w.dtValue2 = host.getDro(kDroLastReset);
  outcome.lastReset = w.dtValue2;

  if (w.ResetCounter) applyReset(w, host, outcome);

  const bool lit = host.getLed(kLedRunning);
  const bool wasLit = w.ledWasLit;
  w.ledWasLit = lit;
  outcome.ledLit = lit;
  if (lit) {
    outcome.runStarted = !wasLit;
    // NaN compares false, so a DRO 22 that is not a number does not qualify a run.
    const double qualifier = host.getDro(kDroRunQualifier);
    if (qualifier > 0.0 && !w.StartOnTrigger) {
      w.StartOnCheck = true;
      w.StartOnTrigger = true;
      outcome.qualified = true;
      outcome.qualifier = qualifier;
    }
    return outcome;
  }

  if (w.StartOnCheck) {
    countRun(host, outcome);
  } else {
    outcome.runNotCounted = wasLit;
  }
  w.StartOnCheck = false;
  w.StartOnTrigger = false;
  return outcome;
}

}  // namespace tallymark::counter
