// The status freshness rule and the channel operations, from inside the module: a fake
// clock for the status, loopback receivers on ports the system chooses for the channels.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "link/comm.h"
#include "link/controller.h"
#include "link/link_state.h"
#include "loopback.h"

namespace {

std::atomic<uint32_t> fakeNow{0};

// A controller on a monotonic clock that reads `fakeNow`; it clears the link as it goes.
class StatusFreshness : public ::testing::Test {
 protected:
  StatusFreshness() {
    environment_.monotonicClock = [] { return fakeNow.load(); };
  }

  tallymark::platform::Environment environment_;
  tallymark::link::Controller link_{environment_};
};

timer_resp_t patterned(uint8_t first) {
  timer_resp_t status;
  for (size_t i = 0; i < sizeof status.bytes; ++i)
    status.bytes[i] = static_cast<uint8_t>(first + i);
  return status;
}

TEST_F(StatusFreshness, AStoredStatusIsCopiedWholeUntilItIsAQuarterSecondOld) {
  fakeNow = 0xFFFFFF00u;  // the 32-bit clock wraps during this test
  link_.storeStatus(patterned(1));

  timer_resp_t out{};
  EXPECT_EQ(link_.statusGet(&out), 0);
  EXPECT_EQ(std::memcmp(&out, &current_response, sizeof out), 0);
  EXPECT_EQ(out.bytes[0], 1);
  EXPECT_EQ(out.bytes[30], 31);

  fakeNow = 0xFFFFFF00u + 249;
  EXPECT_EQ(link_.statusGet(&out), 0);

  fakeNow = 0xFFFFFF00u + 250;
  timer_resp_t stale = patterned(100);
  EXPECT_EQ(link_.statusGet(&stale), -1);
  EXPECT_EQ(stale.bytes[0], 100) << "untouched";
  EXPECT_EQ(current_response_valid, -1);

  link_.storeStatus(patterned(7));
  EXPECT_EQ(link_.statusGet(&out), 0) << "a new status is fresh again";
  EXPECT_EQ(out.bytes[0], 7);
}

TEST_F(StatusFreshness, InitClearsTheRecord) {
  link_.storeStatus(patterned(9));
  tallymark::link::prepareLinkState();
  EXPECT_EQ(ComCloseAck, -1);
  timer_resp_t out = patterned(50);
  EXPECT_EQ(link_.statusGet(&out), 0);
  for (uint8_t byte : out.bytes) ASSERT_EQ(byte, 0);
}

class Channel : public ::testing::Test {
 protected:
  loopback::SocketLibrary sockets_;
  loopback::UdpReceiver receiver_{0};
};

TEST_F(Channel, OpenWriteCloseOnLoopback) {
  ASSERT_TRUE(receiver_.bound());
  CommHandle channel = nullptr;
  ASSERT_EQ(comm_Open(&channel, "127.0.0.1", receiver_.port()), 0);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(channel->open, 1);
  EXPECT_STREQ(channel->host, "127.0.0.1");

  int sendMs = 0, receiveMs = 0;
  ASSERT_TRUE(tallymark::platform::getSocketTimeouts(channel->socket.get(), sendMs, receiveMs));
  // Milliseconds, not seconds (the system may round up to its tick).
  EXPECT_GE(sendMs, 10);
  EXPECT_LT(sendMs, 20);
  EXPECT_GE(receiveMs, 30);
  EXPECT_LT(receiveMs, 40);

  EXPECT_EQ(comm_Write(channel, "abc", 3), 3);
  loopback::UdpReceiver::Datagram datagram;
  ASSERT_TRUE(receiver_.receive(datagram));
  EXPECT_EQ(datagram.bytes, "abc");
  uint16_t sourcePort = datagram.from.port;

  EXPECT_EQ(comm_Close(channel), 1);
  EXPECT_EQ(channel->open, 0);
  EXPECT_EQ(comm_Write(channel, "abc", 3), -1);
  EXPECT_EQ(comm_Close(channel), 1) << "closing twice is harmless";
  loopback::UdpReceiver sourceFreed(sourcePort);
  EXPECT_TRUE(sourceFreed.bound()) << "the socket is closed, not leaked";
  EXPECT_TRUE(receiver_.empty());
  tallymark::link::freeChannel(channel);
}

TEST_F(Channel, RefusalsLeaveTheHandleAsItWas) {
  CommHandle sentinel = reinterpret_cast<CommHandle>(&receiver_);
  CommHandle handle = sentinel;
  EXPECT_EQ(comm_Open(&handle, std::string(256, 'a').c_str(), 8000), -1);
  EXPECT_EQ(comm_Open(&handle, "no-such-host.invalid", 8000), -1);
  EXPECT_EQ(comm_Open(&handle, nullptr, 8000), -1);
  EXPECT_EQ(handle, sentinel);

  std::string longest(255, 'a');
  EXPECT_EQ(comm_Open(&handle, longest.c_str(), 8000), -1) << "fits, but does not resolve";
  EXPECT_EQ(handle, sentinel);

  EXPECT_EQ(comm_Close(nullptr), 0);
  EXPECT_EQ(comm_Write(nullptr, "x", 1), -1);
}

}  // namespace
