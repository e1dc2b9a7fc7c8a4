#include "server/command_server.h"

#include <string>

#include "server/camera_config.h"
#include "server/line_framer.h"
#include "server/protocol.h"

namespace server {
namespace {

// How often blocked threads look at the stop flag.
constexpr int kStopPollMs = 100;

// A client that stops reading its replies must not hold a connection thread for ever.
constexpr int kSendTimeoutMs = 5000;

}  // namespace

CommandServer::~CommandServer() {
  stop();
}

bool CommandServer::start(uint16_t port) {
  if (listenerThread_.joinable()) return false;
  if (!platform::startSockets()) return false;
  listener_ = platform::openTcpListener(port, kBacklog);
  if (listener_ == platform::kNoSocket) {
    platform::releaseSockets();
    return false;
  }
  socketsStarted_ = true;
  port_ = platform::localPort(listener_);
  stopping_ = false;
  listenerThread_ = std::thread([this] { listen(); });
  return true;
}

void CommandServer::stop() {
  if (!listenerThread_.joinable()) return;
  stopping_ = true;
  listenerThread_.join();
  platform::closeSocket(listener_);
  listener_ = platform::kNoSocket;

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
  while (!stopping_) {
    platform::WaitResult wait = platform::waitReadable(listener_, kStopPollMs);
    if (wait == platform::WaitResult::Failed) return;
    if (wait == platform::WaitResult::TimedOut) continue;
    platform::SocketHandle accepted = platform::acceptConnection(listener_);
    if (accepted == platform::kNoSocket) continue;

    std::lock_guard<std::mutex> guard(lock_);
    reapFinished();
    if (connections_.size() >= kMaxConnections) {
      platform::closeSocket(accepted);
      continue;
    }
    auto connection = std::make_unique<Connection>();
    connection->socket = accepted;
    Connection& started = *connection;
    connections_.push_back(std::move(connection));
    started.thread = std::thread([this, &started] { serve(started); });
  }
}

void CommandServer::serve(Connection& connection) {
  platform::SocketHandle socket = connection.socket;
  platform::setSocketTimeouts(socket, kSendTimeoutMs, 0);

  std::string hello = greeting(cameraType(), cameraPath());
  bool open = hello.empty() || platform::sendAll(socket, hello.data(), hello.size());

  LineFramer framer;
  std::string line;
  std::string replies;  // the answers to one receive's lines, sent together
  char chunk[kReceiveChunk];
  while (open && !stopping_) {
    platform::WaitResult wait = platform::waitReadable(socket, kStopPollMs);
    if (wait == platform::WaitResult::TimedOut) continue;
    long got = wait == platform::WaitResult::Ready
                   ? platform::receiveSome(socket, chunk, sizeof chunk)
                   : -1;
    if (got <= 0) break;
    framer.receive(chunk, static_cast<size_t>(got));
    bool overlong = false;
    replies.clear();
    while (framer.readLine(line, overlong)) {
      if (overlong || !parse_line(line)) replies.append(kInvalidReply, kInvalidReplySize);
    }
    if (!replies.empty()) open = platform::sendAll(socket, replies.data(), replies.size());
  }
  platform::closeSocket(socket);
  connection.finished = true;
}

}  // namespace server
