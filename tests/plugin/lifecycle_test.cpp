// The export layer and the start-up order, through the exports as the host calls them.
// Each test starts from a freshly loaded plug-in (resetForTests) and makes the calls of
// the start-up it needs, so that the tests hold in any order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "counter/counter_window.h"
#include "diag/console_switch.h"
#include "fake_host.h"
#include "platform/dialogs.h"
#include "plugin/device.h"
#include "plugin/exports.h"
#include "plugin/host.h"
#include "plugin/mg.h"
#include "plugin/plugin.h"
#include "plugin/state.h"

using tallymark::diag::kConsoleEnabled;

namespace {

// The profile names below do not exist: the settings' "cannot open" boxes are answered
// here instead of waiting for an operator (under Wine they would be real boxes).
tallymark::platform::Environment boxesAnswered() {
  tallymark::platform::Environment environment;
  environment.messages = [](const tallymark::platform::MessageRequest&) {
    return tallymark::platform::MessageAnswer::Ok;
  };
  return environment;
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override { tallymark::plugin::resetForTests(boxesAnswered()); }
  void TearDown() override { tallymark::plugin::resetForTests(boxesAnswered()); }
};

TEST_F(Lifecycle, SetProNameKeepsItsOwnCopyAndReturnsTheStaticName) {
  FakeHost host;
  std::string name = "C:\\Mach3\\Mach3Mill.xml";
  const char* first = SetProName(name.c_str());
  EXPECT_STREQ(first, "Tallymark_v1.0");
  ASSERT_NE(ProfileName, nullptr);
  EXPECT_NE(ProfileName, name.c_str());
  name[0] = 'D';  // the caller's buffer changes; the copy does not
  EXPECT_STREQ(ProfileName, "C:\\Mach3\\Mach3Mill.xml");

  const char* second = SetProName("other.xml");
  EXPECT_EQ(second, first) << "the same static text every time";
  EXPECT_STREQ(ProfileName, "other.xml");
  EXPECT_EQ(MyDevice, nullptr) << "SetProName may come before InitControl";
}

TEST_F(Lifecycle, NoEffectExportsCallNothing) {
  FakeHost host;
  DoDwell(1.5);
  Reset();
  JogOn(0, 1, 100.0);
  JogOff(0);
  Purge(3);
  Probe();
  Home(2);
  EXPECT_TRUE(host.log.empty());
}

TEST_F(Lifecycle, TicksBeforePostInitControlDoNothing) {
  FakeHost host;
  Update();
  EXPECT_TRUE(host.log.empty());
}

TEST_F(Lifecycle, InitControlReservesOneMenuIdAndCreatesTheDevice) {
  FakeHost host;
  host.menuRangeNext = 31337;
  TrajBuffer engine{};
  _TrajectoryControl planner{};
  EXPECT_TRUE(InitControl(&engine, nullptr, &planner, nullptr));
  EXPECT_EQ(Engine, &engine);
  EXPECT_EQ(MainPlanner, &planner);
  EXPECT_EQ(menuStart, 31337);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0], "GetMenuRange 1");
  ASSERT_NE(MyDevice, nullptr);
  EXPECT_NE(MyDevice->loadFileObj, nullptr);
  EXPECT_EQ(MyDevice->console != nullptr, kConsoleEnabled) << "a console only with the switch on";
}

TEST_F(Lifecycle, PostInitControlCreatesTheCounterOnceAndUpdateCounts) {
  FakeHost host;
  PostInitControl();
  DAZADA_RUVAZIDU* window = MG::dazada_ruvaziduDlg;
  ASSERT_NE(window, nullptr);
  PostInitControl();
  EXPECT_EQ(MG::dazada_ruvaziduDlg, window) << "a second call must not replace the window";

  host.setDro(1500, 2);
  host.setDro(1501, 20);
  host.setDro(22, 1);
  host.setLed(804, true);
  Update();
  host.setLed(804, false);
  Update();
  Update();
  EXPECT_EQ(host.dro(1500), 3);
  EXPECT_EQ(host.dro(1501), 21);
  EXPECT_EQ(window->lblCountVal.text(), "3");
  EXPECT_EQ(window->lblTotalCount.text(), "21");
}

TEST_F(Lifecycle, ASecondInitControlKeepsTheMenuIdItsItemAnswersTo) {
  FakeHost host;
  host.menuRangeNext = 31337;
  EXPECT_TRUE(InitControl(nullptr, nullptr, nullptr, nullptr));
  PostInitControl();
  host.clearLog();
  host.menuRangeNext = 999;
  MyDeviceClass* device = MyDevice;
  EXPECT_TRUE(InitControl(nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(menuStart, 31337);
  EXPECT_TRUE(host.log.empty()) << "no second identifier is asked for";
  EXPECT_EQ(MyDevice, device);
  DAZADA_RUVAZIDU* window = MG::dazada_ruvaziduDlg;
  window->DAZADA_RUVAZIDU_FormClosing();
  Notify(999);
  EXPECT_FALSE(window->visible());
  Notify(31337);
  EXPECT_TRUE(window->visible());
}

TEST_F(Lifecycle, UpdateStillCountsAfterStopPlug) {
  FakeHost host;
  EXPECT_TRUE(InitControl(nullptr, nullptr, nullptr, nullptr));
  PostInitControl();
  host.setDro(1500, 0);
  StopPlug();
  host.setDro(22, 1);
  host.setLed(804, true);
  Update();
  host.setLed(804, false);
  Update();
  EXPECT_EQ(host.dro(1500), 1);
}

TEST_F(Lifecycle, AResetPlugInStartsAfreshAsAHostLoadsIt) {
  FakeHost host;
  host.menuRangeNext = 5;
  SetProName("missing.xml");
  TrajBuffer engine{};
  EXPECT_TRUE(InitControl(&engine, nullptr, nullptr, nullptr));
  PostInitControl();
  Notify(5);
  ASSERT_TRUE(MG::dazada_ruvaziduDlg->visible());

  tallymark::plugin::resetForTests();
  EXPECT_EQ(ProfileName, nullptr);
  EXPECT_EQ(Engine, nullptr);
  EXPECT_EQ(GetDRO, nullptr);
  EXPECT_EQ(MyDevice, nullptr);
  EXPECT_EQ(MG::dazada_ruvaziduDlg, nullptr);
  EXPECT_EQ(MG::xyzDemoConfig, nullptr);
  EXPECT_EQ(menuStart, 0);

  FakeHost second;
  second.menuRangeNext = 6;
  EXPECT_TRUE(InitControl(nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(menuStart, 6) << "a new identifier is reserved";
  PostInitControl();
  ASSERT_NE(MG::dazada_ruvaziduDlg, nullptr);
  EXPECT_FALSE(MG::dazada_ruvaziduDlg->visible()) << "a new window, hidden";
  second.setDro(22, 1);
  second.setLed(804, true);
  Update();
  second.setLed(804, false);
  Update();
  EXPECT_EQ(second.dro(1500), 1);
}

}  // namespace
