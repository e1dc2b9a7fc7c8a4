#include "platform/socket.h"

namespace tallymark::platform {

void closeGracefully(SocketHandle socket) {
  if (socket == kNoSocket) return;
  shutdownSending(socket);
  char discard[4096];
  long drained = 0;
  while (drained < 64 * 1024 && waitReadable(socket, 0) == WaitResult::Ready) {
    long got = receiveSome(socket, discard, sizeof discard);
    if (got <= 0) break;
    drained += got;
  }
  closeSocket(socket);
}

}  // namespace tallymark::platform
