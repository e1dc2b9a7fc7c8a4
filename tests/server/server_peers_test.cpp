// Peers that misbehave or disappear, and peers that race: the command server on a port
// the system chooses, with a clock the tests move (the minute of silence after which a
// connection gives up its slot) and a short send time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "net/peers.h"
#include "server/command_server.h"
#include "server/protocol.h"

namespace {

using loopback::TcpClient;
using loopback::waitUntil;
using tallymark::server::CommandServer;
using tallymark::server::detail::FaultPoint;

namespace platform = tallymark::platform;

const std::string kInvalid = tallymark::server::kInvalidReply;
constexpr size_t kCap = CommandServer::kMaxConnections;

std::atomic<uint32_t> fakeNow{0};
uint32_t fakeClock() {
  return fakeNow.load();
}

// Hook: fail the next receive; or hold the listener before its next accept.
std::atomic<bool> failNextReceive{false};
std::atomic<bool> holdAccept{false};
std::atomic<bool> acceptHeld{false};
bool peerHook(FaultPoint point) {
  if (point == FaultPoint::Receive) return failNextReceive.exchange(false);
  if (point == FaultPoint::Accept && holdAccept) {
    acceptHeld = true;
    while (holdAccept) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

class ServerPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    tallymark::server::detail::resetRequest();
    fakeNow = 0xFFFF0000u;  // the clock wraps during the minute of silence
    ASSERT_TRUE(server_.start(0));
  }
  void TearDown() override {
    clients_.clear();
    EXPECT_TRUE(waitUntil([this] { return server_.activeConnections() == 0; }));
    server_.stop();
  }

  uint16_t port() const { return server_.port(); }

  // Connects a client and reads its greeting.
  TcpClient& connectGreeted() {
    clients_.push_back(std::make_unique<TcpClient>(port()));
    EXPECT_EQ(clients_.back()->read(3), "[3\r");
    return *clients_.back();
  }

  // Sends a line the server rejects and reads the reply: the server heard the client now.
  static void speak(TcpClient& client) {
    client.send("X\r\n");
    EXPECT_EQ(client.read(kInvalid.size()), kInvalid);
  }

  void expectRefused() {
    TcpClient refused(port());
    ASSERT_TRUE(refused.connected());
    EXPECT_TRUE(refused.endOfStream()) << "closed at once, without a greeting";
  }

  loopback::SocketLibrary sockets_;
  CommandServer server_{CommandServer::Options{fakeClock, 300, nullptr, peerHook}};
  std::vector<std::unique_ptr<TcpClient>> clients_;
};

TEST_F(ServerPeers, SixteenFirstLinesAtOnceOneTakenSilentlyTheOthersRejected) {
  for (size_t i = 0; i < kCap; ++i) connectGreeted();
  loopback::Gate start(kCap);
  std::vector<std::string> heard(kCap);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < kCap; ++i) {
    threads.emplace_back([&, i] {
      TcpClient& client = *clients_[i];
      start.arriveAndWait();
      client.send("X" + std::to_string(i + 1) + "\r\nQ\r\n");
      client.finishSending();
      heard[i] = client.read(SIZE_MAX);  // until the server closes after the end of stream
    });
  }
  for (std::thread& t : threads) t.join();
  size_t taken = 0, winner = 0;
  for (size_t i = 0; i < kCap; ++i) {
    if (heard[i] == kInvalid) {
      ++taken;
      winner = i;
    } else {
      EXPECT_EQ(heard[i], kInvalid + kInvalid) << "client " << i;
    }
  }
  ASSERT_EQ(taken, 1u) << "exactly one first line is taken silently";
  EXPECT_EQ(tallymark::server::currentRequest().X, static_cast<double>(winner + 1));
}

TEST_F(ServerPeers, AClientThatNeverReadsItsRepliesLosesItsConnection) {
  TcpClient& deaf = connectGreeted();
  std::string lines;
  for (int i = 0; i < 20000; ++i) lines += "X\r\n";
  // Replies pile up until the server's send times out and it closes; then the sends
  // here fail too.
  for (int round = 0; round < 2000 && server_.activeConnections() > 0; ++round) {
    if (!deaf.send(lines)) break;
  }
  EXPECT_TRUE(waitUntil([this] { return server_.activeConnections() == 0; }));
  speak(connectGreeted());
}

TEST_F(ServerPeers, AVanishedClientsSlotFreesWhenItsReceiveFails) {
  // Loopback always answers keepalive probes; the receive failure they end in for a
  // peer that is gone is made here. The client's bytes only wake the server.
  TcpClient& gone = connectGreeted();
  TcpClient& staying = connectGreeted();
  failNextReceive = true;
  gone.send("X");
  EXPECT_TRUE(gone.endOfStream());
  EXPECT_TRUE(waitUntil([this] { return server_.activeConnections() == 1; }));
  speak(staying);
}

TEST_F(ServerPeers, ANewcomerTakesTheSlotOfTheClientSilentLongestOnceThatIsAMinute) {
  for (size_t i = 0; i < kCap; ++i) connectGreeted();
  fakeNow += 1000;
  for (size_t i = 1; i < kCap; ++i) speak(*clients_[i]);  // client 0 stays silent

  fakeNow += 59000 - 1;  // client 0 silent a minute less a millisecond
  expectRefused();
  EXPECT_EQ(server_.activeConnections(), kCap);

  fakeNow += 1000 + 1;  // all silent a minute or more, client 0 longest
  TcpClient& newcomer = connectGreeted();
  EXPECT_TRUE(clients_[0]->endOfStream()) << "the silent client is closed normally";
  speak(newcomer);
  for (size_t i = 1; i < kCap; ++i) speak(*clients_[i]);
  EXPECT_TRUE(waitUntil([this] { return server_.activeConnections() == kCap; }));

  // Everyone has spoken just now: the next newcomer is refused again.
  expectRefused();
}

TEST_F(ServerPeers, ARefusedClientGetsANormalCloseEvenWithItsLineUnread) {
  for (size_t i = 0; i < kCap; ++i) connectGreeted();
  holdAccept = true;
  TcpClient refused(port());
  ASSERT_TRUE(refused.connected());
  refused.send("X1\r\n");  // queued before the listener takes the connection
  ASSERT_TRUE(waitUntil([] { return acceptHeld.load(); }));
  holdAccept = false;
  EXPECT_TRUE(refused.endOfStream()) << "a reset would fail the receive instead";
  EXPECT_EQ(tallymark::server::currentRequest().pending, 0) << "its line was never read";
}

TEST(Keepalive, OnWithTheIntervalsAskedFor) {
  loopback::SocketLibrary sockets;
  platform::Socket listener = platform::openTcpListener(0, 1);
  ASSERT_TRUE(listener);
  TcpClient client(platform::localPort(listener.get()));
  platform::Socket accepted = platform::acceptConnection(listener.get());
  ASSERT_TRUE(accepted);
  bool on = true;
  int idle = 0, interval = 0;
  ASSERT_TRUE(platform::getKeepalive(accepted.get(), on, idle, interval));
  EXPECT_FALSE(on) << "off until asked for";
  ASSERT_TRUE(platform::setKeepalive(accepted.get(), tallymark::net::kKeepaliveIdleMs,
                                     tallymark::net::kKeepaliveIntervalMs,
                                     tallymark::net::kKeepaliveProbes));
  ASSERT_TRUE(platform::getKeepalive(accepted.get(), on, idle, interval));
  EXPECT_TRUE(on);
  if (idle >= 0) {  // Windows cannot read them back
    EXPECT_EQ(idle, 30000);
    EXPECT_EQ(interval, 5000);
  }
}

TEST(NoDelay, OffUntilAskedForOnBothEnds) {
  loopback::SocketLibrary sockets;
  platform::Socket listener = platform::openTcpListener(0, 1);
  ASSERT_TRUE(listener);
  platform::Socket client =
      platform::connectTcp({platform::loopbackAddress(), platform::localPort(listener.get())});
  platform::Socket accepted = platform::acceptConnection(listener.get());
  ASSERT_TRUE(accepted);
  for (platform::SocketHandle end : {accepted.get(), client.get()}) {
    bool on = true;
    ASSERT_TRUE(platform::getNoDelay(end, on));
    EXPECT_FALSE(on);
    ASSERT_TRUE(platform::setNoDelay(end));
    ASSERT_TRUE(platform::getNoDelay(end, on));
    EXPECT_TRUE(on);
  }
  bool on = false;
  EXPECT_FALSE(platform::getNoDelay(platform::kNoSocket, on));
}

}  // namespace
