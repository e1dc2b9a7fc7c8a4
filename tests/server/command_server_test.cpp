// The command server over loopback TCP. One server serves the whole suite, on a port the
// system chooses, so that every test also shows it still accepts after the ones before.
#include "server/command_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "loopback.h"
#include "server/protocol.h"

namespace {

using loopback::TcpClient;
using loopback::waitUntil;

const std::string kInvalid = "#Invalid.\r\n";

// The camera the suite's server greets by; tests change it between connections.
std::mutex cameraLock;
tallymark::server::CameraSettings camera;

tallymark::server::CameraSettings currentCamera() {
  std::lock_guard<std::mutex> guard(cameraLock);
  return camera;
}

void useCamera(int32_t type, std::string path) {
  std::lock_guard<std::mutex> guard(cameraLock);
  camera = {type, std::move(path)};
}

class CommandServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tallymark::server::CommandServer::Options options;
    options.camera = currentCamera;
    server_ = new tallymark::server::CommandServer(options);
    ASSERT_TRUE(server_->start(0));
    ASSERT_NE(server_->port(), 0);
  }
  static void TearDownTestSuite() {
    server_->stop();
    EXPECT_EQ(server_->activeConnections(), 0u);
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    useCamera(0, "");
    tallymark::server::detail::resetRequest();
  }

  void TearDown() override {
    // Whatever happened, a new client is still greeted and served, once the server has
    // seen the test's own clients go (a full house turns a newcomer away).
    useCamera(0, "");
    ASSERT_TRUE(waitUntil([] {
      return server_->activeConnections() < tallymark::server::CommandServer::kMaxConnections;
    }));
    TcpClient probe(port());
    ASSERT_TRUE(probe.connected());
    EXPECT_EQ(probe.read(3), "[3\r");
    probe.send("X\r\n");
    EXPECT_EQ(probe.read(kInvalid.size()), kInvalid);
    tallymark::server::detail::resetRequest();
  }

  static uint16_t port() { return server_->port(); }

  // Waits until the slot holds an accepted line.
  static bool slotFilled() {
    return waitUntil([] { return tallymark::server::currentRequest().pending == 1; });
  }

  static tallymark::server::CommandServer* server_;
};

tallymark::server::CommandServer* CommandServerTest::server_ = nullptr;

TEST_F(CommandServerTest, GreetingChosenByCameraTypeComesFirst) {
  struct Case {
    int32_t camType;
    std::string path;
    std::string greeting;
  } cases[] = {
      {0, "cam1", "\x5B\x33\x0D"},
      {1, "cam1", "[4*cam1"},
      {1, std::string(3000, 'p'), "[4*" + std::string(3000, 'p')},
      {2, "cam1", "\x5B\x35\x0D"},
      {3, "cam1", ""},
  };
  for (const Case& c : cases) {
    useCamera(c.camType, c.path);
    TcpClient client(port());
    ASSERT_TRUE(client.connected());
    // A rejected line's reply marks where the greeting ends.
    client.send("X\r\n");
    EXPECT_EQ(client.read(c.greeting.size() + kInvalid.size()), c.greeting + kInvalid)
        << "camera type " << c.camType;
  }
}

TEST_F(CommandServerTest, FirstAcceptedLineGetsNoReplyAndLaterLinesAreRejected) {
  TcpClient client(port());
  ASSERT_EQ(client.read(3), "[3\r");
  client.send("X12.5Y-3Z0.1\r\nX1\r\n\r\nY2\r\n");
  EXPECT_EQ(client.read(2 * kInvalid.size()), kInvalid + kInvalid)
      << "one reply for each of X1 and Y2, none for the empty line";
  tcp_request slot = tallymark::server::currentRequest();
  EXPECT_EQ(slot.X, 12.5);
  EXPECT_EQ(slot.Y, -3.0);
  EXPECT_EQ(slot.Z, 0.10000000149011612);
}

TEST_F(CommandServerTest, CrLfSplitAcrossReceives) {
  TcpClient client(port());
  ASSERT_EQ(client.read(3), "[3\r");
  client.send("X1\r");
  ASSERT_TRUE(slotFilled());
  // The LF now leads the next line: one line, one reply.
  client.send("\nY2\r\nX\r\n");
  EXPECT_EQ(client.read(2 * kInvalid.size()), kInvalid + kInvalid);
  EXPECT_EQ(tallymark::server::currentRequest().X, 1.0);
  EXPECT_EQ(tallymark::server::currentRequest().Y, 0.0);
}

TEST_F(CommandServerTest, BytesAfterANulInOneReceiveAreDropped) {
  TcpClient client(port());
  ASSERT_EQ(client.read(3), "[3\r");
  // The reply to X shows this receive was taken before the next piece is sent.
  client.send(std::string("X\r\nX1\0Z5\r\n", 10));
  ASSERT_EQ(client.read(kInvalid.size()), kInvalid);
  client.send("Y3\r\n");
  ASSERT_TRUE(slotFilled());
  tcp_request slot = tallymark::server::currentRequest();
  EXPECT_EQ(slot.X, 1.0);
  EXPECT_EQ(slot.Y, 3.0) << "X1 waited for the CR of a later receive";
  EXPECT_EQ(slot.Z, 0.0);
}

TEST_F(CommandServerTest, TwoClientsAtOnceKeepTheirOwnText) {
  TcpClient first(port());
  TcpClient second(port());
  ASSERT_EQ(first.read(3), "[3\r");
  ASSERT_EQ(second.read(3), "[3\r");
  first.send("X4");
  second.send("Y5\r\n");
  ASSERT_TRUE(slotFilled());
  EXPECT_EQ(tallymark::server::currentRequest().X, 0.0) << "the first client's text is its own";
  EXPECT_EQ(tallymark::server::currentRequest().Y, 5.0);
  first.send("\r\n");
  EXPECT_EQ(first.read(kInvalid.size()), kInvalid);
  second.send("Z1\r\n");
  EXPECT_EQ(second.read(kInvalid.size()), kInvalid);
}

TEST_F(CommandServerTest, TextLeftByAClientThatDisconnectsIsDropped) {
  {
    TcpClient leaving(port());
    ASSERT_EQ(leaving.read(3), "[3\r");
    leaving.send("X7");
  }
  TcpClient next(port());
  ASSERT_EQ(next.read(3), "[3\r");
  next.send("Y2\r\n");
  ASSERT_TRUE(slotFilled());
  EXPECT_EQ(tallymark::server::currentRequest().X, 0.0);
  EXPECT_EQ(tallymark::server::currentRequest().Y, 2.0);
}

TEST_F(CommandServerTest, FloodWithoutCrIsRejectedOnceAndTheConnectionGoesOn) {
  TcpClient client(port());
  ASSERT_EQ(client.read(3), "[3\r");
  std::string flood(64 * 1024, 'A');
  ASSERT_TRUE(client.send(flood));
  client.send("\r\nZ1\r\nX\r\n");
  EXPECT_EQ(client.read(2 * kInvalid.size()), kInvalid + kInvalid)
      << "one reply for the flood, none for Z1, one for X";
  EXPECT_EQ(tallymark::server::currentRequest().Z, 1.0);
}

TEST_F(CommandServerTest, OneConnectionMoreThanTheLimitIsClosedAtOnce) {
  ASSERT_TRUE(waitUntil([] { return server_->activeConnections() == 0; }));
  std::vector<std::unique_ptr<TcpClient>> clients;
  for (size_t i = 0; i < tallymark::server::CommandServer::kMaxConnections; ++i) {
    clients.push_back(std::make_unique<TcpClient>(port()));
    ASSERT_EQ(clients.back()->read(3), "[3\r") << "client " << i;
  }
  EXPECT_EQ(server_->activeConnections(), tallymark::server::CommandServer::kMaxConnections);

  TcpClient refused(port());
  ASSERT_TRUE(refused.connected());
  EXPECT_TRUE(refused.closedByPeer()) << "no greeting, just the close";

  clients.back()->close();
  ASSERT_TRUE(waitUntil([] {
    return server_->activeConnections() < tallymark::server::CommandServer::kMaxConnections;
  }));
  TcpClient admitted(port());
  EXPECT_EQ(admitted.read(3), "[3\r");
  admitted.send("X\r\n");
  EXPECT_EQ(admitted.read(kInvalid.size()), kInvalid);
  clients.front()->send("X\r\n");
  EXPECT_EQ(clients.front()->read(kInvalid.size()), kInvalid) << "the others are still served";
}

TEST(CommandServer, StartsOnceAndStopsCleanly) {
  loopback::SocketLibrary sockets;
  tallymark::server::CommandServer server;
  ASSERT_TRUE(server.start(0));
  EXPECT_FALSE(server.start(0)) << "already running";

  tallymark::server::CommandServer rival;
  EXPECT_FALSE(rival.start(server.port())) << "the port is taken";

  TcpClient client(server.port());
  ASSERT_EQ(client.read(3), "[3\r") << "with no camera source, as for a USB camera";
  ASSERT_TRUE(waitUntil([&] { return server.activeConnections() == 1; }));
  server.stop();
  EXPECT_EQ(server.activeConnections(), 0u);
  EXPECT_TRUE(client.closedByPeer());
  EXPECT_FALSE(TcpClient(server.port()).connected()) << "nothing listens any more";
}

}  // namespace
