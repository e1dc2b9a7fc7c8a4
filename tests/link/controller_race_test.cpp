// The controller link's enable against failures and against calls from other threads:
// a reset channel that cannot be opened, a disable while an enable is under way, two
// enables at once. The enable is held and failed through its seam.
// Loopback receivers on UDP ports 8000 and 8001 count what is sent.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/comm.h"
#include "link/controller.h"
#include "loopback.h"

namespace {

using loopback::UdpReceiver;
using tallymark::link::detail::LinkFault;

const std::string kFrame("\x55\x44\x44\x44\x44\x00\x00\x00\x00\xAA\x00\x00\x00", 13);
const std::string kKeepalive = "keepalive";

// The point the hook holds an enable at (or fails, for ResetChannel); -1: none.
std::atomic<int> holdAt{-1};
std::atomic<bool> held{false};
std::atomic<bool> release{false};

bool linkHook(LinkFault point) {
  if (static_cast<int>(point) != holdAt.load()) return false;
  if (point == LinkFault::ResetChannel) return true;
  held = true;
  while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return false;
}

class LinkRaces : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.bound()) << "UDP port 8000 is in use by something else";
    ASSERT_TRUE(reset_.bound()) << "UDP port 8001 is in use by something else";
    holdAt = -1;
    held = false;
    release = false;
  }
  void TearDown() override {
    link_.disable();
    EXPECT_EQ(tallymark::link::openChannelCount(), 0);
    EXPECT_TRUE(reset_.empty()) << "nothing ever goes to port 8001";
  }

  // Datagrams of one kind that arrive on port 8000 until it stays quiet.
  int drain(const std::string& kind) {
    int count = 0;
    UdpReceiver::Datagram datagram;
    while (data_.receive(datagram, 300)) count += datagram.bytes == kind;
    return count;
  }

  // Holds an enable at `point` on another thread, and runs a disable meanwhile.
  void disableWhileHeldAt(LinkFault point) {
    holdAt = static_cast<int>(point);
    std::atomic<int32_t> result{1};
    std::thread enabling([&] { result = link_.enable("127.0.0.1"); });
    ASSERT_TRUE(loopback::waitUntil([] { return held.load(); }));
    link_.disable();  // returns while the enable is still held
    EXPECT_EQ(result.load(), 1) << "the enable has not finished";
    release = true;
    enabling.join();
    EXPECT_EQ(result.load(), -1) << "the disable ended it";
    EXPECT_EQ(tallymark::link::openChannelCount(), 0) << "no channel is left open";
    link_.sendOut();
    EXPECT_EQ(drain(kFrame), 0);
  }

  loopback::SocketLibrary sockets_;
  UdpReceiver data_{8000};
  UdpReceiver reset_{8001};
  tallymark::platform::Environment environment_;
  tallymark::link::Controller link_{environment_, linkHook};
};

TEST_F(LinkRaces, AnEnableThatFailsAtTheResetChannelLeavesNothingToSendOn) {
  ASSERT_EQ(link_.enable("127.0.0.1"), 0);
  EXPECT_EQ(drain(kKeepalive), 5);
  holdAt = static_cast<int>(LinkFault::ResetChannel);
  EXPECT_EQ(link_.enable("127.0.0.1"), -1);
  link_.sendOut();
  EXPECT_EQ(drain(kFrame), 0) << "neither the new data channel nor the replaced one";
  EXPECT_EQ(drain(kKeepalive), 0);
  EXPECT_EQ(tallymark::link::openChannelCount(), 0) << "the earlier pair is closed too";
}

TEST_F(LinkRaces, ADisableDuringTheKeepalivesEndsTheEnable) {
  disableWhileHeldAt(LinkFault::KeepaliveGap);
  EXPECT_EQ(drain(kKeepalive), 0) << "the one keepalive sent before it was drained above";
}

TEST_F(LinkRaces, ADisableBeforeTheChannelsAreInstalledEndsTheEnable) {
  disableWhileHeldAt(LinkFault::ChannelsOpened);
  EXPECT_EQ(drain(kKeepalive), 0);
}

// A clock that moves only when the enable sleeps on it, and the times the keepalives
// left at by that clock.
std::atomic<int64_t> fakeMillis{0};
std::vector<int64_t> sentAt;
tallymark::platform::SteadyTime fakeNow() {
  return tallymark::platform::SteadyTime(std::chrono::milliseconds(fakeMillis.load()));
}
void fakeSleepUntil(tallymark::platform::SteadyTime when) {
  int64_t ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  if (ms > fakeMillis) fakeMillis = ms;
}
bool recordSent(LinkFault point) {
  if (point == LinkFault::KeepaliveGap) sentAt.push_back(fakeMillis.load());
  return false;
}

TEST_F(LinkRaces, KeepalivesGoFiftyMillisecondsApartByTheLinksClock) {
  fakeMillis = 1000;
  sentAt.clear();
  tallymark::platform::Environment paced;
  paced.steadyClock = fakeNow;
  paced.sleepUntil = fakeSleepUntil;
  tallymark::link::Controller link(paced, recordSent);
  EXPECT_EQ(link.enable("127.0.0.1"), 0);
  EXPECT_EQ(sentAt, (std::vector<int64_t>{1000, 1050, 1100, 1150, 1200}));
  EXPECT_EQ(fakeMillis.load(), 1250) << "the call returns 50 ms after the last one";
  EXPECT_EQ(drain(kKeepalive), 5);
}

TEST_F(LinkRaces, TwoEnablesAtOnceLeaveOnePairOfChannels) {
  loopback::Gate start(2);
  std::atomic<int> succeeded{0};
  auto enable = [&] {
    start.arriveAndWait();
    succeeded += link_.enable("127.0.0.1") == 0;
  };
  std::thread first(enable), second(enable);
  first.join();
  second.join();
  EXPECT_EQ(succeeded.load(), 2);
  EXPECT_EQ(tallymark::link::openChannelCount(), 2);
  EXPECT_EQ(drain(kKeepalive), 10);
  link_.sendOut();
  EXPECT_EQ(drain(kFrame), 1);
}

}  // namespace
