#include "server/shared_server.h"

#include <atomic>
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

std::atomic<SharedServerStart> lastStart{SharedServerStart::None};

}  // namespace

bool startSharedServer(uint16_t port, CameraSource camera) {
  std::lock_guard<std::mutex> guard(sharedLock());
  if (shared == nullptr) {
    CommandServer::Options options;
    options.camera = camera;
    shared = new CommandServer(options);
  }
  // A listener that ended (its socket failed for good) is started again here.
  const bool listening = shared->listening() || shared->start(port);
  lastStart.store(listening ? SharedServerStart::Listening : SharedServerStart::Failed,
                  std::memory_order_relaxed);
  return listening;
}

SharedServerStart lastSharedServerStart() {
  return lastStart.load(std::memory_order_relaxed);
}

void resetForTests() {
  detail::stopSharedServer();
  detail::setFaultHook(nullptr);
}

void detail::stopSharedServer() {
  std::lock_guard<std::mutex> guard(sharedLock());
  delete shared;
  shared = nullptr;
  lastStart.store(SharedServerStart::None, std::memory_order_relaxed);
}

}  // namespace tallymark::server
