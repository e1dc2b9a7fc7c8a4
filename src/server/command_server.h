// The command server: a TCP listener, and one thread per connection that greets the
// client, frames its lines and answers each rejected one with "#Invalid.\r\n".
//
// Cnc_Init_Controller runs one on port 7000 for the life of the process; tests run
// their own on any port and stop them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/socket.h"

namespace server {

namespace platform = tallymark::platform;

class CommandServer {
 public:
  // Connections served at once. One more is accepted and closed at once, without a
  // greeting: a client that cannot be served learns it immediately instead of waiting
  // behind a connection that may never end.
  static constexpr size_t kMaxConnections = 16;
  static constexpr int kBacklog = 10;
  static constexpr size_t kReceiveChunk = 512;

  CommandServer() = default;
  CommandServer(const CommandServer&) = delete;
  CommandServer& operator=(const CommandServer&) = delete;
  ~CommandServer();

  // Binds `port` (0: the system chooses) on all local addresses, listens, and starts the
  // listener thread. False, with nothing started, when the socket cannot be set up or the
  // server already runs.
  bool start(uint16_t port);

  // Closes the listener and every connection and waits for all their threads.
  void stop();

  uint16_t port() const { return port_; }

  // Connection threads started and not yet ended.
  size_t activeConnections() const;

 private:
  struct Connection {
    platform::SocketHandle socket = platform::kNoSocket;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void listen();
  void serve(Connection& connection);
  void reapFinished();  // joins the threads of ended connections; caller holds lock_

  platform::SocketHandle listener_ = platform::kNoSocket;
  uint16_t port_ = 0;
  bool socketsStarted_ = false;
  std::thread listenerThread_;
  std::atomic<bool> stopping_{false};

  mutable std::mutex lock_;  // guards connections_
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace server
