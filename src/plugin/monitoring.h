// The MTConnect adapter in the plug-in: its settings, its start at PostInitControl, the
// figures after every tick, and its end at StopPlug. Everything here runs on the host's
// user-interface thread; the adapter's own threads do the network.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "counter/counter_rule.h"
#include "mtconnect/observations.h"
#include "plugin/state.h"

namespace tallymark::plugin {

// The profile's MTConnectPort (0, or anything outside 1..65535: off) and MTConnectAddress
// (empty: all addresses), for the next startMonitoring. A running adapter goes on as it is.
void configureMonitoring(int32_t port, const std::string& address);

// Starts the adapter when the settings ask for it and it does not run yet. A port that
// cannot be bound, or an address that is no IPv4 address, leaves it off with a line on
// the console.
void startMonitoring();

void publishToRunningAdapter(const tallymark::counter::TickOutcome& outcome);

// After every tick of the counter rule, with what the tick did. While the adapter runs:
// takes the figures from the outcome (the host is not asked again), times the runs, and
// publishes what changed. Never allocates, never waits. Inline, so that a plug-in without
// MTConnect pays one test per tick.
inline void publishMonitoring(const State& s, const tallymark::counter::TickOutcome& outcome) {
  if (s.monitoringAdapter != nullptr) publishToRunningAdapter(outcome);
}

// Tells the agents the plug-in is gone and closes the adapter; returns within about a
// tenth of a second.
void stopMonitoring();

// The port the adapter listens on; 0 while it does not run.
uint16_t monitoringPort();

// The figures one tick leaves for the agents.
struct TickFigures {
  bool ran = false;  // the counter window exists and the host gave its callbacks
  bool ledLit = false;
  int32_t count = 0;
  int32_t total = 0;
  double lastReset = 0.0;  // DRO 1502
};
tallymark::mtconnect::Observations monitoringFigures(const TickFigures& tick,
                                                     std::optional<uint32_t> lastCycleMs,
                                                     std::optional<int64_t> lastResetUtcMs);

// DRO 1502, an OLE Automation date in local time, in UTC milliseconds; none for 0 (no
// reset yet), for what is not a date, and for what the system cannot convert.
std::optional<int64_t> lastResetFromDro(double oleDate);

}  // namespace tallymark::plugin
