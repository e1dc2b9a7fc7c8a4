// Sockets for the command server, the MTConnect adapter and the controller link: a thin
// layer over Winsock and BSD sockets. Every call is safe to make from any thread.
//
// A Socket owns its handle and closes it when it is destroyed; the calls below take the
// handle it lends (get()), which stays valid while the Socket that owns it is open. A
// SocketLibrary holds the system's socket library up for as long as it lives: whoever
// opens sockets holds one, and keeps it past every Socket it opened.
//
// Failures are values: an empty Socket, false or -1. Nothing here raises a signal (sends
// on a connection the peer has closed fail with -1 instead of SIGPIPE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallymark::platform {

// A SOCKET on Windows, a descriptor elsewhere, carried as an unsigned integer wide
// enough for either. Not an owner: see Socket.
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};

// One open socket, closed exactly once: by close(), by the destructor, or by assigning
// another socket over it. Move-only. One thread at a time may close, move or assign a
// Socket; another thread that uses the handle meanwhile must be done with it before the
// owner closes (the owners here end or join such threads first).
class Socket {
 public:
  Socket() = default;
  explicit Socket(SocketHandle handle) : handle_(handle) {}
  Socket(Socket&& other) noexcept : handle_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.release();
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { close(); }

  SocketHandle get() const { return handle_; }
  bool isOpen() const { return handle_ != kNoSocket; }
  explicit operator bool() const { return isOpen(); }

  // Gives the handle up without closing it: the caller owns it now.
  SocketHandle release() {
    SocketHandle handle = handle_;
    handle_ = kNoSocket;
    return handle;
  }

  // Closes now; nothing when empty.
  void close();

 private:
  SocketHandle handle_ = kNoSocket;
};

// One reference on the system's socket library (WSAStartup / WSACleanup on Windows;
// nothing to do elsewhere), taken by start() and given back by release() or the
// destructor. Move-only; a default-made one holds nothing.
class SocketLibrary {
 public:
  SocketLibrary() = default;
  SocketLibrary(SocketLibrary&& other) noexcept : held_(other.held_) { other.held_ = false; }
  SocketLibrary& operator=(SocketLibrary&& other) noexcept {
    if (this != &other) {
      release();
      held_ = other.held_;
      other.held_ = false;
    }
    return *this;
  }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
  ~SocketLibrary() { release(); }

  // Takes the reference unless this one holds it already; false when the system refuses.
  bool start();
  void release();
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

// An IPv4 address in network byte order and a port in host byte order.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};

// 127.0.0.1 in network byte order.
uint32_t loopbackAddress();

// Ends the sending direction of a stream: the peer reads the end of the stream, while
// what it still sends can be read. False when the socket is not connected.
bool shutdownSending(SocketHandle socket);

// --- Stream sockets ---

// A socket bound to `port` (0: the system chooses) on all local addresses and listening
// with `backlog`; empty when creating, binding or listening fails. On Linux the
// address is reusable so that a restart is not refused while old connections linger in
// TIME_WAIT; on Windows it is not, since there that would let two listeners share a port.
Socket openTcpListener(uint16_t port, int backlog);

// The accepted connection, or an empty Socket.
Socket acceptConnection(SocketHandle listener);

// A connection to `endpoint`, or an empty Socket (used by tests and tools).
Socket connectTcp(const Ipv4Endpoint& endpoint);

// The local port a socket is bound to, or 0.
uint16_t localPort(SocketHandle socket);

enum class WaitResult { Ready, TimedOut, Failed };

// Waits until `socket` has data to read, a connection to accept, or its peer closed.
WaitResult waitReadable(SocketHandle socket, int timeoutMs);

// Up to `capacity` bytes (on a datagram socket: one datagram, cut to `capacity`): the
// count, 0 when a stream's peer closed, -1 on failure or when a receive time-out expired.
long receiveSome(SocketHandle socket, void* buffer, size_t capacity);

// Sends all `size` bytes, repeating partial sends; false when a send fails or times out.
bool sendAll(SocketHandle socket, const void* data, size_t size);

// TCP keepalive: after `idleMs` without traffic the system probes the peer every
// `intervalMs`; after `probes` unanswered probes it fails the connection, and the next
// receive reports the failure. Windows sends ten probes whatever `probes` says.
bool setKeepalive(SocketHandle socket, int idleMs, int intervalMs, int probes);

// Sends each small write at once instead of holding it until the peer acknowledges the
// one before (Nagle's algorithm), which with the peer's delayed acknowledgement can hold
// a reply back by up to 200 ms.
bool setNoDelay(SocketHandle socket);
bool getNoDelay(SocketHandle socket, bool& on);

// Whether keepalive is on, and its idle time and probe interval where the system tells
// them (-1 where it does not: Windows cannot read them back).
bool getKeepalive(SocketHandle socket, bool& on, int& idleMs, int& intervalMs);

// --- Datagram sockets ---

Socket openUdp();

// The first IPv4 address the system resolver gives for `host` (a name or a dotted
// address), in network byte order.
bool resolveIpv4(const std::string& host, uint32_t& address);

bool setReuseAddress(SocketHandle socket);
bool bindIpv4(SocketHandle socket, const Ipv4Endpoint& local);

// One datagram to `destination`: the number of bytes sent, or -1.
long sendDatagram(SocketHandle socket, const void* data, size_t size,
                  const Ipv4Endpoint& destination);

// One datagram as receiveSome, and the endpoint it came from.
long receiveDatagram(SocketHandle socket, void* buffer, size_t capacity, Ipv4Endpoint& from);

// --- Both ---

// Time-outs in milliseconds for blocking sends and receives on `socket` (0: none).
bool setSocketTimeouts(SocketHandle socket, int sendMs, int receiveMs);
bool getSocketTimeouts(SocketHandle socket, int& sendMs, int& receiveMs);

// --- Listening on a chosen address, and sends that never wait (the MTConnect adapter) ---

// A listener as openTcpListener, bound to `local` (address 0: all local addresses).
Socket openTcpListenerOn(const Ipv4Endpoint& local, int backlog);

// Makes sends and receives on `socket` return at once instead of waiting; sendSome needs
// it on Windows, which has no per-call flag for that.
bool setNonBlocking(SocketHandle socket);

// One send that never waits: the number of bytes the system took (0 when its send buffer
// is full), or -1 when the connection failed. The socket must be non-blocking.
long sendSome(SocketHandle socket, const void* data, size_t size);

// Waits until at least one of `count` sockets has data to read, a connection to accept,
// or its peer closed; on Ready, `ready[i]` tells which. At most 63 sockets.
WaitResult waitReadableAny(const SocketHandle* sockets, size_t count, int timeoutMs, bool* ready);

// The system's send and receive buffer sizes for `socket` in bytes (0 leaves one as it
// is). Linux counts its bookkeeping in and doubles what it is given.
bool setBufferSizes(SocketHandle socket, int sendBytes, int receiveBytes);

}  // namespace tallymark::platform
