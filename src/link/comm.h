// One datagram channel to the controller: a UDP socket bound to any local address and a
// port the system chooses, sending to one host and port. Reached through an opaque
// handle (a pointer to the record).
//
// A channel record is not guarded: whoever holds a handle keeps other threads off it
// (the controller calls hold tallymark::link::channelLock() around the module's channels).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

struct commDataType {
  char host[256];  // NUL-terminated, at most 255 bytes
  int32_t open;    // 1 from a successful comm_Open until comm_Close
  tallymark::platform::Socket socket;
  tallymark::platform::Ipv4Endpoint destination;
  tallymark::platform::Ipv4Endpoint local;  // any address, port 0
  int32_t receiveTimeout;                   // milliseconds
  int32_t port;
  // The channel's hold on the system's socket library, from comm_Open until comm_Close.
  tallymark::platform::SocketLibrary sockets;
};

using CommHandle = commDataType*;

// Opens a channel to `host` (a name or a dotted IPv4 address) and `port`: 0 with the
// new record stored through `handle`, or -1 with `handle` unchanged. A host text longer
// than 255 bytes is refused. The record belongs to the caller (tallymark::link::freeChannel).
int32_t comm_Open(CommHandle* handle, const char* host, int32_t port);

// Makes the record's socket: resolves the host, sets the time-outs and address reuse,
// and binds. 0, or -1 with no socket left open.
int32_t comm_reopen(commDataType* channel);

// Sends one datagram: the number of bytes sent, or -1 (also for a null or closed
// channel).
int32_t comm_Write(CommHandle handle, const void* bytes, size_t length);

// Closes the channel's socket and marks it closed; the record stays, and later writes
// return -1. 0 for a null handle, 1 otherwise.
int32_t comm_Close(CommHandle handle);

namespace tallymark::link {

inline constexpr int32_t kChannelSendTimeoutMs = 10;
inline constexpr int32_t kChannelReceiveTimeoutMs = 30;

// Closes and frees a record; the handle must not be used afterwards.
void freeChannel(CommHandle handle);

// Channels opened and not yet closed in the process, for tests that show none is left.
int openChannelCount();

}  // namespace tallymark::link
