#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which declares what it builds on.
#include <mstcpip.h>

#include "platform/socket.h"

namespace tallymark::platform {
namespace {

SOCKET native(SocketHandle socket) {
  return static_cast<SOCKET>(socket);
}

Socket owned(SOCKET socket) {
  return Socket(socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket));
}

sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = endpoint.address;
  return address;
}

}  // namespace

uint32_t loopbackAddress() {
  return htonl(INADDR_LOOPBACK);
}

// WSAStartup counts its callers: the library stays up until the last WSACleanup.
bool SocketLibrary::start() {
  if (held_) return true;
  WSADATA data;
  held_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  return held_;
}

void SocketLibrary::release() {
  if (!held_) return;
  held_ = false;
  WSACleanup();
}

void Socket::close() {
  if (handle_ != kNoSocket) closesocket(native(release()));
}

bool shutdownSending(SocketHandle socket) {
  return shutdown(native(socket), SD_SEND) == 0;
}

Socket openTcpListener(uint16_t port, int backlog) {
  return openTcpListenerOn({htonl(INADDR_ANY), port}, backlog);
}

Socket acceptConnection(SocketHandle listener) {
  return owned(accept(native(listener), nullptr, nullptr));
}

Socket connectTcp(const Ipv4Endpoint& endpoint) {
  SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connection == INVALID_SOCKET) return Socket();
  sockaddr_in address = toSockaddr(endpoint);
  if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    closesocket(connection);
    return Socket();
  }
  return owned(connection);
}

uint16_t localPort(SocketHandle socket) {
  sockaddr_in address{};
  int size = sizeof address;
  if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  return ntohs(address.sin_port);
}

WaitResult waitReadable(SocketHandle socket, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(native(socket), &readable);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int ready = select(0, &readable, nullptr, nullptr, &timeout);
  if (ready == 0) return WaitResult::TimedOut;
  return ready < 0 ? WaitResult::Failed : WaitResult::Ready;
}

long receiveSome(SocketHandle socket, void* buffer, size_t capacity) {
  int got = recv(native(socket), static_cast<char*>(buffer), static_cast<int>(capacity), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

bool sendAll(SocketHandle socket, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    int sent = send(native(socket), next, static_cast<int>(size), 0);
    if (sent == SOCKET_ERROR || sent == 0) return false;
    next += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

// Per socket, without touching the machine-wide keepalive settings in the registry.
bool setKeepalive(SocketHandle socket, int idleMs, int intervalMs, int /*probes*/) {
  tcp_keepalive values{};
  values.onoff = 1;
  values.keepalivetime = static_cast<ULONG>(idleMs);
  values.keepaliveinterval = static_cast<ULONG>(intervalMs);
  DWORD returned = 0;
  return WSAIoctl(native(socket), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
                  nullptr, nullptr) == 0;
}

bool setNoDelay(SocketHandle socket) {
  BOOL on = TRUE;
  return setsockopt(native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

bool getNoDelay(SocketHandle socket, bool& on) {
  BOOL value = FALSE;
  int size = sizeof value;
  if (getsockopt(native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&value),
                 &size) != 0) {
    return false;
  }
  on = value != FALSE;
  return true;
}

bool getKeepalive(SocketHandle socket, bool& on, int& idleMs, int& intervalMs) {
  BOOL enabled = FALSE;
  int size = sizeof enabled;
  if (getsockopt(native(socket), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&enabled),
                 &size) != 0) {
    return false;
  }
  on = enabled != FALSE;
  idleMs = -1;
  intervalMs = -1;
  return true;
}

Socket openUdp() {
  return owned(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
}

bool resolveIpv4(const std::string& host, uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

bool setReuseAddress(SocketHandle socket) {
  BOOL on = TRUE;
  return setsockopt(native(socket), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

bool bindIpv4(SocketHandle socket, const Ipv4Endpoint& local) {
  sockaddr_in address = toSockaddr(local);
  return bind(native(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

long sendDatagram(SocketHandle socket, const void* data, size_t size,
                  const Ipv4Endpoint& destination) {
  sockaddr_in address = toSockaddr(destination);
  int sent = sendto(native(socket), static_cast<const char*>(data), static_cast<int>(size), 0,
                    reinterpret_cast<sockaddr*>(&address), sizeof address);
  return sent == SOCKET_ERROR ? -1 : sent;
}

long receiveDatagram(SocketHandle socket, void* buffer, size_t capacity, Ipv4Endpoint& from) {
  sockaddr_in address{};
  int size = sizeof address;
  int got = recvfrom(native(socket), static_cast<char*>(buffer), static_cast<int>(capacity), 0,
                     reinterpret_cast<sockaddr*>(&address), &size);
  if (got == SOCKET_ERROR) return -1;
  from.address = address.sin_addr.s_addr;
  from.port = ntohs(address.sin_port);
  return got;
}

// Winsock takes both time-outs as a DWORD of milliseconds, not as a timeval.
bool setSocketTimeouts(SocketHandle socket, int sendMs, int receiveMs) {
  DWORD send = static_cast<DWORD>(sendMs);
  DWORD receive = static_cast<DWORD>(receiveMs);
  return setsockopt(native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send),
                    sizeof send) == 0 &&
         setsockopt(native(socket), SOL_SOCKET, SO_RCVTIMEO,
                    reinterpret_cast<const char*>(&receive), sizeof receive) == 0;
}

bool getSocketTimeouts(SocketHandle socket, int& sendMs, int& receiveMs) {
  DWORD send = 0, receive = 0;
  int sendSize = sizeof send, receiveSize = sizeof receive;
  if (getsockopt(native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&send),
                 &sendSize) != 0 ||
      getsockopt(native(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&receive),
                 &receiveSize) != 0) {
    return false;
  }
  sendMs = static_cast<int>(send);
  receiveMs = static_cast<int>(receive);
  return true;
}

Socket openTcpListenerOn(const Ipv4Endpoint& local, int backlog) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return Socket();
  // No SO_REUSEADDR: on Windows it lets a second socket take over a port in use.
  sockaddr_in address = toSockaddr(local);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, backlog) != 0) {
    closesocket(listener);
    return Socket();
  }
  return owned(listener);
}

bool setNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ioctlsocket(native(socket), FIONBIO, &on) == 0;
}

long sendSome(SocketHandle socket, const void* data, size_t size) {
  int sent = send(native(socket), static_cast<const char*>(data), static_cast<int>(size), 0);
  if (sent == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
  return sent;
}

// select takes at most FD_SETSIZE (64) sockets on Windows.
WaitResult waitReadableAny(const SocketHandle* sockets, size_t count, int timeoutMs, bool* ready) {
  if (count > 63) return WaitResult::Failed;
  fd_set readable;
  FD_ZERO(&readable);
  for (size_t i = 0; i < count; ++i) FD_SET(native(sockets[i]), &readable);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int got = select(0, &readable, nullptr, nullptr, &timeout);
  if (got == 0) return WaitResult::TimedOut;
  if (got < 0) return WaitResult::Failed;
  for (size_t i = 0; i < count; ++i) ready[i] = FD_ISSET(native(sockets[i]), &readable) != 0;
  return WaitResult::Ready;
}

bool setBufferSizes(SocketHandle socket, int sendBytes, int receiveBytes) {
  bool ok = true;
  if (sendBytes > 0)
    ok = setsockopt(native(socket), SOL_SOCKET, SO_SNDBUF,
                    reinterpret_cast<const char*>(&sendBytes), sizeof sendBytes) == 0;
  if (receiveBytes > 0)
    ok = setsockopt(native(socket), SOL_SOCKET, SO_RCVBUF,
                    reinterpret_cast<const char*>(&receiveBytes), sizeof receiveBytes) == 0 &&
         ok;
  return ok;
}

}  // namespace tallymark::platform
