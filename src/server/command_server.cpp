#include "server/command_server.h"

#include <chrono>
#include <new>
#include <string>
#include <system_error>

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
  if (!socketsStarted_) {
    if (!platform::startSockets()) return false;
    socketsStarted_ = true;
  }
  platform::SocketHandle listener = platform::openTcpListener(port, kBacklog);
  if (listener == platform::kNoSocket) return false;
  listener_ = listener;
  port_ = platform::localPort(listener);
  stopping_ = false;
  listening_ = true;
  try {
    throwIfFaultAt(options_.faults, FaultPoint::ListenerThread);
    listenerThread_ = std::thread([this] { listen(); });
  } catch (...) {
    // Nothing would accept on the port: free it, so that a later start can bind it.
    listening_ = false;
    platform::closeSocket(listener_);
    listener_ = platform::kNoSocket;
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
  if (socketsStarted_) platform::releaseSockets();
  socketsStarted_ = false;
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
  platform::closeSocket(listener_);
  listener_ = platform::kNoSocket;
  listening_ = false;
}

void CommandServer::acceptLoop() {
  int failedWaits = 0;
  while (!stopping_) {
    platform::WaitResult wait = faultAt(options_.faults, FaultPoint::ListenerWait)
                                    ? platform::WaitResult::Failed
                                    : platform::waitReadable(listener_, kStopPollMs);
    if (wait == platform::WaitResult::Failed) {
      if (++failedWaits >= kMaxFailedWaits) return;
      pause(kStopPollMs);
      continue;
    }
    failedWaits = 0;
    if (wait == platform::WaitResult::TimedOut) continue;
    platform::SocketHandle accepted = faultAt(options_.faults, FaultPoint::Accept)
                                          ? platform::kNoSocket
                                          : platform::acceptConnection(listener_);
    if (accepted == platform::kNoSocket) {
      // Out of descriptors, say: the connection waits in the backlog, and retrying at
      // once would spin.
      pause(kStopPollMs);
      continue;
    }
    admit(accepted);
  }
}

void CommandServer::admit(platform::SocketHandle accepted) {
  uint32_t arrived = now();
  std::lock_guard<std::mutex> guard(lock_);
  reapFinished();
  if (!makeRoom(arrived)) {
    platform::closeGracefully(accepted);
    return;
  }
  try {
    throwIfFaultAt(options_.faults, FaultPoint::ConnectionRecord);
    connections_.push_back(std::make_unique<Connection>());
  } catch (...) {
    platform::closeGracefully(accepted);
    return;
  }
  Connection& connection = *connections_.back();
  connection.socket = accepted;
  connection.lastHeard = arrived;
  try {
    throwIfFaultAt(options_.faults, FaultPoint::ConnectionThread);
    connection.thread = std::thread([this, &connection] { serve(connection); });
  } catch (...) {
    connections_.pop_back();
    platform::closeGracefully(accepted);
  }
}

bool CommandServer::makeRoom(uint32_t arrived) {
  size_t occupied = 0;
  Connection* quietest = nullptr;
  int32_t longest = 0;
  for (const auto& connection : connections_) {
    if (connection->finished || connection->evicted) continue;
    ++occupied;
    // Signed: a connection may have heard from its client after `arrived` was read.
    int32_t silent = static_cast<int32_t>(arrived - connection->lastHeard.load());
    if (quietest == nullptr || silent > longest) {
      quietest = connection.get();
      longest = silent;
    }
  }
  if (occupied < kMaxConnections) return true;
  if (longest < static_cast<int32_t>(kEvictAfterMs)) return false;
  // Its thread sees the flag within kStopPollMs and closes; the newcomer need not wait.
  quietest->evicted = true;
  return true;
}

void CommandServer::serve(Connection& connection) {
  try {
    converse(connection);
  } catch (...) {
    // No memory for a buffer or a line: this connection ends, the others go on.
  }
  platform::closeGracefully(connection.socket);
  connection.finished = true;
}

void CommandServer::converse(Connection& connection) {
  platform::SocketHandle socket = connection.socket;
  platform::setSocketTimeouts(socket, options_.sendTimeoutMs, 0);
  platform::setKeepalive(socket, kKeepaliveIdleMs, kKeepaliveIntervalMs, kKeepaliveProbes);
  // Each reply goes out at once; the client waits for it before its next line.
  platform::setNoDelay(socket);

  throwIfFaultAt(options_.faults, FaultPoint::Greeting);
  CameraSettings camera = options_.camera != nullptr ? options_.camera() : CameraSettings{};
  std::string hello = greeting(camera.type, camera.path);
  if (!hello.empty() && !platform::sendAll(socket, hello.data(), hello.size())) return;

  LineFramer framer;
  std::string line;
  std::string replies;  // the answers to one receive's lines, sent together
  char chunk[kReceiveChunk];
  while (!stopping_ && !connection.evicted) {
    platform::WaitResult wait = platform::waitReadable(socket, kStopPollMs);
    if (wait == platform::WaitResult::TimedOut) continue;
    long got = wait == platform::WaitResult::Ready && !faultAt(options_.faults, FaultPoint::Receive)
                   ? platform::receiveSome(socket, chunk, sizeof chunk)
                   : -1;
    if (got <= 0) return;
    connection.lastHeard = now();
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
