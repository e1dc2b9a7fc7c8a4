// What the plug-in keeps of the MTConnect adapter between ticks (see monitoring.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tallymark::mtconnect {
class Adapter;
}  // namespace tallymark::mtconnect

namespace tallymark::plugin {

struct MonitoringState {
  int32_t port = 0;
  std::string address;
  // The runs' times: from the first tick that saw LED 804 lit to the tick that counted.
  bool ledWasLit = false;
  uint32_t runStartedMs = 0;
  std::optional<uint32_t> lastCycleMs;
  // DRO 1502 as last converted, and what it gave.
  double lastResetDro = 0.0;
  std::optional<int64_t> lastResetUtcMs;
  // The adapter is wanted but could not listen; tried again from the tick.
  bool retrying = false;
  uint32_t triedAtMs = 0;
  bool failureShown = false;  // the console has this start's failure already
};

}  // namespace tallymark::plugin
