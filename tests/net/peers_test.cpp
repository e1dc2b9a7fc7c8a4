// The peer slots: who gets a slot, who is evicted and when, on a clock that wraps, and a
// late word from an evicted peer that must not land on the slot's new holder.
#include "net/peers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using tallymark::net::kEvictAfterMs;
using tallymark::net::Peer;
using tallymark::net::PeerTable;
using tallymark::net::silence;

constexpr uint32_t kStart = 0xFFFF0000u;  // the clock wraps within the first minute

TEST(PeerSlots, NewcomersFillFreeSlotsInOrderThenAreRefusedWhileEveryoneSpokeWithinAMinute) {
  PeerTable<3> table;
  std::vector<Peer> peers;
  for (size_t i = 0; i < 3; ++i) {
    Peer evicted{7, 7};
    peers.push_back(table.admit(kStart, &evicted));
    ASSERT_TRUE(peers.back());
    EXPECT_EQ(peers.back().slot, i);
    EXPECT_FALSE(evicted) << "a free slot evicts nobody";
  }
  EXPECT_EQ(table.occupied(), 3u);
  EXPECT_FALSE(table.admit(kStart + kEvictAfterMs - 1));
  for (const Peer& peer : peers) EXPECT_TRUE(table.holds(peer)) << "a refusal evicts nobody";

  table.leave(peers[1]);
  EXPECT_EQ(table.occupied(), 2u);
  Peer again = table.admit(kStart + 5);
  EXPECT_EQ(again.slot, 1u) << "the freed slot";
  EXPECT_NE(again, peers[1]) << "a new holder of a slot is another peer";
  EXPECT_FALSE(table.holds(peers[1]));
}

TEST(PeerSlots, TheLongestSilentGoesOnceSilentAMinuteAcrossTheClocksWrap) {
  PeerTable<3> table;
  Peer a = table.admit(kStart), b = table.admit(kStart), c = table.admit(kStart);
  table.heard(a, kStart + 1000);
  table.heard(c, kStart + 2000);  // b stays silent

  EXPECT_FALSE(table.admit(kStart + kEvictAfterMs - 1)) << "b is a millisecond short";
  EXPECT_EQ(table.silentFor(b, kStart + kEvictAfterMs - 1), kEvictAfterMs - 1);

  Peer evicted;
  Peer newcomer = table.admit(kStart + kEvictAfterMs, &evicted);
  ASSERT_TRUE(newcomer);
  EXPECT_EQ(evicted, b);
  EXPECT_EQ(newcomer.slot, b.slot);
  EXPECT_FALSE(table.holds(b));
  EXPECT_TRUE(table.holds(a) && table.holds(c) && table.holds(newcomer));
  EXPECT_EQ(table.silentFor(newcomer, kStart + kEvictAfterMs), 0u) << "heard as it arrives";
  EXPECT_EQ(table.silentFor(b, kStart + kEvictAfterMs), 0u) << "b holds nothing any more";
}

TEST(PeerSlots, OfPeersSilentEquallyLongTheEarliestAdmittedGoes) {
  PeerTable<3> table;
  Peer first = table.admit(kStart), second = table.admit(kStart), third = table.admit(kStart);
  // `first` leaves; a later peer takes slot 0, and is the latest admitted though first in
  // the table.
  table.leave(first);
  Peer later = table.admit(kStart);
  ASSERT_EQ(later.slot, 0u);
  Peer evicted;
  ASSERT_TRUE(table.admit(kStart + kEvictAfterMs, &evicted));
  EXPECT_EQ(evicted, second);
  ASSERT_TRUE(table.admit(kStart + kEvictAfterMs, &evicted));
  EXPECT_EQ(evicted, third);
  ASSERT_TRUE(table.admit(kStart + kEvictAfterMs, &evicted));
  EXPECT_EQ(evicted, later);
}

TEST(PeerSlots, ALateWordOrLeaveFromAnEvictedPeerLeavesTheNewHolderAlone) {
  PeerTable<1> table;
  Peer old = table.admit(kStart);
  Peer evicted;
  Peer newcomer = table.admit(kStart + kEvictAfterMs, &evicted);
  ASSERT_EQ(evicted, old);

  table.heard(old, kStart + 3 * kEvictAfterMs);
  EXPECT_EQ(table.silentFor(newcomer, kStart + 2 * kEvictAfterMs), kEvictAfterMs)
      << "the newcomer's silence is its own";
  table.leave(old);
  EXPECT_TRUE(table.holds(newcomer));
  table.heard(Peer{}, kStart);
  table.leave(Peer{});
  table.leave(Peer{5, 1});  // no such slot
  EXPECT_TRUE(table.holds(newcomer));
}

// The evicted peer's thread may still be in its receive when a newcomer takes the slot:
// its word must not land on the newcomer whatever the interleaving.
TEST(PeerSlots, AnEvictedPeersThreadRacingTheEvictionNeverTouchesTheNewHolder) {
  for (int round = 0; round < 200; ++round) {
    PeerTable<1> table;
    Peer old = table.admit(0);
    std::atomic<bool> go{false};
    std::thread speaker([&] {
      while (!go) std::this_thread::yield();
      // Heard 10 ms in: before the eviction that keeps it (silent less than a minute).
      for (int i = 0; i < 200; ++i) table.heard(old, 10);
    });
    go = true;
    Peer evicted;
    Peer newcomer = table.admit(kEvictAfterMs + 5, &evicted);
    speaker.join();
    if (!newcomer) {
      // The old peer spoke before the eviction: it is not silent, and stays.
      EXPECT_TRUE(table.holds(old));
      continue;
    }
    EXPECT_EQ(evicted, old);
    EXPECT_EQ(table.silentFor(newcomer, kEvictAfterMs + 5), 0u) << "round " << round;
  }
}

TEST(Silence, CountsAcrossTheWrapAndTakesAWordHeardAfterNowAsJustHeard) {
  EXPECT_EQ(silence(kStart, kStart), 0u);
  EXPECT_EQ(silence(kStart, kStart + 0x20000u), 0x20000u);  // past 2^32
  // Another thread heard the peer after `now` was read.
  EXPECT_EQ(silence(kStart + 3, kStart), 0u);
  EXPECT_EQ(silence(kStart + kEvictAfterMs, kStart), 0u);
  // Silent for more than 2^31 ms is still silent, not heard in the future.
  EXPECT_EQ(silence(0, 0x90000000u), 0x90000000u);
}

}  // namespace
