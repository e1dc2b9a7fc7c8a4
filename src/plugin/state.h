// The plug-in's own state: everything it keeps beside the names the host fixes (its
// callbacks and objects, MG, MyDevice, the settings globals), in one object, and the
// environment every subsystem it makes is handed.
//
// There is exactly one, made at the first use and never destroyed: the module may be
// unloaded with threads of it still running. Host thread only, unless a member says
// otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "counter/batch_rule.h"
#include "counter/run_tracker.h"
#include "counter/status_line.h"
#include "link/controller.h"
#include "platform/environment.h"
#include "plugin/monitoring_state.h"
#include "runlog/writer.h"
#include "server/shared_server.h"
#include "settings/settings.h"

namespace tallymark::plugin {

struct State {
  explicit State(platform::Environment env);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Declared first: every member below, and everything the plug-in makes, refers to it.
  // A test may change a member of it while no thread of the plug-in's is running.
  platform::Environment environment;

  // Every record SetProName made. A replaced record is kept, not freed: code elsewhere
  // may still hold the pointer it read from MG::xyzDemoConfig. A deque never moves its
  // elements.
  std::deque<XYZDemoConfig> settingsRecords;
  // The profile's absolute path in the file functions' encoding, fixed at SetProName:
  // the host's file dialogs move its working folder, and a relative name would then
  // name another file at StopPlug.
  std::string profilePath;

  // menuStart holds the identifier the host reserved: asked for once.
  bool menuReserved = false;

  // The controller link's calls; its channels and status are the module's globals.
  // Any thread.
  link::Controller link{environment};
  // The command server Cnc_Init_Controller starts. Any thread.
  server::SharedServer commandServer;

  // The runs' times, by the environment's clocks.
  counter::RunTracker runs{[this] {
    return counter::RunInstant{environment.zonedNow(), environment.monotonicNow()};
  }};
  // When the latest counted run ended: a batch it completed is logged with its time.
  platform::ZonedDateTime lastCountedAt;
  // The running writer of the run log, or null when the log is off. Its file comes from
  // the environment.
  runlog::Writer* runLogWriter = nullptr;
  // Writes what waits and ends the writer; returns within a second even when the disk
  // hangs (the writer is then left to finish on its own).
  void stopRunLog();

  // The MTConnect adapter, made at its first start and kept; null while MTConnect was
  // never switched on, which is what every tick tests first. Runs are timed by the
  // environment's monotonic clock.
  mtconnect::Adapter* monitoringAdapter = nullptr;
  MonitoringState monitoring;

  // The batch target (required_parts.h).
  struct RequiredParts {
    counter::BatchRule rule;
    short led = 0;
    std::string code;  // in the host's code page
    // True while RequiredParts is on; what every tick tests first.
    bool on = false;
    // The count the last tick that ran left, or a value no count can have (the next
    // tick is then looked at whatever it holds).
    int64_t seenCount = kNoCountSeen;
    static constexpr int64_t kNoCountSeen = INT64_MIN;
  } requiredParts;

  // The counter window's status line (operator_status.h), kept here so that a problem
  // found before the window exists shows once it does; and the ticks until the next
  // look at the other threads' problems.
  counter::StatusLine statusLine;
  int statusPollCountdown = 0;
};

namespace detail {
// The current state: null until the first call of state() makes one.
extern std::atomic<State*> currentState;
State& makeFirstState();
}  // namespace detail

// The one state of the plug-in, made by the first call from any thread (the controller
// exports run on an outside program's threads, perhaps before the host's first call).
// Inline, without a function-local static's guard: every tick asks for it several times.
inline State& state() {
  State* current = detail::currentState.load(std::memory_order_acquire);
  return current != nullptr ? *current : detail::makeFirstState();
}

// For test programs that run several lifecycles in one process; the plug-in never calls
// it. Puts the plug-in back as the module loads it, with `environment` for everything it
// makes from now on: no host callbacks, objects or profile name, no menu identifier, no
// device object (destroyed), no counter window (destroyed with its view), the settings
// globals at their initial values, and a fresh state (the old one's threads stopped).
// Host thread only, with no export running.
void resetForTests(platform::Environment environment = {});

namespace detail {
// The state part of resetForTests: the old state destroyed, a fresh one made.
void replaceState(platform::Environment environment);
}  // namespace detail

}  // namespace tallymark::plugin
