// The command server an outside program starts through the plug-in: made by the first
// start and kept, listening or not, until it is stopped or destroyed. The plug-in has one
// (in its state), which it never stops.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "server/camera_source.h"
#include "server/command_server.h"

namespace tallymark::server {

// The port outside programs find the command server on.
inline constexpr uint16_t kCommandPort = 7000;

// What the latest start of a shared server gave, for the operator's status line.
enum class SharedServerStart { None, Listening, Failed };

class SharedServer {
 public:
  // `faults` is the server's test seam (detail::FaultPoint), null in the plug-in.
  explicit SharedServer(detail::FaultHook faults = nullptr);
  // As stop().
  ~SharedServer();
  SharedServer(const SharedServer&) = delete;
  SharedServer& operator=(const SharedServer&) = delete;

  // Starts the server listening on `port` (all local addresses), greeting its clients
  // by `camera`. True once it listens, and at once when it already does; false when the
  // port cannot be bound or listened on, or the listener thread cannot be started (the
  // port is then left free). A later call tries again, and so does a call after the
  // listener has ended, its socket having failed for good; connections still open are
  // kept. The server keeps the camera source of the call that made it. Calls from
  // several threads run one after another. Throws only what locking and allocation
  // throw.
  bool start(uint16_t port, CameraSource camera);

  // What the latest start gave. Never waits: any thread may ask at any time.
  SharedServerStart lastStart() const { return lastStart_.load(std::memory_order_relaxed); }

  // Stops the server, waiting for all its threads, and forgets it: the next start makes
  // a new one. Lets a test program end with no thread of it left running.
  void stop();

 private:
  const detail::FaultHook faults_;
  std::mutex lock_;  // guards server_
  std::unique_ptr<CommandServer> server_;
  std::atomic<SharedServerStart> lastStart_{SharedServerStart::None};
};

}  // namespace tallymark::server
