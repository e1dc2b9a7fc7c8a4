#include <mutex>

#include "link/link_state.h"
#include "server/command_server.h"
#include "server/controller_exports.h"

namespace {

std::mutex& initLock() {
  static std::mutex lock;
  return lock;
}

// Made on the first call and never destroyed: the server lives until the process ends,
// and the DLL may be unloaded with its threads still running.
tallymark::server::CommandServer* controllerServer = nullptr;

}  // namespace

extern "C" int32_t TM_STDCALL Cnc_Init_Controller() {
  try {
    std::lock_guard<std::mutex> guard(initLock());
    tallymark::link::prepareLinkState();
    if (controllerServer == nullptr) controllerServer = new tallymark::server::CommandServer;
    // A listener that ended (its socket failed for good) is started again here.
    if (controllerServer->listening()) return 0;
    return controllerServer->start(tallymark::server::kCommandPort) ? 0 : -1;
  } catch (...) {
    return -1;
  }
}

void tallymark::server::detail::stopControllerServer() {
  std::lock_guard<std::mutex> guard(initLock());
  delete controllerServer;
  controllerServer = nullptr;
}
