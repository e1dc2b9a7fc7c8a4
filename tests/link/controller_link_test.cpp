// The controller calls against loopback receivers on UDP ports 8000 and 8001, through
// the linked calls or the DLL's exports. The tests run in order against one link, as an
// outside program would use it: nothing before enable, then enable, send, disable.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "controller_api.h"
#include "link/link_state.h"
#include "loopback.h"

namespace {

using loopback::UdpReceiver;

const std::string kFrame("\x55\x44\x44\x44\x44\x00\x00\x00\x00\xAA\x00\x00\x00", 13);
const std::string kKeepalive = "keepalive";

class ControllerLink : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sockets_ = new loopback::SocketLibrary;
    data_ = new UdpReceiver(8000);
    reset_ = new UdpReceiver(8001);
    ASSERT_NE(api().initController, nullptr);
    ASSERT_NE(api().enable, nullptr);
    ASSERT_NE(api().disable, nullptr);
    ASSERT_NE(api().statusGet, nullptr);
    ASSERT_NE(api().sendOut, nullptr);
    EXPECT_EQ(api().initController(), 0);
  }
  static void TearDownTestSuite() {
    if (api().stopServer) api().stopServer();
    delete data_;
    delete reset_;
    delete sockets_;
  }
  void SetUp() override {
    ASSERT_TRUE(data_->bound()) << "UDP port 8000 is in use by something else";
    ASSERT_TRUE(reset_->bound()) << "UDP port 8001 is in use by something else";
  }
  void TearDown() override { EXPECT_TRUE(reset_->empty()) << "nothing ever goes to port 8001"; }

  static const ControllerApi& api() { return controllerApi(); }

  // Enables the link to 127.0.0.1 and takes its five keep-alives off port 8000.
  static std::vector<UdpReceiver::Datagram> enableAndCollect() {
    std::vector<UdpReceiver::Datagram> got;
    std::thread collector([&] {
      UdpReceiver::Datagram datagram;
      while (got.size() < 5 && data_->receive(datagram)) got.push_back(datagram);
    });
    EXPECT_EQ(api().enable("127.0.0.1"), 0);
    collector.join();
    return got;
  }

  static loopback::SocketLibrary* sockets_;
  static UdpReceiver* data_;
  static UdpReceiver* reset_;
};

loopback::SocketLibrary* ControllerLink::sockets_ = nullptr;
UdpReceiver* ControllerLink::data_ = nullptr;
UdpReceiver* ControllerLink::reset_ = nullptr;

TEST_F(ControllerLink, NothingIsSentBeforeAnEnable) {
  api().sendOut();
  EXPECT_TRUE(data_->empty());
}

TEST_F(ControllerLink, StatusIsNeverFreshAndTheRecordStaysUntouched) {
  timer_resp_t record;
  std::memset(&record, 0x5A, sizeof record);
  EXPECT_EQ(api().statusGet(&record), -1);
  for (uint8_t byte : record.bytes) ASSERT_EQ(byte, 0x5A);
  EXPECT_EQ(api().statusGet(nullptr), -1);
}

TEST_F(ControllerLink, EnableFailsAndSendsNothingForAHostItCannotUse) {
  EXPECT_EQ(api().enable("no-such-host.invalid"), -1);
  EXPECT_EQ(api().enable(std::string(256, 'h').c_str()), -1) << "longer than 255 bytes";
  EXPECT_EQ(api().enable(nullptr), -1);
  api().sendOut();
  EXPECT_TRUE(data_->empty());
}

// Their spacing is checked on a test clock in controller_race_tests.
TEST_F(ControllerLink, EnableSendsFiveKeepalivesAndNothingAfterThem) {
  std::vector<UdpReceiver::Datagram> got = enableAndCollect();
  ASSERT_EQ(got.size(), 5u);
  for (const auto& datagram : got) EXPECT_EQ(datagram.bytes, kKeepalive);
  for (const auto& datagram : got) EXPECT_EQ(datagram.from.port, got.front().from.port);
  api().sendOut();
  UdpReceiver::Datagram next;
  ASSERT_TRUE(data_->receive(next));
  EXPECT_EQ(next.bytes, kFrame) << "the frame comes next: no further keep-alive";
  EXPECT_TRUE(data_->empty());
}

TEST_F(ControllerLink, EverySendOutDeliversTheSameFrame) {
  for (int i = 0; i < 3; ++i) {
    api().sendOut();
    UdpReceiver::Datagram datagram;
    ASSERT_TRUE(data_->receive(datagram));
    EXPECT_EQ(datagram.bytes, kFrame);
  }
  EXPECT_TRUE(data_->empty());
}

TEST_F(ControllerLink, ASecondEnableClosesTheChannelsItReplaces) {
  api().sendOut();
  UdpReceiver::Datagram before;
  ASSERT_TRUE(data_->receive(before));

  std::vector<UdpReceiver::Datagram> got = enableAndCollect();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_NE(got.front().from.port, before.from.port) << "a new channel";
  UdpReceiver oldPort(before.from.port);
  EXPECT_TRUE(oldPort.bound()) << "the replaced channel's socket is closed";

  api().sendOut();
  UdpReceiver::Datagram after;
  ASSERT_TRUE(data_->receive(after));
  EXPECT_EQ(after.bytes, kFrame);
  EXPECT_EQ(after.from.port, got.front().from.port);
}

TEST_F(ControllerLink, DisableReturnsAndNothingIsSentAfterIt) {
  api().sendOut();
  UdpReceiver::Datagram last;
  ASSERT_TRUE(data_->receive(last));

  EXPECT_EQ(api().disable(), 0);
  api().sendOut();
  EXPECT_TRUE(data_->empty());
  UdpReceiver freed(last.from.port);
  EXPECT_TRUE(freed.bound()) << "the data channel's socket is closed";
  EXPECT_EQ(api().disable(), 0) << "a second disable";
}

TEST_F(ControllerLink, EnableWorksAgainAfterADisable) {
  EXPECT_EQ(enableAndCollect().size(), 5u);
  api().sendOut();
  UdpReceiver::Datagram datagram;
  ASSERT_TRUE(data_->receive(datagram));
  EXPECT_EQ(datagram.bytes, kFrame);
  EXPECT_EQ(api().disable(), 0);
}

TEST_F(ControllerLink, CallsFromAnotherThreadWhileTheLinkIsReplacedAndClosed) {
  std::atomic<bool> done{false};
  std::thread other([&] {
    timer_resp_t record{};
    while (!done) {
      api().sendOut();
      api().statusGet(&record);
      // Slow enough that the receiver's queue never overflows and drops a keep-alive.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(api().enable("127.0.0.1"), 0);
    EXPECT_EQ(api().disable(), 0);
  }
  done = true;
  other.join();

  UdpReceiver::Datagram datagram;
  int keepalives = 0;
  while (data_->receive(datagram, 100)) {
    keepalives += datagram.bytes == kKeepalive;
    EXPECT_TRUE(datagram.bytes == kKeepalive || datagram.bytes == kFrame);
  }
  EXPECT_EQ(keepalives, 10);
}

}  // namespace
