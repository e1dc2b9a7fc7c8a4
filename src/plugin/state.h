// The plug-in's own state: everything it keeps beside the names the host fixes (its
// callbacks and objects, MG, MyDevice, the settings globals), in one object, and the
// environment every subsystem it makes is handed.
//
// There is exactly one, made at the first use and never destroyed: the module may be
// unloaded with threads of it still running. Host thread only, unless a member says
// otherwise.
#pragma once

#include <deque>
#include <string>

#include "link/controller.h"
#include "platform/environment.h"
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

  // The controller link's calls; its channels and status are the module's globals.
  // Any thread.
  link::Controller link{environment};
  // The command server Cnc_Init_Controller starts. Any thread.
  server::SharedServer commandServer;
};

// The one state of the plug-in.
State& state();

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
