// The simulated machine's automatic production mode: N runs of T seconds, each followed
// by a pause of P seconds, shown as LED 804 lit and put out. Pure: the caller supplies
// the clock and asks once per update tick.
#pragma once

#include <cstdint>
#include <string>

namespace tallymark::hostsim {

class Production {
 public:
  // Shorter runs or pauses would be shorter than a few update ticks.
  static constexpr double kShortestPhaseSeconds = 0.3;

  // Empty when the values are usable, otherwise why not.
  static std::string check(int runs, double runSeconds, double pauseSeconds);

  // Starts the first run at `nowMs`; the caller has checked the values.
  void start(int runs, double runSeconds, double pauseSeconds, int64_t nowMs);
  void stop() { active_ = false; }

  // The state of LED 804 for the tick at `nowMs`. A phase changes only from one tick to
  // the next and each phase lasts at least one tick, so a late or missed timer message
  // stretches a run instead of swallowing it: every run is seen lit and then seen off.
  // The mode ends once the pause after the last run has passed.
  bool ledForTick(int64_t nowMs);

  bool active() const { return active_; }
  int runs() const { return runs_; }
  // 1-based number of the run in progress or just ended; 0 when idle.
  int currentRun() const { return active_ ? index_ + 1 : 0; }

 private:
  bool active_ = false;
  bool running_ = false;  // in a run (LED lit), else in the pause after it
  int runs_ = 0;
  int index_ = 0;
  int ticksInPhase_ = 0;
  int64_t phaseStartMs_ = 0;
  int64_t runMs_ = 0;
  int64_t pauseMs_ = 0;
};

}  // namespace tallymark::hostsim
