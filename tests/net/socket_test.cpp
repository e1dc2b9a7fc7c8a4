// Sockets that own themselves, the hold on the system's socket library, and what the
// subsystems do to each peer's connection: keepalive, no delay, a close that is no reset.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "loopback.h"
#include "net/peers.h"

namespace {

namespace net = tallymark::net;
namespace platform = tallymark::platform;
using loopback::TcpClient;

// A listener on a port the system chooses, a client, and the server's end of it.
struct Pair {
  Pair() : listener(platform::openTcpListener(0, 4)), client(platform::localPort(listener.get())) {
    accepted = platform::acceptConnection(listener.get());
  }
  platform::Socket listener;
  TcpClient client;
  platform::Socket accepted;
};

class SocketOwnership : public ::testing::Test {
 protected:
  loopback::SocketLibrary sockets_;
};

TEST_F(SocketOwnership, DestroyingOrAssigningOverASocketClosesItOnceAndMovingHandsItOn) {
  Pair pair;
  ASSERT_TRUE(pair.accepted);
  const platform::SocketHandle handle = pair.accepted.get();

  platform::Socket moved(std::move(pair.accepted));
  EXPECT_FALSE(pair.accepted) << "the moved-from socket owns nothing";
  EXPECT_EQ(moved.get(), handle);
  platform::Socket assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.get(), handle);
  ASSERT_TRUE(platform::sendAll(assigned.get(), "ok", 2)) << "still open after the moves";
  EXPECT_EQ(pair.client.read(2), "ok");

  // Another socket assigned over it closes it: the client reads the end of the stream.
  assigned = platform::Socket();
  EXPECT_FALSE(assigned);
  EXPECT_TRUE(pair.client.endOfStream());
  assigned.close();  // empty: nothing
}

TEST_F(SocketOwnership, AReleasedHandleStaysOpenForItsNewOwner) {
  Pair pair;
  ASSERT_TRUE(pair.accepted);
  platform::SocketHandle handle = pair.accepted.release();
  EXPECT_FALSE(pair.accepted);
  ASSERT_TRUE(platform::sendAll(handle, "x", 1));
  EXPECT_EQ(pair.client.read(1), "x");
  {
    platform::Socket owner(handle);  // the new owner closes it
  }
  EXPECT_TRUE(pair.client.endOfStream());
}

TEST(SocketLibraryHold, AHoldTakenTwiceOrReleasedTwiceCountsOnceAgainstOtherHolders) {
  platform::SocketLibrary outer;
  ASSERT_TRUE(outer.start());
  {
    platform::SocketLibrary inner;
    EXPECT_FALSE(inner.held());
    ASSERT_TRUE(inner.start());
    ASSERT_TRUE(inner.start());
    platform::SocketLibrary moved(std::move(inner));
    EXPECT_FALSE(inner.held());
    EXPECT_TRUE(moved.held());
    moved.release();
    moved.release();
    EXPECT_FALSE(moved.held());
  }  // and the destructors release nothing more
  // Had any of that given back the outer hold as well, sockets would fail now on Windows.
  platform::Socket udp = platform::openUdp();
  EXPECT_TRUE(udp);
}

TEST_F(SocketOwnership, APeerIsSetUpWithKeepaliveAndNoDelay) {
  Pair pair;
  ASSERT_TRUE(pair.accepted);
  net::setUpPeer(pair.accepted.get());
  bool on = false;
  int idle = 0, interval = 0;
  ASSERT_TRUE(platform::getKeepalive(pair.accepted.get(), on, idle, interval));
  EXPECT_TRUE(on);
  if (idle >= 0) {  // Windows cannot read them back
    EXPECT_EQ(idle, 30000);
    EXPECT_EQ(interval, 5000);
  }
  bool noDelay = false;
  ASSERT_TRUE(platform::getNoDelay(pair.accepted.get(), noDelay));
  EXPECT_TRUE(noDelay);
}

TEST_F(SocketOwnership, AGracefulCloseIsANormalEndEvenWithThePeersLinesUnread) {
  Pair pair;
  ASSERT_TRUE(pair.accepted);
  ASSERT_TRUE(pair.client.send(std::string(10000, 'x')));  // never read by the server
  // Let it arrive, so that it is waiting unread as the server closes.
  ASSERT_EQ(platform::waitReadable(pair.accepted.get(), loopback::kPatienceMs),
            platform::WaitResult::Ready);
  net::closeGracefully(std::move(pair.accepted));
  EXPECT_FALSE(pair.accepted);
  EXPECT_TRUE(pair.client.endOfStream()) << "a reset would fail the receive instead";
  net::closeGracefully(platform::Socket());  // empty: nothing
}

}  // namespace
