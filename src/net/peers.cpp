#include "net/peers.h"

namespace tallymark::net {
namespace {

constexpr uint64_t word(uint32_t id, uint32_t lastHeard) {
  return static_cast<uint64_t>(id) << 32 | lastHeard;
}

constexpr uint32_t holder(uint64_t slot) {
  return static_cast<uint32_t>(slot >> 32);
}

constexpr uint32_t lastHeardIn(uint64_t slot) {
  return static_cast<uint32_t>(slot);
}

}  // namespace

void setUpPeer(platform::SocketHandle socket) {
  platform::setKeepalive(socket, kKeepaliveIdleMs, kKeepaliveIntervalMs, kKeepaliveProbes);
  platform::setNoDelay(socket);
}

void closeGracefully(platform::Socket socket) {
  if (!socket) return;
  platform::shutdownSending(socket.get());
  char discard[4096];
  long drained = 0;
  while (drained < 64 * 1024 &&
         platform::waitReadable(socket.get(), 0) == platform::WaitResult::Ready) {
    long got = platform::receiveSome(socket.get(), discard, sizeof discard);
    if (got <= 0) break;
    drained += got;
  }
}

uint32_t silence(uint32_t lastHeard, uint32_t now) {
  return lastHeard - now <= kEvictAfterMs ? 0 : now - lastHeard;
}

Peer PeerSlots::admit(uint32_t now, Peer* evicted) {
  if (evicted != nullptr) *evicted = Peer{};
  size_t chosen = Peer::kNoSlot;
  size_t quietest = Peer::kNoSlot;
  uint32_t longest = 0;
  uint32_t quietestId = 0;
  for (size_t i = 0; i < count_ && chosen == Peer::kNoSlot; ++i) {
    uint64_t slot = slots_[i].load();
    if (holder(slot) == 0) {
      chosen = i;
      continue;
    }
    uint32_t silent = silence(lastHeardIn(slot), now);
    // Ids grow with each admission (wrapping): a smaller one came earlier.
    bool earlier = static_cast<int32_t>(holder(slot) - quietestId) < 0;
    if (quietest == Peer::kNoSlot || silent > longest || (silent == longest && earlier)) {
      quietest = i;
      longest = silent;
      quietestId = holder(slot);
    }
  }
  if (chosen == Peer::kNoSlot) {
    if (quietest == Peer::kNoSlot || longest < kEvictAfterMs) return Peer{};
    chosen = quietest;
    if (evicted != nullptr) *evicted = Peer{chosen, quietestId};
  }
  if (++lastId_ == 0) ++lastId_;  // 0 marks a free slot
  slots_[chosen].store(word(lastId_, now));
  return Peer{chosen, lastId_};
}

void PeerSlots::heard(const Peer& peer, uint32_t now) {
  if (peer.slot >= count_ || peer.id == 0) return;
  uint64_t slot = slots_[peer.slot].load();
  while (holder(slot) == peer.id &&
         !slots_[peer.slot].compare_exchange_weak(slot, word(peer.id, now))) {
  }
}

void PeerSlots::leave(const Peer& peer) {
  if (peer.slot >= count_ || peer.id == 0) return;
  uint64_t slot = slots_[peer.slot].load();
  while (holder(slot) == peer.id && !slots_[peer.slot].compare_exchange_weak(slot, 0)) {
  }
}

bool PeerSlots::holds(const Peer& peer) const {
  return peer.slot < count_ && peer.id != 0 && holder(slots_[peer.slot].load()) == peer.id;
}

uint32_t PeerSlots::silentFor(const Peer& peer, uint32_t now) const {
  if (peer.slot >= count_) return 0;
  uint64_t slot = slots_[peer.slot].load();
  return holder(slot) == peer.id && peer.id != 0 ? silence(lastHeardIn(slot), now) : 0;
}

size_t PeerSlots::occupied() const {
  size_t held = 0;
  for (size_t i = 0; i < count_; ++i) held += holder(slots_[i].load()) != 0 ? 1 : 0;
  return held;
}

}  // namespace tallymark::net
