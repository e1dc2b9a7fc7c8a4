// The MTConnect adapter through the exports as the host drives them: its settings read
// from the profile, started at PostInitControl, the figures of scripted ticks at an
// agent on loopback, and UNAVAILABLE when StopPlug ends it.
#include "plugin/monitoring.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "counter/counter_window.h"
#include "counter/ole_date.h"
#include "fake_host.h"
#include "mtconnect/shdr.h"
#include "mtconnect/test_agent.h"
#include "plugin/exports.h"
#include "plugin/mg.h"
#include "plugin/plugin.h"
#include "plugin/plugin_boxes.h"
#include "plugin/state.h"
#include "settings/test_files.h"

namespace {

namespace counter = tallymark::counter;
namespace platform = tallymark::platform;

uint32_t gMonotonic = 0;

// A port nothing listens on just now.
uint16_t freePort() {
  platform::Socket probe = platform::openTcpListenerOn({platform::loopbackAddress(), 0}, 1);
  return platform::localPort(probe.get());
}

// What the agents read for a local date in DRO 1502, worked out apart from the plug-in.
std::string utcText(const platform::LocalDateTime& local) {
  int64_t ms = 0;
  EXPECT_TRUE(platform::utcMillisFromLocal(local, ms));
  char text[32];
  return std::string(text, tallymark::mtconnect::shdr::formatTimestamp(ms, text));
}

class MonitoringThroughThePlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    InitControl(nullptr, nullptr, nullptr, nullptr);
    gMonotonic = 0;
    tallymark::plugin::state().environment.monotonicClock = [] { return gMonotonic; };
  }
  void TearDown() override {
    StopPlug();
    tallymark::plugin::state().environment.monotonicClock = nullptr;
  }

  // Names a profile whose plug-in section holds `section`, then starts as the host does.
  void start(const std::string& section) {
    writeFile(profile, "<?xml version=\"1.0\"?>\n<profile>\n<Dazada_Ruvazidu>" + section +
                           "</Dazada_Ruvazidu>\n</profile>\n");
    SetProName(profile.c_str());
    PostInitControl();
  }
  std::string enabled(uint16_t port, const std::string& address = "127.0.0.1") {
    return "<MTConnectPort>" + std::to_string(port) + "</MTConnectPort><MTConnectAddress>" +
           address + "</MTConnectAddress>";
  }

  // First: a freshly loaded plug-in before the fake host hands it its callbacks.
  struct FreshPlugin {
    FreshPlugin() { tallymark::plugin::resetForTests(); }
  } fresh;
  loopback::SocketLibrary sockets;
  TempFolder folder;
  PluginBoxes boxes;
  FakeHost host;
  std::string profile = folder.file("Mill.xml");
};

TEST_F(MonitoringThroughThePlugin, TheAgentSeesTheFiguresEachRunTheResetAndTheStop) {
  const uint16_t port = freePort();
  start(enabled(port));
  ASSERT_EQ(tallymark::plugin::monitoringPort(), port);
  const platform::LocalDateTime reset{2026, 12, 8, 21, 23, 7, 0};
  host.setDro(1500, 5);
  host.setDro(1501, 120);
  host.setDro(1502, counter::oleDateFromDateTime(reset));
  Update();

  TestAgent agent(port);
  ASSERT_TRUE(agent.waitFor("avail", "AVAILABLE"));
  ASSERT_TRUE(agent.waitFor("part_count", "5"));
  EXPECT_EQ(agent.values["total_part_count"], "120");
  EXPECT_EQ(agent.values["execution"], "READY");
  EXPECT_EQ(agent.values["cycle_time"], "UNAVAILABLE");
  EXPECT_EQ(agent.values["last_reset"], utcText(reset));

  // A run of 42.5 s.
  gMonotonic = 1000;
  host.setDro(22, 1);
  host.setLed(804, true);
  Update();
  ASSERT_TRUE(agent.waitFor("execution", "ACTIVE"));
  gMonotonic = 43500;
  host.setLed(804, false);
  Update();
  ASSERT_TRUE(agent.waitFor("part_count", "6"));
  EXPECT_EQ(agent.values["total_part_count"], "121");
  EXPECT_EQ(agent.values["cycle_time"], "42.500");
  EXPECT_EQ(agent.values["execution"], "READY");

  // A run that never qualified is no cycle.
  gMonotonic = 50000;
  host.setDro(22, 0);
  host.setLed(804, true);
  Update();
  ASSERT_TRUE(agent.waitFor("execution", "ACTIVE"));
  gMonotonic = 52000;
  host.setLed(804, false);
  Update();
  ASSERT_TRUE(agent.waitFor("execution", "READY"));
  EXPECT_EQ(agent.values["part_count"], "6");
  EXPECT_EQ(agent.values["cycle_time"], "42.500");

  // The operator's reset.
  const platform::LocalDateTime later{2026, 12, 9, 6, 0, 0, 500};
  MG::dazada_ruvaziduDlg->dtValue = counter::oleDateFromDateTime(later);
  MG::dazada_ruvaziduDlg->ResetCounter = true;
  Update();
  Update();
  ASSERT_TRUE(agent.waitFor("last_reset", utcText(later)));
  EXPECT_EQ(agent.values["part_count"], "0");

  StopPlug();
  EXPECT_EQ(tallymark::plugin::monitoringPort(), 0);
  ASSERT_TRUE(agent.waitFor("avail", "UNAVAILABLE"));
  EXPECT_EQ(agent.values["execution"], "UNAVAILABLE");
  EXPECT_TRUE(agent.endsNormally());
}

TEST_F(MonitoringThroughThePlugin, ADroThatHoldsNoDateIsUnavailable) {
  const uint16_t port = freePort();
  start(enabled(port, ""));  // all addresses, loopback among them
  host.setDro(1502, 0.0);    // never reset
  Update();
  TestAgent agent(port);
  ASSERT_TRUE(agent.waitFor("avail", "AVAILABLE"));
  EXPECT_EQ(agent.values["last_reset"], "UNAVAILABLE");
  host.setDro(1502, 46365.25);
  Update();
  ASSERT_TRUE(agent.waitFor("last_reset", utcText({2026, 12, 9, 6, 0, 0, 0})));
  host.setDro(1502, std::numeric_limits<double>::quiet_NaN());
  Update();
  EXPECT_TRUE(agent.waitFor("last_reset", "UNAVAILABLE"));
}

TEST_F(MonitoringThroughThePlugin, OffWithoutAPortOrWithAnAddressThatIsNoIpv4Address) {
  start("");
  Update();
  EXPECT_EQ(tallymark::plugin::monitoringPort(), 0);
  StopPlug();
  start("<MTConnectPort>0</MTConnectPort>");
  EXPECT_EQ(tallymark::plugin::monitoringPort(), 0);
  StopPlug();
  start(enabled(freePort(), "mill-pc"));
  EXPECT_EQ(tallymark::plugin::monitoringPort(), 0);
  StopPlug();
  start("<MTConnectPort>70000</MTConnectPort>");
  EXPECT_EQ(tallymark::plugin::monitoringPort(), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
