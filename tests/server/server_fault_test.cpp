// The command server with failures injected where it starts threads, allocates and waits
// on the system. After each, the process lives, the listener serves (or its port is free
// when it says it does not listen), and no connection's thread or socket is left behind.
// A listener thread that cannot start: controller_init_fault_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "injected_faults.h"
#include "loopback.h"
#include "process_stats.h"
#include "server/command_server.h"
#include "server/protocol.h"

namespace {

using loopback::TcpClient;
using loopback::waitUntil;
using tallymark::server::CommandServer;
using tallymark::server::detail::FaultPoint;

const std::string kInvalid = tallymark::server::kInvalidReply;

using injected::failAt;
using injected::failuresLeft;

// A client that is greeted and has its malformed line answered.
void expectServed(uint16_t port) {
  TcpClient probe(port);
  ASSERT_TRUE(probe.connected());
  EXPECT_EQ(probe.read(3), "[3\r");
  probe.send("X\r\n");
  EXPECT_EQ(probe.read(kInvalid.size()), kInvalid);
}

class ServerFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    tallymark::server::detail::resetRequest();
    ASSERT_TRUE(server_.start(0));
    // The first client makes the runtimes create what they keep (Wine's socket state).
    expectServed(port());
    ASSERT_TRUE(waitUntil([this] { return server_.activeConnections() == 0; }));
    threadsAtRest_ = process_stats::threadCount();
    socketsAtRest_ = process_stats::openSockets();
    ASSERT_GT(socketsAtRest_, 0u) << "the listener's socket at least";
  }

  void TearDown() override {
    injected::clear();
    if (server_.listening()) expectServed(port());
    EXPECT_TRUE(waitUntil([this] { return server_.activeConnections() == 0; }));
    size_t threads = 0, sockets = 0;
    EXPECT_TRUE(waitUntil([&] {
      return (threads = process_stats::threadCount()) <= threadsAtRest_;
    })) << threads
        << " threads, " << threadsAtRest_ << " at rest";
    EXPECT_TRUE(waitUntil([&] {
      return (sockets = process_stats::openSockets()) <= socketsAtRest_;
    })) << sockets
        << " sockets, " << socketsAtRest_ << " at rest";
    server_.stop();
  }

  uint16_t port() const { return server_.port(); }

  loopback::SocketLibrary sockets_;
  CommandServer server_{[] {
    CommandServer::Options options;
    options.faults = injected::countedFaults;
    return options;
  }()};
  size_t threadsAtRest_ = 0;
  size_t socketsAtRest_ = 0;
};

TEST_F(ServerFaults, AConnectionWithoutARecordOrAThreadIsClosedQuietlyAndTheNextIsServed) {
  for (FaultPoint point : {FaultPoint::ConnectionRecord, FaultPoint::ConnectionThread}) {
    failAt(point, 1);
    TcpClient unlucky(port());
    ASSERT_TRUE(unlucky.connected());
    EXPECT_TRUE(unlucky.endOfStream()) << "closed without a greeting, point " << int(point);
    expectServed(port());
  }
  EXPECT_TRUE(server_.listening());
}

TEST_F(ServerFaults, AllocationFailuresEndOnlyTheirOwnConnection) {
  TcpClient bystander(port());
  ASSERT_EQ(bystander.read(3), "[3\r");
  for (FaultPoint point :
       {FaultPoint::Greeting, FaultPoint::ReceiveBuffer, FaultPoint::LineCopy, FaultPoint::Reply}) {
    failAt(point, 1);
    TcpClient victim(port());
    if (point != FaultPoint::Greeting) {
      ASSERT_EQ(victim.read(3), "[3\r") << int(point);
      victim.send("X\r\n");
    }
    EXPECT_TRUE(victim.endOfStream())
        << "no greeting or reply, just the close; point " << int(point);
    bystander.send("X\r\n");
    EXPECT_EQ(bystander.read(kInvalid.size()), kInvalid) << int(point);
    ASSERT_TRUE(waitUntil([this] { return server_.activeConnections() == 1; })) << int(point);
  }
}

TEST_F(ServerFaults, FailedAcceptsAndShortRunsOfFailedWaitsAreRidden) {
  failAt(FaultPoint::Accept, 3);
  expectServed(port());
  failAt(FaultPoint::ListenerWait, 5);
  ASSERT_TRUE(waitUntil([] { return failuresLeft <= 0; }));
  EXPECT_TRUE(server_.listening());
  expectServed(port());
}

TEST_F(ServerFaults, AListenerWhoseWaitKeepsFailingEndsFreesItsPortAndStartsAgain) {
  TcpClient kept(port());
  ASSERT_EQ(kept.read(3), "[3\r");
  uint16_t first = port();
  failAt(FaultPoint::ListenerWait, 1 << 30);
  ASSERT_TRUE(waitUntil([this] { return !server_.listening(); }));
  EXPECT_FALSE(TcpClient(first).connected()) << "nothing accepts any more";

  injected::clear();
  ASSERT_TRUE(server_.start(0));
  expectServed(port());
  kept.send("X\r\n");
  EXPECT_EQ(kept.read(kInvalid.size()), kInvalid) << "open connections are kept across the restart";
}

}  // namespace
