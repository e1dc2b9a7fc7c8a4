#include "server/shared_server.h"

#include <mutex>

#include "server/command_server.h"

namespace tallymark::server {
namespace {

std::mutex& sharedLock() {
  static std::mutex lock;
  return lock;
}

// Made on the first start and never destroyed: the server lives until the process ends,
// and the DLL may be unloaded with its threads still running.
CommandServer* shared = nullptr;

}  // namespace

bool startSharedServer(uint16_t port, CameraSource camera) {
  std::lock_guard<std::mutex> guard(sharedLock());
  if (shared == nullptr) {
    CommandServer::Options options;
    options.camera = camera;
    shared = new CommandServer(options);
  }
  // A listener that ended (its socket failed for good) is started again here.
  if (shared->listening()) return true;
  return shared->start(port);
}

void resetForTests() {
  detail::stopSharedServer();
  detail::setFaultHook(nullptr);
}

void detail::stopSharedServer() {
  std::lock_guard<std::mutex> guard(sharedLock());
  delete shared;
  shared = nullptr;
}

}  // namespace tallymark::server
