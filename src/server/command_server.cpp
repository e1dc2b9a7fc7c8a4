#include "server/command_server.h"

#include <chrono>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "platform/clock.h"
#include "server/line_framer.h"
#include "server/protocol.h"

namespace tallymark::server {
namespace {

using detail::FaultPoint;

// How often blocked threads look at the stop and eviction flags.
constexpr int kStopPollMs = 100;

// Waits of the listener that fail in a row before it gives up: a select that fails
// (no buffers, the network stack going down) is retried; one that keeps failing has lost
// its socket. About a second at kStopPollMs between tries.
constexpr int kMaxFailedWaits = 10;

bool faultAt(detail::FaultHook hook, FaultPoint point) {
  return hook != nullptr && hook(point);
}

void throwIfFaultAt(detail::FaultHook hook, FaultPoint point) {
  if (!faultAt(hook, point)) return;
  if (point == FaultPoint::ListenerThread || point == FaultPoint::ConnectionThread)
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  throw std::bad_alloc();
}

void pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

CommandServer::CommandServer() : CommandServer(Options{}) {}

CommandServer::CommandServer(Options options) : options_(options) {}

CommandServer::~CommandServer() {
  stop();
}

uint32_t CommandServer::now() const {
  return options_.clock != nullptr ? options_.clock() : platform::monotonicMillis();
}

bool CommandServer::start(uint16_t port) {
  if (listening_) return false;
  // A listener that ended by itself has closed its socket already.
  if (listenerThread_.joinable()) listenerThread_.join();
  if (!sockets_.start()) return false;
  platform::Socket listener = platform::openTcpListener(port, kBacklog);
  if (!listener) return false;
  port_ = platform::localPort(listener.get());
  listener_ = std::move(listener);
  stopping_ = false;
  listening_ = true;
  try {
    throwIfFaultAt(options_.faults, FaultPoint::ListenerThread);
    listenerThread_ = std::thread([this] { listen(); });
  } catch (...) {
    // Nothing would accept on the port: free it, so that a later start can bind it.
    listening_ = false;
    listener_.close();
    return false;
  }
  return true;
}

void CommandServer::stop() {
  stopping_ = true;
  if (listenerThread_.joinable()) listenerThread_.join();
  std::list<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard<std::mutex> guard(lock_);
    connections.swap(connections_);
  }
  for (auto& connection : connections) connection->thread.join();
  sockets_.release();
}

size_t CommandServer::activeConnections() const {
  std::lock_guard<std::mutex> guard(lock_);
  size_t active = 0;
  for (const auto& connection : connections_) active += connection->finished ? 0 : 1;
  return active;
}

void CommandServer::reapFinished() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if ((*it)->finished) {
      (*it)->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void CommandServer::listen() {
  try {
    acceptLoop();
  } catch (...) {
    // Not expected (admit handles its own failures); the listener ends and says so.
  }
  listener_.close();
  listening_ = false;
}

void CommandServer::acceptLoop() {
  int failedWaits = 0;
  while (!stopping_) {
    platform::WaitResult wait = faultAt(options_.faults, FaultPoint::ListenerWait)
                                    ? platform::WaitResult::Failed
                                    : platform::waitReadable(listener_.get(), kStopPollMs);
    if (wait == platform::WaitResult::Failed) {
      if (++failedWaits >= kMaxFailedWaits) return;
      pause(kStopPollMs);
      continue;
    }
    failedWaits = 0;
    if (wait == platform::WaitResult::TimedOut) continue;
    platform::Socket accepted = faultAt(options_.faults, FaultPoint::Accept)
                                    ? platform::Socket()
                                    : platform::acceptConnection(listener_.get());
    if (!accepted) {
      // Out of descriptors, say: the connection waits in the backlog, and retrying at
      // once would spin.
      pause(kStopPollMs);
      continue;
    }
    admit(std::move(accepted));
  }
}

void CommandServer::admit(platform::Socket accepted) {
  uint32_t arrived = now();
  std::lock_guard<std::mutex> guard(lock_);
  reapFinished();
  // An evicted connection's thread sees that it lost its slot within kStopPollMs and
  // closes; the newcomer need not wait.
  net::Peer peer = peers_.admit(arrived);
  if (!peer) {
    net::closeGracefully(std::move(accepted));
    return;
  }
  try {
    throwIfFaultAt(options_.faults, FaultPoint::ConnectionRecord);
    connections_.push_back(std::make_unique<Connection>());
  } catch (...) {
    peers_.leave(peer);
    net::closeGracefully(std::move(accepted));
    return;
  }
  Connection& connection = *connections_.back();
  connection.socket = std::move(accepted);
  connection.peer = peer;
  try {
    throwIfFaultAt(options_.faults, FaultPoint::ConnectionThread);
    connection.thread = std::thread([this, &connection] { serve(connection); });
  } catch (...) {
    accepted = std::move(connection.socket);
    connections_.pop_back();
    peers_.leave(peer);
    net::closeGracefully(std::move(accepted));
  }
}

void CommandServer::serve(Connection& connection) {
  try {
    converse(connection);
  } catch (...) {
    // No memory for a buffer or a line: this connection ends, the others go on.
  }
  net::closeGracefully(std::move(connection.socket));
  peers_.leave(connection.peer);
  connection.finished = true;
}

void CommandServer::converse(Connection& connection) {
  platform::SocketHandle socket = connection.socket.get();
  platform::setSocketTimeouts(socket, options_.sendTimeoutMs, 0);
  // Keepalive, and each reply out at once: the client waits for it before its next line.
  net::setUpPeer(socket);

  throwIfFaultAt(options_.faults, FaultPoint::Greeting);
  CameraSettings camera = options_.camera != nullptr ? options_.camera() : CameraSettings{};
  std::string hello = greeting(camera.type, camera.path);
  if (!hello.empty() && !platform::sendAll(socket, hello.data(), hello.size())) return;

  LineFramer framer;
  std::string line;
  std::string replies;  // the answers to one receive's lines, sent together
  char chunk[kReceiveChunk];
  while (!stopping_ && peers_.holds(connection.peer)) {
    platform::WaitResult wait = platform::waitReadable(socket, kStopPollMs);
    if (wait == platform::WaitResult::TimedOut) continue;
    long got = wait == platform::WaitResult::Ready && !faultAt(options_.faults, FaultPoint::Receive)
                   ? platform::receiveSome(socket, chunk, sizeof chunk)
                   : -1;
    if (got <= 0) return;
    peers_.heard(connection.peer, now());
    throwIfFaultAt(options_.faults, FaultPoint::ReceiveBuffer);
    framer.receive(chunk, static_cast<size_t>(got));
    bool overlong = false;
    replies.clear();
    while (framer.readLine(line, overlong)) {
      if (!overlong) throwIfFaultAt(options_.faults, FaultPoint::LineCopy);
      if (overlong || !parse_line(line)) {
        throwIfFaultAt(options_.faults, FaultPoint::Reply);
        replies.append(kInvalidReply, kInvalidReplySize);
      }
    }
    // A send that fails or times out (a client that does not read its replies) ends
    // the connection: what it missed cannot be told apart from what it got.
    if (!replies.empty() && !platform::sendAll(socket, replies.data(), replies.size())) return;
  }
}

}  // namespace tallymark::server
