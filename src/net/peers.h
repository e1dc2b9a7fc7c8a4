// What the command server and the MTConnect adapter do alike with the peers they serve:
// keepalive and no delay on each connection, a fixed number of slots with the silence of
// whoever holds each, eviction of the peer silent longest when a newcomer finds every
// slot taken, and a close that is never a reset.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

namespace tallymark::net {

// Keepalive on every connection, so that a peer that vanished (a crashed PC, a pulled
// cable) is found within a minute or two and its slot freed.
inline constexpr int kKeepaliveIdleMs = 30000;
inline constexpr int kKeepaliveIntervalMs = 5000;
inline constexpr int kKeepaliveProbes = 6;

// A newcomer that finds every slot taken takes the slot of the peer silent longest once
// that one has been silent this long; otherwise it is closed at once.
inline constexpr uint32_t kEvictAfterMs = 60000;

// Turns keepalive on (the times above) and sends each small write at once: a reply or a
// changed figure must not wait for the peer's delayed acknowledgement.
void setUpPeer(platform::SocketHandle socket);

// Ends a connection with a normal close, never a reset: ends the sending direction,
// discards what the peer sent and nobody read (up to 64 KB, without waiting for more;
// unread data would make the system answer with a reset) and closes the socket.
void closeGracefully(platform::Socket socket);

// Milliseconds from `lastHeard` to `now` on a clock that wraps at 2^32. A `lastHeard` up
// to kEvictAfterMs after `now` (heard by another thread after `now` was read) is a
// silence of 0, not of seven weeks.
uint32_t silence(uint32_t lastHeard, uint32_t now);

// One peer's hold on a slot. The id tells this peer from whoever held or holds the slot
// at another time: once a peer was evicted, what is done in its name leaves the slot
// alone.
struct Peer {
  static constexpr size_t kNoSlot = ~size_t{0};
  size_t slot = kNoSlot;
  uint32_t id = 0;
  explicit operator bool() const { return slot != kNoSlot; }
  bool operator==(const Peer& other) const { return slot == other.slot && id == other.id; }
  bool operator!=(const Peer& other) const { return !(*this == other); }
};

// The slots of a PeerTable, each free or held by one peer with the clock reading at which
// it was last heard. admit() and leave() come from one thread at a time (the caller
// serializes them); heard(), holds() and silentFor() may come from any thread at any time.
class PeerSlots {
 public:
  PeerSlots(const PeerSlots&) = delete;
  PeerSlots& operator=(const PeerSlots&) = delete;

  // A slot for a newcomer arriving at `now`: the first free one or, when every slot is
  // taken, the slot of the peer silent longest (the earliest admitted of those silent
  // equally long) once that one has been silent for kEvictAfterMs. `evicted` then tells
  // that peer, which no longer holds the slot; otherwise it is left empty. An empty Peer
  // when every slot is taken by someone heard from within kEvictAfterMs.
  Peer admit(uint32_t now, Peer* evicted = nullptr);

  // The peer was heard from at `now`; nothing when it no longer holds its slot.
  void heard(const Peer& peer, uint32_t now);

  // Frees the peer's slot; nothing when it no longer holds it.
  void leave(const Peer& peer);

  bool holds(const Peer& peer) const;

  // How long the peer has been silent at `now` (see silence()); 0 when it holds no slot.
  uint32_t silentFor(const Peer& peer, uint32_t now) const;

  size_t capacity() const { return count_; }
  size_t occupied() const;

 protected:
  // A slot's holder (0: free) in the high half, the clock when it was last heard in the
  // low half: one word, so that a late heard() cannot land on a new holder.
  using Slot = std::atomic<uint64_t>;
  PeerSlots(Slot* slots, size_t count) : slots_(slots), count_(count) {}
  ~PeerSlots() = default;

 private:
  Slot* slots_;
  size_t count_;
  uint32_t lastId_ = 0;  // admit()'s own
};

// PeerSlots with room for `Capacity` peers, all free.
template <size_t Capacity>
class PeerTable : public PeerSlots {
 public:
  PeerTable() : PeerSlots(storage_, Capacity) {}

 private:
  Slot storage_[Capacity] = {};
};

}  // namespace tallymark::net
