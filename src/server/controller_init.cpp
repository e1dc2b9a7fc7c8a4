#include <mutex>

#include "link/link_state.h"
#include "server/command_server.h"
#include "server/controller_exports.h"

namespace {

std::mutex& initLock() {
  static std::mutex lock;
  return lock;
}

// Made on the first successful call and never destroyed: the server lives until the
// process ends, and the DLL may be unloaded with its threads still running.
server::CommandServer* controllerServer = nullptr;

}  // namespace

extern "C" int32_t TM_STDCALL Cnc_Init_Controller() {
  try {
    std::lock_guard<std::mutex> guard(initLock());
    controller::prepareLinkState();
    if (controllerServer != nullptr) return 0;
    auto* started = new server::CommandServer;
    if (!started->start(server::kCommandPort)) {
      delete started;
      return -1;
    }
    controllerServer = started;
    return 0;
  } catch (...) {
    return -1;
  }
}

void server::detail::stopControllerServer() {
  std::lock_guard<std::mutex> guard(initLock());
  delete controllerServer;
  controllerServer = nullptr;
}
