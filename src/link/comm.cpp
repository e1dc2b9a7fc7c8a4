#include "link/comm.h"

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

namespace platform = tallymark::platform;
using tallymark::link::kChannelReceiveTimeoutMs;
using tallymark::link::kChannelSendTimeoutMs;

namespace {
std::atomic<int> openChannels{0};
}

namespace tallymark::link {

int openChannelCount() {
  return openChannels.load();
}

void freeChannel(CommHandle handle) {
  comm_Close(handle);
  delete handle;
}

}  // namespace tallymark::link

int32_t comm_Open(CommHandle* handle, const char* host, int32_t port) {
  if (handle == nullptr || host == nullptr) return -1;
  size_t length = strnlen(host, sizeof commDataType::host);
  if (length >= sizeof commDataType::host) return -1;

  auto* channel = new (std::nothrow) commDataType{};
  if (channel == nullptr) return -1;
  if (!channel->sockets.start()) {
    delete channel;
    return -1;
  }
  std::memcpy(channel->host, host, length);
  channel->host[length] = '\0';
  channel->port = port;
  channel->receiveTimeout = kChannelReceiveTimeoutMs;
  if (comm_reopen(channel) != 0) {
    delete channel;
    return -1;
  }
  channel->open = 1;
  ++openChannels;
  *handle = channel;
  return 0;
}

int32_t comm_reopen(commDataType* channel) {
  platform::Socket socket = platform::openUdp();
  if (!socket) return -1;
  uint32_t address = 0;
  bool ready = platform::resolveIpv4(channel->host, address);
  if (ready) {
    channel->destination = {address, static_cast<uint16_t>(channel->port)};
    channel->local = {0, 0};
    ready =
        platform::setSocketTimeouts(socket.get(), kChannelSendTimeoutMs, channel->receiveTimeout) &&
        platform::setReuseAddress(socket.get()) && platform::bindIpv4(socket.get(), channel->local);
  }
  if (!ready) return -1;
  channel->socket = std::move(socket);
  return 0;
}

int32_t comm_Write(CommHandle handle, const void* bytes, size_t length) {
  if (handle == nullptr || handle->open == 0) return -1;
  return static_cast<int32_t>(
      platform::sendDatagram(handle->socket.get(), bytes, length, handle->destination));
}

int32_t comm_Close(CommHandle handle) {
  if (handle == nullptr) return 0;
  if (handle->open != 0) {
    handle->open = 0;
    --openChannels;
    handle->socket.close();
    handle->sockets.release();
  }
  return 1;
}
