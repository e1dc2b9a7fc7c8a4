// What the adapter publishes: the figures of one machine, each possibly unknown.
#pragma once

#include <cstdint>
#include <optional>

namespace tallymark::mtconnect {

enum class Execution : uint8_t { Unavailable, Ready, Active };

// A value type, copied freely. An empty optional (or Execution::Unavailable, or
// `available` false) reaches the agents as UNAVAILABLE.
struct Observations {
  bool available = false;  // avail: the plug-in runs
  Execution execution = Execution::Unavailable;
  std::optional<int32_t> partCount;        // since the last reset
  std::optional<int32_t> totalPartCount;   // never reset
  std::optional<double> cycleTimeSeconds;  // the last counted run's duration
  std::optional<int64_t> lastResetUtcMs;   // milliseconds since 1970-01-01T00:00:00Z
  // The batch target (RequiredParts) and what remains of it. Sent only while
  // `batchItems` is set; without it the agents never see the two keys.
  bool batchItems = false;
  std::optional<int32_t> partCountTarget;
  std::optional<int32_t> partCountRemaining;
};

}  // namespace tallymark::mtconnect
