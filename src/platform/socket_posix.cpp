#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"

namespace tallymark::platform {
namespace {

int fd(SocketHandle socket) {
  return static_cast<int>(socket);
}

Socket owned(int descriptor) {
  return Socket(descriptor < 0 ? kNoSocket : static_cast<SocketHandle>(descriptor));
}

sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = endpoint.address;
  return address;
}

timeval toTimeval(int ms) {
  timeval value{};
  value.tv_sec = ms / 1000;
  value.tv_usec = (ms % 1000) * 1000;
  return value;
}

}  // namespace

uint32_t loopbackAddress() {
  return htonl(INADDR_LOOPBACK);
}

// Nothing to start: the reference is only counted, so that release() pairs as on Windows.
bool SocketLibrary::start() {
  held_ = true;
  return true;
}

void SocketLibrary::release() {
  held_ = false;
}

void Socket::close() {
  if (handle_ != kNoSocket) ::close(fd(release()));
}

bool shutdownSending(SocketHandle socket) {
  return ::shutdown(fd(socket), SHUT_WR) == 0;
}

Socket openTcpListener(uint16_t port, int backlog) {
  return openTcpListenerOn({htonl(INADDR_ANY), port}, backlog);
}

Socket acceptConnection(SocketHandle listener) {
  int connection;
  do {
    connection = ::accept(fd(listener), nullptr, nullptr);
  } while (connection < 0 && errno == EINTR);
  return owned(connection);
}

Socket connectTcp(const Ipv4Endpoint& endpoint) {
  int connection = ::socket(AF_INET, SOCK_STREAM, 0);
  if (connection < 0) return Socket();
  sockaddr_in address = toSockaddr(endpoint);
  if (::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(connection);
    return Socket();
  }
  return owned(connection);
}

uint16_t localPort(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (::getsockname(fd(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  return ntohs(address.sin_port);
}

WaitResult waitReadable(SocketHandle socket, int timeoutMs) {
  pollfd entry{fd(socket), POLLIN, 0};
  int ready = ::poll(&entry, 1, timeoutMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return WaitResult::TimedOut;
  if (ready < 0 || (entry.revents & POLLNVAL)) return WaitResult::Failed;
  return WaitResult::Ready;
}

long receiveSome(SocketHandle socket, void* buffer, size_t capacity) {
  ssize_t got;
  do {
    got = ::recv(fd(socket), buffer, capacity, 0);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : static_cast<long>(got);
}

bool sendAll(SocketHandle socket, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t sent = ::send(fd(socket), next, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    next += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

// The system counts keepalive times in whole seconds.
bool setKeepalive(SocketHandle socket, int idleMs, int intervalMs, int probes) {
  int on = 1;
  int idle = (idleMs + 999) / 1000;
  int interval = (intervalMs + 999) / 1000;
  return ::setsockopt(fd(socket), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         ::setsockopt(fd(socket), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 &&
         ::setsockopt(fd(socket), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 &&
         ::setsockopt(fd(socket), IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0;
}

bool setNoDelay(SocketHandle socket) {
  int on = 1;
  return ::setsockopt(fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool getNoDelay(SocketHandle socket, bool& on) {
  int value = 0;
  socklen_t size = sizeof value;
  if (::getsockopt(fd(socket), IPPROTO_TCP, TCP_NODELAY, &value, &size) != 0) return false;
  on = value != 0;
  return true;
}

bool getKeepalive(SocketHandle socket, bool& on, int& idleMs, int& intervalMs) {
  int enabled = 0, idle = 0, interval = 0;
  socklen_t size = sizeof enabled;
  if (::getsockopt(fd(socket), SOL_SOCKET, SO_KEEPALIVE, &enabled, &size) != 0 ||
      ::getsockopt(fd(socket), IPPROTO_TCP, TCP_KEEPIDLE, &idle, &size) != 0 ||
      ::getsockopt(fd(socket), IPPROTO_TCP, TCP_KEEPINTVL, &interval, &size) != 0) {
    return false;
  }
  on = enabled != 0;
  idleMs = idle * 1000;
  intervalMs = interval * 1000;
  return true;
}

Socket openUdp() {
  return owned(::socket(AF_INET, SOCK_DGRAM, 0));
}

bool resolveIpv4(const std::string& host, uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return true;
}

bool setReuseAddress(SocketHandle socket) {
  int on = 1;
  return ::setsockopt(fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool bindIpv4(SocketHandle socket, const Ipv4Endpoint& local) {
  sockaddr_in address = toSockaddr(local);
  return ::bind(fd(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

long sendDatagram(SocketHandle socket, const void* data, size_t size,
                  const Ipv4Endpoint& destination) {
  sockaddr_in address = toSockaddr(destination);
  ssize_t sent = ::sendto(fd(socket), data, size, MSG_NOSIGNAL,
                          reinterpret_cast<sockaddr*>(&address), sizeof address);
  return sent < 0 ? -1 : static_cast<long>(sent);
}

long receiveDatagram(SocketHandle socket, void* buffer, size_t capacity, Ipv4Endpoint& from) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  ssize_t got;
  do {
    got = ::recvfrom(fd(socket), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&address), &size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return -1;
  from.address = address.sin_addr.s_addr;
  from.port = ntohs(address.sin_port);
  return static_cast<long>(got);
}

bool setSocketTimeouts(SocketHandle socket, int sendMs, int receiveMs) {
  timeval send = toTimeval(sendMs);
  timeval receive = toTimeval(receiveMs);
  return ::setsockopt(fd(socket), SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send) == 0 &&
         ::setsockopt(fd(socket), SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive) == 0;
}

bool getSocketTimeouts(SocketHandle socket, int& sendMs, int& receiveMs) {
  timeval send{}, receive{};
  socklen_t sendSize = sizeof send, receiveSize = sizeof receive;
  if (::getsockopt(fd(socket), SOL_SOCKET, SO_SNDTIMEO, &send, &sendSize) != 0 ||
      ::getsockopt(fd(socket), SOL_SOCKET, SO_RCVTIMEO, &receive, &receiveSize) != 0) {
    return false;
  }
  sendMs = static_cast<int>(send.tv_sec * 1000 + send.tv_usec / 1000);
  receiveMs = static_cast<int>(receive.tv_sec * 1000 + receive.tv_usec / 1000);
  return true;
}

Socket openTcpListenerOn(const Ipv4Endpoint& local, int backlog) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) return Socket();
  int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = toSockaddr(local);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, backlog) != 0) {
    ::close(listener);
    return Socket();
  }
  return owned(listener);
}

bool setNonBlocking(SocketHandle socket) {
  int flags = ::fcntl(fd(socket), F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

long sendSome(SocketHandle socket, const void* data, size_t size) {
  ssize_t sent;
  do {
    sent = ::send(fd(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  return static_cast<long>(sent);
}

WaitResult waitReadableAny(const SocketHandle* sockets, size_t count, int timeoutMs, bool* ready) {
  pollfd entries[64];
  if (count > 63) return WaitResult::Failed;
  for (size_t i = 0; i < count; ++i) entries[i] = {fd(sockets[i]), POLLIN, 0};
  int got = ::poll(entries, count, timeoutMs);
  if (got == 0 || (got < 0 && errno == EINTR)) return WaitResult::TimedOut;
  if (got < 0) return WaitResult::Failed;
  // A socket in error or hung up reads as ready: its receive then reports what happened.
  for (size_t i = 0; i < count; ++i) ready[i] = entries[i].revents != 0;
  return WaitResult::Ready;
}

bool setBufferSizes(SocketHandle socket, int sendBytes, int receiveBytes) {
  bool ok = true;
  if (sendBytes > 0)
    ok = ::setsockopt(fd(socket), SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes) == 0;
  if (receiveBytes > 0)
    ok = ::setsockopt(fd(socket), SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes) == 0 &&
         ok;
  return ok;
}

}  // namespace tallymark::platform
