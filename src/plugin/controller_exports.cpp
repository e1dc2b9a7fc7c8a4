// The controller exports: each catches every exception and hands over to the command
// server or the controller link.
#include "plugin/controller_exports.h"

#include "link/controller.h"
#include "platform/module.h"
#include "plugin/settings_globals.h"
#include "plugin/state.h"
#include "server/shared_server.h"

namespace {

// The greeting's camera settings as SetProName left them. Both globals are safe to
// read on the connection threads.
tallymark::server::CameraSettings configuredCamera() {
  return {CamType.load(), IPCamPath.get()};
}

}  // namespace

// The two calls that start threads pin the module first (see platform/module.h).
extern "C" {

int32_t TM_STDCALL Cnc_Init_Controller() {
  tallymark::platform::pinModule();
  try {
    tallymark::link::prepareLinkState();
    namespace server = tallymark::server;
    return tallymark::plugin::state().commandServer.start(server::kCommandPort, configuredCamera)
               ? 0
               : -1;
  } catch (...) {
    return -1;
  }
}

int32_t TM_STDCALL Cnc_Communication_Enable(const char* host) {
  tallymark::platform::pinModule();
  try {
    return tallymark::plugin::state().link.enable(host);
  } catch (...) {
    return -1;
  }
}

int32_t TM_STDCALL Cnc_Communication_Disable() {
  try {
    tallymark::plugin::state().link.disable();
  } catch (...) {
  }
  return 0;
}

int32_t TM_STDCALL Cnc_Status_Get(timer_resp_t* out) {
  try {
    return tallymark::plugin::state().link.statusGet(out);
  } catch (...) {
    return -1;
  }
}

void TM_STDCALL my_SendOut() {
  try {
    tallymark::plugin::state().link.sendOut();
  } catch (...) {
  }
}

}  // extern "C"
