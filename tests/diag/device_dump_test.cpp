// The device object's dump as the in-memory console shows it, in the default build
// where the console switch is off.
#include <gtest/gtest.h>

#include <string>

#include "diag/console.h"
#include "diag/console_screen.h"
#include "diag/console_switch.h"
#include "plugin/device.h"
#include "plugin/host.h"

using tallymark::diag::ConsoleScreen;
using tallymark::diag::headlessConsole;
using tallymark::diag::kConsoleEnabled;

namespace {

class DeviceDump : public ::testing::Test {
 protected:
  void SetUp() override {
    headlessConsole().clear();
    for (int i = 0; i < kHostAxes; ++i) {
      planner.Axis[i] = PlannerAxis{10.0 * (i + 1), 2.5, 1000.0 + i, 0.25};
      engine.Axis[i] = EngineAxis{static_cast<unsigned char>(i % 2), 0, i, 500 + i, -500 - i};
    }
    planner.DigifileOpen = 1;
    planner.loaded = 0;
    Engine = &engine;
    MainPlanner = &planner;
  }
  void TearDown() override {
    Engine = nullptr;
    MainPlanner = nullptr;
  }
  static std::string row(int y) { return headlessConsole().row(y); }

  TrajBuffer engine{};
  _TrajectoryControl planner{};
};

TEST_F(DeviceDump, SwitchOffOpensNoConsoleAndTicksShowNothing) {
  if (kConsoleEnabled) GTEST_SKIP() << "built with the console switched on";
  MyDeviceClass device;
  device.InitControl();
  EXPECT_EQ(device.console, nullptr);
  for (int tick = 0; tick < 21; ++tick) device.Update();
  device.DumpConfig();
  EXPECT_EQ(headlessConsole().title(), "");
  for (int y = 0; y < 10; ++y) EXPECT_EQ(row(y), "") << y;
}

TEST_F(DeviceDump, AxesXYZAAndTheFileFlagsStandInTheirRows) {
  MyDeviceClass device;
  device.console = new MyConsoleClass();
  device.DumpConfig();
  EXPECT_EQ(row(0), "");
  EXPECT_EQ(row(1), "");
  EXPECT_EQ(row(2),
            "X Vel: 10.0000 Acc:  2.5000 Steps:   1000.0000 Epr:  0.2500 Dir:0 Slave:0 SlaveA:0 "
            "SlimHi:     500 SlimLo:    -500");
  EXPECT_EQ(row(3),
            "Y Vel: 20.0000 Acc:  2.5000 Steps:   1001.0000 Epr:  0.2500 Dir:1 Slave:0 SlaveA:1 "
            "SlimHi:     501 SlimLo:    -501");
  EXPECT_EQ(row(4).substr(0, 15), "Z Vel: 30.0000 ");
  EXPECT_EQ(row(5),
            "A Vel: 40.0000 Acc:  2.5000 Steps:   1003.0000 Epr:  0.2500 Dir:1 Slave:0 SlaveA:3 "
            "SlimHi:     503 SlimLo:    -503");
  EXPECT_EQ(row(6), "");
  EXPECT_EQ(row(7), " Infor: DigifileOpen 1 loaded: 0 ");
  for (int y = 8; y < 12; ++y) EXPECT_EQ(row(y), "") << "B and C are never dumped";
}

TEST_F(DeviceDump, AShorterLineLeavesTheTailOfTheLongerOneVisible) {
  MyDeviceClass device;
  device.console = new MyConsoleClass();
  planner.Axis[0].Steps = 123456789012345.0;  // wider than the field
  device.DumpConfig();
  std::string longer = row(2);
  planner.Axis[0].Steps = 1.0;
  device.DumpConfig();
  std::string shorter = row(2);
  // The wide number took 8 more columns; those last 8 columns keep the older text.
  ASSERT_EQ(shorter.size(), longer.size());
  size_t fresh = longer.size() - 8;
  EXPECT_EQ(shorter.substr(0, fresh),
            "X Vel: 10.0000 Acc:  2.5000 Steps:      1.0000 Epr:  0.2500 Dir:0 Slave:0 SlaveA:0 "
            "SlimHi:     500 SlimLo:    -500");
  EXPECT_EQ(shorter.substr(fresh), longer.substr(fresh));
}

TEST_F(DeviceDump, HostObjectsNotHandedOverLeaveTheirLinesUnwritten) {
  MyDeviceClass device;
  device.console = new MyConsoleClass();
  Engine = nullptr;
  device.DumpConfig();
  for (int y = 2; y <= 5; ++y) EXPECT_EQ(row(y), "") << y;
  EXPECT_EQ(row(7), " Infor: DigifileOpen 1 loaded: 0 ");

  headlessConsole().clear();
  MainPlanner = nullptr;
  device.DumpConfig();
  EXPECT_EQ(row(7), "");
}

TEST(DumpRhythm, EveryTenthCallAlsoAcrossTheCountersWrap) {
  int divider = 0;
  EXPECT_TRUE(tallymark::plugin::dumpDue(divider));
  for (int call = 2; call <= 10; ++call) EXPECT_FALSE(tallymark::plugin::dumpDue(divider)) << call;
  EXPECT_TRUE(tallymark::plugin::dumpDue(divider));

  // Years of ticks later: the gaps stay ten calls wide where the counter wraps to 0.
  divider = 2147483600;
  int last = -1;
  for (int call = 0; call < 200; ++call) {
    if (!tallymark::plugin::dumpDue(divider)) continue;
    if (last >= 0) {
      EXPECT_EQ(call - last, 10) << "call " << call;
    }
    last = call;
  }
  EXPECT_GT(divider, 0);
  EXPECT_LT(divider, 200);
}

TEST(ConsoleScreen, WritesOverwriteInPlaceAndPadWithBlanks) {
  ConsoleScreen screen;
  screen.write(3, 1, "abcdef");
  screen.write(4, 1, "XY");
  screen.write(-1, 0, "ignored");
  screen.write(0, -1, "ignored");
  EXPECT_EQ(screen.row(0), "");
  EXPECT_EQ(screen.row(1), "   aXYdef");
  EXPECT_EQ(screen.row(2), "");
}

}  // namespace
