// The server Cnc_Init_Controller starts tells the listener's state truthfully: a
// listener thread that cannot start leaves port 7000 free and answers false, and a
// listener that ended is started again by the next call. Cnc_Init_Controller's server
// greets by the camera settings SetProName stores. Linked in only: the failures come
// through the server's seam, the settings are set directly.
#include <gtest/gtest.h>

#include <string>

#include "injected_faults.h"
#include "loopback.h"
#include "plugin/controller_exports.h"
#include "plugin/settings_globals.h"
#include "plugin/state.h"
#include "server/shared_server.h"

namespace {

namespace platform = tallymark::platform;
using loopback::TcpClient;
using loopback::waitUntil;
using tallymark::server::detail::FaultPoint;

bool served() {
  TcpClient probe(tallymark::server::kCommandPort);
  return probe.read(3) == "[3\r";
}

tallymark::server::CameraSettings plainCamera() {
  return {};
}

TEST(ControllerInitFaults, AnswersByWhatTheListenerReallyDoes) {
  loopback::SocketLibrary sockets;
  using tallymark::server::SharedServerStart;
  tallymark::server::SharedServer shared(injected::countedFaults);
  auto start = [&] { return shared.start(tallymark::server::kCommandPort, plainCamera); };
  injected::failAt(FaultPoint::ListenerThread, 1);
  EXPECT_FALSE(start());
  EXPECT_EQ(shared.lastStart(), SharedServerStart::Failed);
  platform::Socket rebound = platform::openTcpListener(tallymark::server::kCommandPort, 1);
  EXPECT_TRUE(rebound) << "port 7000 is left free";
  rebound.close();

  EXPECT_TRUE(start()) << "a later call succeeds";
  EXPECT_EQ(shared.lastStart(), SharedServerStart::Listening);
  EXPECT_TRUE(served());

  injected::failAt(FaultPoint::ListenerWait, 1 << 30);
  EXPECT_TRUE(waitUntil([] { return !TcpClient(tallymark::server::kCommandPort).connected(); }))
      << "the listener gave up and closed its socket";
  injected::clear();
  EXPECT_TRUE(start()) << "started again";
  EXPECT_TRUE(served());
  EXPECT_TRUE(start());

  shared.stop();
  EXPECT_EQ(shared.lastStart(), SharedServerStart::None);
  EXPECT_FALSE(TcpClient(tallymark::server::kCommandPort).connected()) << "stopped for good";
}

TEST(ControllerInitCamera, EachClientIsGreetedByTheSettingsAsTheyAreWhenItConnects) {
  loopback::SocketLibrary sockets;
  CamType = 1;
  IPCamPath.set("rtsp://10.0.0.9/live");
  ASSERT_EQ(Cnc_Init_Controller(), 0);
  const std::string ipGreeting = "[4*rtsp://10.0.0.9/live";
  EXPECT_EQ(TcpClient(tallymark::server::kCommandPort).read(ipGreeting.size()), ipGreeting);

  CamType = 2;
  EXPECT_EQ(TcpClient(tallymark::server::kCommandPort).read(3), "[5\r")
      << "changed settings reach the next client";

  CamType = 0;
  IPCamPath.set("");
  tallymark::plugin::state().commandServer.stop();
}

}  // namespace
