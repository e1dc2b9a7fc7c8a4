// The counter window's status line through the exports as a host drives them: each
// problem the plug-in notices shows while it lasts and goes when it is gone, with
// nothing shown while all is well and no message box. Every wait is for a condition.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "counter/counter_window.h"
#include "fake_disk.h"
#include "fake_host.h"
#include "loopback.h"
#include "plugin/controller_exports.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/monitoring.h"
#include "plugin/operator_status.h"
#include "plugin/plugin.h"
#include "plugin/plugin_boxes.h"
#include "plugin/run_record.h"
#include "plugin/state.h"
#include "server/shared_server.h"
#include "settings/test_files.h"

namespace {

namespace platform = tallymark::platform;
using tallymark::plugin::statusText;

uint32_t gMonotonic = 0;

class StatusThroughThePlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    tallymark::plugin::state().environment.monotonicClock = [] { return gMonotonic; };
  }
  void TearDown() override {
    StopPlug();
    tallymark::plugin::state().environment.monotonicClock = nullptr;
    tallymark::plugin::state().environment.appendFiles = nullptr;
    tallymark::plugin::state().commandServer.stop();
  }

  // Names a profile whose plug-in section holds `section`, then starts as a host does
  // (without InitControl: its automation attachment has nothing to do with this).
  void start(const std::string& section) {
    writeFile(profile, "<?xml version=\"1.0\"?>\n<profile>\n<Dazada_Ruvazidu>" + section +
                           "</Dazada_Ruvazidu>\n</profile>\n");
    SetProName(profile.c_str());
    PostInitControl();
  }
  void run() {
    host.setDro(22, 1);
    host.setLed(804, true);
    Update();
    host.setLed(804, false);
    Update();
  }
  // Ticks until the counter window's status line is `text`.
  bool ticksUntil(const std::string& text) {
    return loopback::waitUntil([&] {
      Update();
      return label() == text;
    });
  }
  std::string label() const { return MG::dazada_ruvaziduDlg->lblStatus.text(); }

  struct FreshPlugin {
    FreshPlugin() { tallymark::plugin::resetForTests(); }
  } fresh;
  loopback::SocketLibrary sockets;
  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
  std::string profile = folder.file("Mill.xml");
};

TEST_F(StatusThroughThePlugin, AllWellShowsNothing) {
  start("");
  run();
  for (int i = 0; i < 3 * tallymark::plugin::kStatusPollTicks; ++i) Update();
  EXPECT_EQ(label(), "");
  EXPECT_EQ(host.dro(1500), 1);
}

TEST_F(StatusThroughThePlugin, ARunLogThatCannotBeWrittenShowsUntilItCanBe) {
  auto disk = std::make_shared<FakeDisk>();
  disk->setFailing(true);  // held by another program
  tallymark::plugin::state().environment.appendFiles = [disk] { return disk->open(); };
  start("");
  run();
  const std::string log = folder.file("Mill.runs.csv");
  ASSERT_TRUE(loopback::waitUntil([&] {
    Update();
    return label().rfind("Run log: ", 0) == 0;
  }));
  EXPECT_NE(label().find("Mill.runs.csv"), std::string::npos) << "names the file: " << label();
  run();
  EXPECT_EQ(host.dro(1500), 2) << "the count goes on";

  disk->setFailing(false);  // the holder lets go; the writer's next try succeeds
  ASSERT_TRUE(ticksUntil("")) << label();
  EXPECT_EQ(statusText(), "");
  EXPECT_NE(disk->file(log).find("counted"), std::string::npos);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StatusThroughThePlugin, ARunLogPathThatCannotBeMadeShowsUntilTheSettingIsMended) {
  // A file where the folder should be: no folder can be made there.
  writeFile(folder.file("plain"), "x");
  start("<RunLogPath>plain/runs.csv</RunLogPath>");
  run();
  ASSERT_TRUE(loopback::waitUntil([&] {
    Update();
    return label().rfind("Run log: ", 0) == 0;
  }));
  EXPECT_NE(label().find("runs.csv"), std::string::npos) << label();

  start("<RunLogPath>runs.csv</RunLogPath>");  // the profile mended, read at SetProName
  run();
  ASSERT_TRUE(ticksUntil("")) << label();
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StatusThroughThePlugin, AnMTConnectPortInUseShowsUntilTheAdapterGetsIt) {
  platform::Socket holder = platform::openTcpListenerOn({platform::loopbackAddress(), 0}, 1);
  const uint16_t port = platform::localPort(holder.get());
  start("<MTConnectPort>" + std::to_string(port) +
        "</MTConnectPort><MTConnectAddress>127.0.0.1</MTConnectAddress>");
  const std::string taken = "MTConnect: cannot listen on 127.0.0.1 port " + std::to_string(port);
  EXPECT_EQ(label(), taken);
  EXPECT_EQ(tallymark::plugin::monitoringPort(), 0);

  // Stopped on purpose there is nothing to tell; the next start finds the port taken again.
  StopPlug();
  EXPECT_EQ(label(), "");
  PostInitControl();
  EXPECT_EQ(label(), taken);

  holder.close();
  gMonotonic += 4000;
  Update();
  EXPECT_EQ(label(), taken) << "tried again only every five seconds";
  gMonotonic += 1000;
  Update();
  EXPECT_EQ(label(), "");
  EXPECT_EQ(tallymark::plugin::monitoringPort(), port);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StatusThroughThePlugin, Port7000TakenShowsUntilAStartGetsIt) {
  start("");
  platform::Socket holder = platform::openTcpListener(7000, 1);
  ASSERT_TRUE(holder) << "port 7000 is used by something outside the test";
  EXPECT_EQ(Cnc_Init_Controller(), -1);
  ASSERT_TRUE(ticksUntil("Commands: port 7000 is in use by another program")) << label();

  holder.close();
  EXPECT_EQ(Cnc_Init_Controller(), 0);
  ASSERT_TRUE(ticksUntil("")) << label();
}

TEST(StatusBeforeTheWindow, AProblemFoundBeforePostInitControlShowsInTheNewWindow) {
  tallymark::plugin::resetForTests();
  tallymark::plugin::showStatus(tallymark::counter::StatusSource::Monitoring, "MTConnect: x");
  PostInitControl();
  EXPECT_EQ(MG::dazada_ruvaziduDlg->lblStatus.text(), "MTConnect: x");
  tallymark::plugin::resetForTests();
}

}  // namespace
