// Cnc_Init_Controller and the command server on port 7000, through the linked call or
// the DLL's export. Runs in order against the one server a process can have.
#include <gtest/gtest.h>

#include <string>

#include "controller_api.h"
#include "link/link_state.h"
#include "loopback.h"
#include "platform/socket.h"

namespace {

namespace platform = tallymark::platform;
using loopback::TcpClient;

const std::string kInvalid = "#Invalid.\r\n";

class ControllerInit : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    if (controllerApi().stopServer) controllerApi().stopServer();
  }
  loopback::SocketLibrary sockets_;
};

TEST_F(ControllerInit, FailsWhilePort7000IsTakenAndStartsOnceItIsFree) {
  ASSERT_NE(controllerApi().initController, nullptr);
  platform::Socket squatter = platform::openTcpListener(7000, 1);
  ASSERT_TRUE(squatter) << "port 7000 is in use by something else";
  EXPECT_EQ(controllerApi().initController(), -1);
  squatter.close();
  if (controllerApi().statusGet != nullptr) {
    timer_resp_t record{};
    record.bytes[0] = 0x77;
    EXPECT_EQ(controllerApi().statusGet(&record), -1) << "the link state is prepared all the same";
    EXPECT_EQ(record.bytes[0], 0x77);
  }

  EXPECT_EQ(controllerApi().initController(), 0);
  TcpClient client(7000);
  ASSERT_TRUE(client.connected());
  EXPECT_EQ(client.read(3), "[3\r") << "camera type 0 until the profile says otherwise";
  client.send("X1.5\r\nX\r\n");
  EXPECT_EQ(client.read(kInvalid.size()), kInvalid);

  EXPECT_EQ(controllerApi().initController(), 0) << "a second call starts nothing new";
  client.send("Y1\r\n");
  EXPECT_EQ(client.read(kInvalid.size()), kInvalid) << "the first server still serves";
  TcpClient another(7000);
  EXPECT_EQ(another.read(3), "[3\r");
}

}  // namespace
