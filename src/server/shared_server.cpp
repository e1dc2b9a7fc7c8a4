#include "server/shared_server.h"

namespace tallymark::server {

SharedServer::SharedServer(detail::FaultHook faults) : faults_(faults) {}

SharedServer::~SharedServer() {
  stop();
}

bool SharedServer::start(uint16_t port, CameraSource camera) {
  std::lock_guard<std::mutex> guard(lock_);
  if (server_ == nullptr) {
    CommandServer::Options options;
    options.camera = camera;
    options.faults = faults_;
    server_ = std::make_unique<CommandServer>(options);
  }
  // A listener that ended (its socket failed for good) is started again here.
  const bool listening = server_->listening() || server_->start(port);
  lastStart_.store(listening ? SharedServerStart::Listening : SharedServerStart::Failed,
                   std::memory_order_relaxed);
  return listening;
}

void SharedServer::stop() {
  std::lock_guard<std::mutex> guard(lock_);
  server_.reset();
  lastStart_.store(SharedServerStart::None, std::memory_order_relaxed);
}

}  // namespace tallymark::server
