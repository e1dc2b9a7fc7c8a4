// Loopback helpers for the network tests: a TCP client with generous time-outs, and a
// wait for a condition that another thread makes true. Everything talks to 127.0.0.1.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace loopback {

namespace platform = tallymark::platform;

// Long enough never to fire on a loaded machine, short enough that a fault ends a test
// instead of hanging it.
inline constexpr int kPatienceMs = 10000;

template <typename Condition>
bool waitUntil(Condition condition, int timeoutMs = kPatienceMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Holds each of `count` threads until all have arrived, then lets them go together.
class Gate {
 public:
  explicit Gate(size_t count) : waiting_(count) {}
  void arriveAndWait() {
    std::unique_lock<std::mutex> guard(lock_);
    if (--waiting_ == 0) opened_.notify_all();
    opened_.wait(guard, [this] { return waiting_ == 0; });
  }

 private:
  std::mutex lock_;
  std::condition_variable opened_;
  size_t waiting_;
};

// The system's socket library, held for as long as this lives.
class SocketLibrary {
 public:
  SocketLibrary() { library_.start(); }

 private:
  platform::SocketLibrary library_;
};

class TcpClient {
 public:
  explicit TcpClient(uint16_t port)
      : socket_(platform::connectTcp({platform::loopbackAddress(), port})) {
    if (socket_) platform::setSocketTimeouts(socket_.get(), kPatienceMs, kPatienceMs);
  }

  bool connected() const { return socket_.isOpen(); }

  bool send(const std::string& bytes) {
    return platform::sendAll(socket_.get(), bytes.data(), bytes.size());
  }

  // Exactly `count` bytes, or fewer when the connection ends or the patience runs out.
  std::string read(size_t count) {
    std::string got;
    char chunk[4096];
    while (got.size() < count) {
      size_t want = count - got.size() < sizeof chunk ? count - got.size() : sizeof chunk;
      long n = platform::receiveSome(socket_.get(), chunk, want);
      if (n <= 0) break;
      got.append(chunk, static_cast<size_t>(n));
    }
    return got;
  }

  // True when the server ends the connection with a normal close, not a reset, before
  // sending anything more.
  bool endOfStream() {
    if (platform::waitReadable(socket_.get(), kPatienceMs) != platform::WaitResult::Ready)
      return false;
    char byte;
    return platform::receiveSome(socket_.get(), &byte, 1) == 0;
  }

  // True when the server closes the connection before sending anything more.
  bool closedByPeer() {
    if (platform::waitReadable(socket_.get(), kPatienceMs) != platform::WaitResult::Ready)
      return false;
    char byte;
    return platform::receiveSome(socket_.get(), &byte, 1) <= 0;
  }

  // The server sees the end of the stream; its replies can still be read.
  bool finishSending() { return platform::shutdownSending(socket_.get()); }

  void close() { socket_.close(); }

 private:
  platform::Socket socket_;
};

// A UDP socket bound to 127.0.0.1:`port` (0: the system chooses), without address reuse,
// so that binding fails while anything else holds the port.
class UdpReceiver {
 public:
  struct Datagram {
    std::string bytes;
    platform::Ipv4Endpoint from;
    std::chrono::steady_clock::time_point arrived;
  };

  explicit UdpReceiver(uint16_t port) : socket_(platform::openUdp()) {
    if (socket_ && !platform::bindIpv4(socket_.get(), {platform::loopbackAddress(), port}))
      socket_.close();
  }

  bool bound() const { return socket_.isOpen(); }
  uint16_t port() const { return platform::localPort(socket_.get()); }

  // The next datagram, waiting up to `timeoutMs`; false when none came.
  bool receive(Datagram& datagram, int timeoutMs = kPatienceMs) {
    if (platform::waitReadable(socket_.get(), timeoutMs) != platform::WaitResult::Ready)
      return false;
    char buffer[2048];
    long n = platform::receiveDatagram(socket_.get(), buffer, sizeof buffer, datagram.from);
    if (n < 0) return false;
    datagram.arrived = std::chrono::steady_clock::now();
    datagram.bytes.assign(buffer, static_cast<size_t>(n));
    return true;
  }

  // True when nothing is queued. Loopback datagrams are queued before the send returns,
  // so a short look after the sender is done is enough.
  bool empty() {
    Datagram ignored;
    return !receive(ignored, 50);
  }

 private:
  platform::Socket socket_;
};

}  // namespace loopback
