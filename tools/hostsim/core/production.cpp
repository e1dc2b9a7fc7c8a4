#include "production.h"

#include <cmath>

namespace tallymark::hostsim {

std::string Production::check(int runs, double runSeconds, double pauseSeconds) {
  if (runs < 1 || runs > 1000000) return "the number of runs must be between 1 and 1000000";
  if (!(runSeconds >= kShortestPhaseSeconds && runSeconds <= 86400.0))
    return "a run must last between 0.3 and 86400 seconds";
  if (!(pauseSeconds >= kShortestPhaseSeconds && pauseSeconds <= 86400.0))
    return "a pause must last between 0.3 and 86400 seconds";
  return {};
}

void Production::start(int runs, double runSeconds, double pauseSeconds, int64_t nowMs) {
  active_ = true;
  running_ = true;
  runs_ = runs;
  index_ = 0;
  ticksInPhase_ = 0;
  phaseStartMs_ = nowMs;
  runMs_ = std::llround(runSeconds * 1000.0);
  pauseMs_ = std::llround(pauseSeconds * 1000.0);
}

bool Production::ledForTick(int64_t nowMs) {
  if (!active_) return false;
  const int64_t elapsed = nowMs - phaseStartMs_;
  if (ticksInPhase_ > 0 && elapsed >= (running_ ? runMs_ : pauseMs_)) {
    if (running_) {
      running_ = false;
    } else if (++index_ >= runs_) {
      active_ = false;
      return false;
    } else {
      running_ = true;
    }
    phaseStartMs_ = nowMs;
    ticksInPhase_ = 0;
  }
  ++ticksInPhase_;
  return running_;
}

}  // namespace tallymark::hostsim
