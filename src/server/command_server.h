// The command server: a TCP listener, and one thread per connection that greets the
// client, frames its lines and answers each rejected one with "#Invalid.\r\n".
//
// The process's shared server (shared_server.h) is one on port 7000, running until the
// process ends; tests run their own on any port and stop them.
//
// No exception leaves a thread the server starts: a connection that cannot get a thread
// or memory ends quietly with its socket closed and its slot free, and the listener goes
// on accepting. The listener ends only after its socket has failed again and again
// (listening() then says so, and start() binds anew).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "net/peers.h"
#include "platform/socket.h"
#include "server/camera_source.h"

namespace tallymark::server {

namespace detail {

// Test seam: the places where the server starts a thread, allocates, or waits on the
// system. Not part of the plug-in's interface; the plug-in never sets a hook.
enum class FaultPoint {
  ListenerThread,    // starting the listener thread
  ConnectionRecord,  // allocating a new connection's record
  ConnectionThread,  // starting a connection's thread
  ListenerWait,      // the listener's wait for a connection
  Accept,            // accepting a connection
  Greeting,          // building the greeting
  ReceiveBuffer,     // taking received bytes into the connection's buffer
  LineCopy,          // the copy of a line handed to parse_line
  Reply,             // building the replies to one receive
  Receive,           // a receive, failing as it does once keepalive finds the peer gone
};

// Called at every pass through a point; true makes that step fail as it fails for real:
// thread starts with std::system_error, allocations with std::bad_alloc, the wait,
// accept and receive with the system call's failure. A hook may block to hold a thread
// at a point. Null (the default): nothing is injected.
using FaultHook = bool (*)(FaultPoint);

}  // namespace detail

class CommandServer {
 public:
  // Connections served at once. When all are taken, a newcomer takes the slot of the
  // connection that has been silent longest if that one has been silent for
  // net::kEvictAfterMs; otherwise it is accepted and closed at once, without a greeting:
  // a client that cannot be served learns it immediately. Every connection has
  // keepalive on (net::setUpPeer).
  static constexpr size_t kMaxConnections = 16;
  static constexpr int kBacklog = 10;
  static constexpr size_t kReceiveChunk = 512;

  // A client that stops reading its replies must not hold a connection thread for ever:
  // a send that takes longer ends the connection.
  static constexpr int kSendTimeoutMs = 5000;

  struct Options {
    // Milliseconds, wrapping at 2^32, for the silence of connections; null: the
    // system's monotonic clock. Tests pass their own.
    uint32_t (*clock)() = nullptr;
    int sendTimeoutMs = kSendTimeoutMs;
    // The camera settings each new client is greeted by.
    CameraSource camera = nullptr;
    // Test seam (detail::FaultPoint); null in the plug-in.
    detail::FaultHook faults = nullptr;
  };

  CommandServer();
  explicit CommandServer(Options options);
  CommandServer(const CommandServer&) = delete;
  CommandServer& operator=(const CommandServer&) = delete;
  ~CommandServer();

  // Binds `port` (0: the system chooses) on all local addresses, listens, and starts the
  // listener thread. False, with the port left free, when the socket cannot be set up or
  // the thread cannot be started; false too while the listener runs. After the listener
  // has ended, starts it again; connections still open are kept. start and stop are
  // called from one thread at a time.
  bool start(uint16_t port);

  // Closes the listener and every connection and waits for all their threads.
  void stop();

  // True from a successful start until the listener ends (stop, or its socket failing).
  bool listening() const { return listening_; }

  uint16_t port() const { return port_; }

  // Connection threads started and not yet ended.
  size_t activeConnections() const;

 private:
  struct Connection {
    platform::Socket socket;  // its thread's own once started
    // Its slot, heard at the accept and at each receive. Once a newcomer has taken the
    // slot (evicted), the thread sees that within its poll and closes.
    net::Peer peer;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  uint32_t now() const;
  void listen();
  void acceptLoop();
  void admit(platform::Socket accepted);
  void serve(Connection& connection);
  void converse(Connection& connection);
  void reapFinished();  // joins the threads of ended connections; caller holds lock_

  Options options_;
  // Held from the first start until stop, past every socket below.
  platform::SocketLibrary sockets_;
  platform::Socket listener_;  // the listener thread's own while it runs
  uint16_t port_ = 0;
  std::thread listenerThread_;
  std::atomic<bool> listening_{false};
  std::atomic<bool> stopping_{false};

  mutable std::mutex lock_;  // guards connections_, and admissions to peers_
  std::list<std::unique_ptr<Connection>> connections_;
  net::PeerTable<kMaxConnections> peers_;
};

}  // namespace tallymark::server
