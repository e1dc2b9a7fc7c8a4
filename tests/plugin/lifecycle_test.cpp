// The export layer and the start-up order, through the exports as the host calls them.
// The plug-in's module state lives for the whole test program, as it lives for the
// host's process, so the tests below run in order against one plug-in.
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

using tallymark::diag::kConsoleEnabled;

namespace {

// The profile names below do not exist: the settings' "cannot open" boxes are answered
// here instead of waiting for an operator (under Wine they would be real boxes).
const bool kBoxesAnswered = [] {
  tallymark::platform::setMessageHook(
      [](const tallymark::platform::MessageRequest&) { return tallymark::platform::MessageAnswer::Ok; });
  return true;
}();

TEST(Lifecycle, SetProNameKeepsItsOwnCopyAndReturnsTheStaticName) {
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

TEST(Lifecycle, NoEffectExportsCallNothing) {
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

TEST(Lifecycle, TicksBeforePostInitControlDoNothing) {
  FakeHost host;
  Update();
  EXPECT_TRUE(host.log.empty());
}

TEST(Lifecycle, InitControlReservesOneMenuIdAndCreatesTheDevice) {
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

TEST(Lifecycle, PostInitControlCreatesTheCounterOnceAndUpdateCounts) {
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

TEST(Lifecycle, ASecondInitControlKeepsTheMenuIdItsItemAnswersTo) {
  FakeHost host;
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

TEST(Lifecycle, UpdateStillCountsAfterStopPlug) {
  FakeHost host;
  host.setDro(1500, 0);
  StopPlug();
  host.setDro(22, 1);
  host.setLed(804, true);
  Update();
  host.setLed(804, false);
  Update();
  EXPECT_EQ(host.dro(1500), 1);
}

}  // namespace
